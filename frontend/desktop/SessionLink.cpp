// SessionLink.cpp - a share link's session: base64url, then raw DEFLATE
// (zlib), then the session reader. A link comes from strangers, so the
// inflated size is bounded while inflating, not after.
#include "SessionLink.h"

#include <zlib.h>

#include <algorithm>

#include "Base64Url.h"
#include "ShareLink.h"

const char* const sessionLinkName = "the link";

bool isSessionLink(const std::string& argument) { return argument.find(shareLinkMarker) != std::string::npos; }

bool inflateLinkSession(const std::string& compressed, std::string& text, std::string& error) {
    text.clear();
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {  // -15: raw DEFLATE, no zlib header
        error = "the link cannot be read: zlib did not start";
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    // Piece by piece, so that a link costs memory for what it holds, and
    // stopping one byte past the bound, which tells "exactly the bound" from "more".
    char piece[16384];
    int result = Z_OK;
    while (result == Z_OK && text.size() <= maxLinkSessionBytes) {
        stream.next_out = reinterpret_cast<Bytef*>(piece);
        stream.avail_out = static_cast<uInt>(std::min(sizeof piece, maxLinkSessionBytes + 1 - text.size()));
        const uInt room = stream.avail_out;
        result = inflate(&stream, Z_NO_FLUSH);
        text.append(piece, room - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // no more input: the stream ends early
    }
    const bool leftOver = stream.avail_in > 0;
    inflateEnd(&stream);
    if (text.size() > maxLinkSessionBytes) {
        error = "the link's session is larger than " + std::to_string(maxLinkSessionBytes) + " bytes";
    } else if (result == Z_STREAM_END && leftOver) {
        error = "the link has data after the end of its compressed session";
    } else if (result == Z_STREAM_END) {
        return true;
    } else if (result == Z_DATA_ERROR || result == Z_NEED_DICT) {
        error = "the link is corrupt: its session is not a valid raw DEFLATE stream";
    } else {
        error = "the link is cut short: its compressed session ends early";
    }
    text.clear();
    return false;
}

bool readSessionLink(const std::string& link, std::vector<SessionEvent>& events, std::string& error,
                     const SettingsState& start) {
    const std::string payload = link.substr(link.find(shareLinkMarker) + std::char_traits<char>::length(shareLinkMarker));
    std::string compressed, why;
    if (!decodeBase64Url(payload, compressed, why)) {
        error = "the link is not base64url: " + why;
        return false;
    }
    std::string text;
    if (!inflateLinkSession(compressed, text, error)) return false;
    return parseSession(text, sessionLinkName, events, error, start);
}
