// The session file's lines: every kind of event written by the recorder
// reads back as the same event, extremes included.
#include <gtest/gtest.h>

#include <climits>

#include "Session.h"

namespace {

SessionEvent makeEvent(long long step, SessionEventKind kind, int key, int button, int x, int y) {
    SessionEvent e;
    e.step = step;
    e.kind = kind;
    e.key = key;
    e.button = button;
    e.x = x;
    e.y = y;
    return e;
}

TEST(SessionFile, EveryEventReadsBackAsWritten) {
    using K = SessionEventKind;
    const std::vector<SessionEvent> written = {
        makeEvent(0, K::Key, 'x', 0, 0, 0),        makeEvent(0, K::Key, ' ', 0, 0, 0),
        makeEvent(1, K::Key, '#', 0, 0, 0),        makeEvent(1, K::Key, 0, 0, 0, 0),
        makeEvent(1, K::Key, 200, 0, 0, 0),        makeEvent(1, K::Key, '7', 0, 0, 0),
        makeEvent(2, K::Press, 0, 2, INT_MIN, INT_MAX), makeEvent(2, K::Release, 0, 31, -1, 0),
        makeEvent(2, K::Press, 0, 0, 5, 6),        makeEvent(2, K::Release, 0, 1, 7, 8),
        makeEvent(9, K::Drag, 0, 0, -300, 70000),  makeEvent(9, K::Size, 0, 0, 1, 16384),
        makeEvent(maxSessionStep, K::End, 0, 0, 0, 0),
    };
    std::string text = std::string(sessionHeader) + "\n";
    for (const SessionEvent& e : written) text += formatSessionEvent(e) + "\n";
    std::vector<SessionEvent> read;
    std::string error;
    ASSERT_TRUE(parseSession(text, "t", read, error)) << error << "\n" << text;
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t k = 0; k < read.size(); ++k) {
        SCOPED_TRACE(formatSessionEvent(written[k]));
        EXPECT_EQ(read[k].step, written[k].step);
        EXPECT_EQ(read[k].kind, written[k].kind);
        const bool isKey = written[k].kind == K::Key;
        const bool isButton = written[k].kind == K::Press || written[k].kind == K::Release;
        const bool hasXY = written[k].kind != K::Key && written[k].kind != K::End;
        if (isKey) {
            EXPECT_EQ(read[k].key, written[k].key);
        }
        if (isButton) {
            EXPECT_EQ(read[k].button, written[k].button);
        }
        if (hasXY) {
            EXPECT_EQ(read[k].x, written[k].x);
            EXPECT_EQ(read[k].y, written[k].y);
        }
    }
}

}  // namespace
