// The session file's lines: every kind of event written by the recorder
// reads back as the same event, extremes included; the reader's limits; and
// its run/pause tracking against the front end's own frames.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FrontEndTestSupport.h"
#include "Session.h"
#include "SessionPlayback.h"

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

// Every bound the readers check, just inside and just outside, through the
// text reader and the file reader alike, and the command line's step count.
TEST(SessionFile, EveryLimitIsExact) {
    struct Case {
        std::string line;  // one event line, after the header
        bool accepted;
    };
    const std::string longComment = "#" + std::string(199, 'x');  // 200 characters
    const std::vector<Case> cases = {
        {"0 size 16384 16384", true},       {"0 size 16385 512", false},     {"0 size 512 16385", false},
        {"0 size 1 1", true},               {"0 size 0 1", false},           {"0 size 1 0", false},
        {"0 size -1 5", false},             {"2147483647 end", true},        {"2147483648 end", false},
        {"99999999999999999999 end", false}, {"0 press 31 0 0", true},       {"0 press 32 0 0", false},
        {"0 release 0 0 0", true},          {"0 release -1 0 0", false},     {"0 key #255", true},
        {"0 key #256", false},              {"0 key #0", true},              {"0 key #-1", false},
        {"0 key #26", true},                {"0 key #27", false},            {"0 key #28", true},
        {"0 drag 2147483647 -2147483648", true}, {"0 drag 2147483648 0", false}, {"0 drag 0 -2147483649", false},
        {longComment, true},                {longComment + "x", false},      {"0 key ~", true},
        {"0 key \x7f", false},
    };
    char folder[] = "/tmp/fluid-limits-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/case.session";
    for (const Case& c : cases) {
        const std::string& line = c.line;
        SCOPED_TRACE(line);
        const std::string text = std::string(sessionHeader) + "\n" + line + "\n";
        std::vector<SessionEvent> events;
        std::string error;
        EXPECT_EQ(parseSession(text, "t", events, error), c.accepted) << error;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        EXPECT_EQ(readSessionFile(path, events, error), c.accepted) << error;
        if (!c.accepted) {
            EXPECT_EQ(error.compare(0, path.size() + 3, path + ":2:"), 0) << error;
        }
    }
    std::remove(path.c_str());
    rmdir(folder);

    // --steps: 0 to 2147483647.
    const struct {
        const char* value;
        bool accepted;
        long long steps;
    } counts[] = {{"0", true, 0}, {"2147483647", true, 2147483647LL}, {"2147483648", false, 0},
                  {"-1", false, 0}, {"1x", false, 0},  {"", false, 0}};
    for (const auto& c : counts) {
        SCOPED_TRACE(c.value);
        char program[] = "fluid", headless[] = "--headless", steps[] = "--steps";
        std::string value = c.value;
        char* argv[] = {program, headless, steps, &value[0], nullptr};
        int argc = 4;
        CommandLine options;
        std::string error;
        EXPECT_EQ(takeCommandLine(argc, argv, options, error), c.accepted) << error;
        if (c.accepted) {
            EXPECT_EQ(options.extraSteps, c.steps);
        }
    }
}

// Each case's events leave the simulation paused at a step it reaches by
// itself, or running. The reader accepts a file whose last event comes at
// that step and refuses one step further, naming the line and the step the
// simulation stops at. The front end, replaying the accepted file frame by
// frame as the window does, plays every event and then stops at exactly
// that step, however many frames follow, or, running, goes on past it.
using SessionReplay = testsupport::CoreTest;

TEST_F(SessionReplay, TheReadersRunAndPauseStateIsTheFrontEndsOwn) {
    struct Case {
        const char* events;  // after the header (line 1)
        int reach;           // the step reached; running: a later step to end at
        bool running;        // the simulation runs after the events
    };
    const Case cases[] = {
        {"0 key s\n", 0, false},
        {"0 key #115\n", 0, false},  // s by its code
        {"0 key s\n0 key space\n", 1, false},
        {"0 key s\n0 key #32\n", 1, false},
        {"0 key s\n0 key space\n0 key space\n", 1, false},  // a step asked for twice is one step
        {"0 key s\n0 key space\n1 key space\n", 2, false},
        {"0 key s\n0 key space\n1 key d\n1 key f\n1 size 300 200\n", 1, false},
        {"0 key s\n0 key space\n1 press left 10 10\n1 drag 20 20\n1 release left 20 20\n", 1, false},
        {"0 key s\n0 key r\n0 key space\n", 1, false},
        {"0 key s\n0 key space\n0 key s\n0 key s\n", 1, false},
        {"0 key space\n0 key s\n", 1, false},  // asked for while running, still asked for once paused
        {"0 key space\n1 key s\n", 1, false},  // the step taken while running was the one asked for
        {"3 key s\n3 key space\n4 key space\n", 5, false},
        {"0 key s\n0 key space\n0 key s\n", 5, true},
        {"0 key S\n", 3, true},
        {"2 key s\n2 key space\n3 key s\n", 6, true},
        {"0 key s\n0 key s\n", 2, true},
    };
    freezeSolver();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        const std::string start = std::string(sessionHeader) + "\n" + c.events;
        std::vector<SessionEvent> events;
        std::string error;
        if (!c.running) {
            // One step further, as an ordinary last event: the file has no end.
            const std::string further = std::to_string(c.reach + 1);
            EXPECT_FALSE(parseSession(start + further + " key d\n", "s", events, error));
            const size_t line = static_cast<size_t>(std::count(start.begin(), start.end(), '\n')) + 1;
            EXPECT_EQ(error, "s:" + std::to_string(line) + ": step " + further +
                                 " is never reached: the simulation is paused at step " + std::to_string(c.reach));
        }
        ASSERT_TRUE(parseSession(start + std::to_string(c.reach) + " end\n", "s", events, error)) << error;
        reshapeWindow(startWindowSide, startWindowSide);
        simulate = 1;
        stepOnce = 0;
        stepsCompleted = 0;
        startReplay(events);
        for (int frame = 0; frame < c.reach + 5; ++frame) {
            displayFrame();
        }
        EXPECT_FALSE(replayPending());
        if (c.running)
            EXPECT_GT(stepsCompleted, c.reach);
        else
            EXPECT_EQ(stepsCompleted, c.reach);
    }
    startReplay({});
    stepsCompleted = 0;
}

}  // namespace
