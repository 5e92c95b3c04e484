#!/usr/bin/env python3
"""session-link.py - share links made and read apart from the page, with
Python's zlib: the independent side of the page's link tests.

  session-link.py encode FILE     prints the fragment data for FILE's text
  session-link.py decode DATA     prints the session text DATA carries

Raw DEFLATE (RFC 1951: zlib with wbits=-15) and base64url without padding
(RFC 4648, section 5)."""
import base64
import sys
import zlib


def encode(data: bytes) -> str:
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = compressor.compress(data) + compressor.flush()
    return base64.urlsafe_b64encode(packed).decode().rstrip("=")


def decode(text: str) -> bytes:
    packed = base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))
    return zlib.decompress(packed, -15)


if __name__ == "__main__":
    what, argument = sys.argv[1:3]
    if what == "encode":
        with open(argument, "rb") as f:
            print(encode(f.read()))
    elif what == "decode":
        sys.stdout.buffer.write(decode(argument))
    else:
        sys.exit("usage: session-link.py encode FILE | decode DATA")
