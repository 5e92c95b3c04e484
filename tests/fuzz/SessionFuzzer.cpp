// SessionFuzzer.cpp - a libFuzzer target for the session file reader and the
// share link decoder.
//
// Any bytes either are refused with a message that names the input and a
// line, or read as events whose step numbers never decrease and end with at
// most one `end`, last; written back out, those events read again as the same
// lines. The same bytes as a link's text are refused with a message about
// the link or read as a session; and put into a link (compressed and
// encoded here), they read exactly as the file does. AddressSanitizer and
// UndefinedBehaviorSanitizer watch the decoding and the parsing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <zlib.h>

#include "Session.h"
#include "SessionLink.h"
#include "ShareLink.h"

namespace {

[[noreturn]] void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "session fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

// `text` as a link: raw DEFLATE, then base64url without padding.
std::string linkTo(const std::string& text) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        fault("deflateInit2", "");
    std::string packed(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&packed[0]);
    stream.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) fault("deflate", "");
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string link = std::string("https://example.org/") + shareLinkMarker;
    unsigned bits = 0;
    int held = 0;
    for (unsigned char byte : packed) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 6) link += alphabet[(bits >> (held -= 6)) & 63u];
    }
    if (held > 0) link += alphabet[(bits << (6 - held)) & 63u];
    return link;
}

std::string eventLines(const std::vector<SessionEvent>& events) {
    std::string lines;
    for (const SessionEvent& e : events) lines += formatSessionEvent(e) + "\n";
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SessionEvent> events, linked;
    std::string error, linkError;

    // The bytes as a link's text.
    if (!readSessionLink(shareLinkMarker + text, linked, linkError) && linkError.compare(0, 8, "the link") != 0)
        fault("a link's message does not name the link", linkError);

    // The bytes in a link read as the file does, with the link's name.
    const bool fileRead = parseSession(text, "in", events, error);
    linked.clear();
    const bool linkRead = readSessionLink(linkTo(text), linked, linkError);
    if (linkRead != fileRead) fault("a link and its file disagree", fileRead ? linkError : error);
    if (!fileRead && linkError != sessionLinkName + error.substr(2)) fault("a link's message differs", linkError);
    if (fileRead && eventLines(linked) != eventLines(events)) fault("a link's events differ", eventLines(linked));

    if (!fileRead) {
        if (error.compare(0, 3, "in:") != 0 || error.size() < 6) fault("message without its line", error);
        return 0;
    }
    std::string written = std::string(sessionHeader) + "\n";
    for (std::size_t k = 0; k < events.size(); ++k) {
        if (k > 0 && events[k].step < events[k - 1].step) fault("steps go backwards", formatSessionEvent(events[k]));
        if (events[k].kind == SessionEventKind::End && k + 1 != events.size())
            fault("an event after end", formatSessionEvent(events[k + 1]));
        written += formatSessionEvent(events[k]) + "\n";
    }
    std::vector<SessionEvent> again;
    if (!parseSession(written, "out", again, error)) fault("written events do not read back", error);
    std::string rewritten = std::string(sessionHeader) + "\n";
    for (const SessionEvent& e : again) rewritten += formatSessionEvent(e) + "\n";
    if (rewritten != written) fault("events change when written and read again", rewritten);
    return 0;
}
