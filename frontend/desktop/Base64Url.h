// Base64Url.h - decoding base64url without padding (RFC 4648, section 5),
// the alphabet share links are written in.
#pragma once

#include <string>

// Decodes `text` into `bytes`. False with a one-sentence reason (without
// the subject) for '=' padding, a character outside the alphabet, a length
// no encoding has (one character left over), or left-over bits that are not
// zero (so that every byte string has exactly one encoding).
bool decodeBase64Url(const std::string& text, std::string& bytes, std::string& error);
