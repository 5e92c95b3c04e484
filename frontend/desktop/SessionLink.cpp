// SessionLink.cpp - a share link's session: base64url, then raw DEFLATE
// (zlib), then the session reader. A link comes from strangers, so the
// inflated size is bounded while inflating, not after.
#include "SessionLink.h"

#include <zlib.h>

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
    // One byte of room beyond the bound tells "exactly the bound" from "more".
    std::string out(maxLinkSessionBytes + 1, '\0');
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const std::size_t produced = out.size() - stream.avail_out;
    const bool leftOver = stream.avail_in > 0;
    inflateEnd(&stream);
    if (produced > maxLinkSessionBytes) {
        error = "the link's session is larger than " + std::to_string(maxLinkSessionBytes) + " bytes";
        return false;
    }
    if (result == Z_STREAM_END) {
        if (leftOver) {
            error = "the link has data after the end of its compressed session";
            return false;
        }
        out.resize(produced);
        text.swap(out);
        return true;
    }
    if (result == Z_DATA_ERROR || result == Z_NEED_DICT) {
        error = "the link is corrupt: its session is not a valid raw DEFLATE stream";
    } else {
        error = "the link is cut short: its compressed session ends early";
    }
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
