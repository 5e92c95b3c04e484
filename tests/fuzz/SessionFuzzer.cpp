// SessionFuzzer.cpp - a libFuzzer target for the session file reader.
//
// Any bytes either are refused with a message that names the input and a
// line, or read as events whose step numbers never decrease and end with at
// most one `end`, last; written back out, those events read again as the same
// lines. AddressSanitizer and UndefinedBehaviorSanitizer watch the parsing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Session.h"

namespace {

[[noreturn]] void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "session fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SessionEvent> events;
    std::string error;
    if (!parseSession(text, "in", events, error)) {
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
