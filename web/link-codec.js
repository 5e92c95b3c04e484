// link-codec.js - a session's text as the fragment of a share link and
// back: raw DEFLATE (RFC 1951, the browser's 'deflate-raw' streams), then
// base64url without padding (RFC 4648, section 5). A link is input from
// strangers, so decoding checks every step and stops inflating as soon as
// the text passes the program's bound; each refusal is a LinkRefusal whose
// message is one sentence.

const base64urlAlphabet = /^[A-Za-z0-9_-]*$/;

// Why a link is refused, in one sentence.
export class LinkRefusal extends Error {}

function toBase64url(bytes) {
  let binary = '';
  for (let k = 0; k < bytes.length; k += 0x8000) binary += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64url(text) {
  // A length of 1 more than a multiple of 4 holds no whole byte in its last character.
  if (!base64urlAlphabet.test(text) || text.length % 4 === 1) throw new LinkRefusal('The link is not valid base64url, so it holds no session.');
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  const bytes = new Uint8Array(binary.length);
  for (let k = 0; k < binary.length; ++k) bytes[k] = binary.charCodeAt(k);
  return bytes;
}

async function concatenate(stream) {
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

// The fragment's data (what follows the marker) for the session `text`.
export async function encodeSession(text) {
  const compressed = new Blob([text]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return toBase64url(await concatenate(compressed));
}

// The session text of the fragment's data `encoded`, at most maxBytes
// long; throws a LinkRefusal with one sentence when it cannot be had.
export async function decodeSession(encoded, maxBytes) {
  const bytes = fromBase64url(encoded);
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
  const pieces = [];
  let length = 0;
  try {
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      length += value.length;
      if (length > maxBytes) {
        reader.cancel().catch(() => {});
        throw new LinkRefusal(`The link's session inflates to more than ${maxBytes} bytes, more than a link may carry.`);
      }
      pieces.push(value);
    }
  } catch (e) {
    if (e instanceof LinkRefusal) throw e;
    throw new LinkRefusal('The link is corrupt or cut short: its data is no complete raw DEFLATE stream.');
  }
  const text = new Uint8Array(length);
  let at = 0;
  for (const piece of pieces) {
    text.set(piece, at);
    at += piece.length;
  }
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(text);
  } catch {
    throw new LinkRefusal("The link's session is not text, so it cannot be replayed.");
  }
}
