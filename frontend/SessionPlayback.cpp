// SessionPlayback.cpp - live input, replay and recording as one stream of events.
#include "SessionPlayback.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FrameLoop.h"
#include "FrontEndState.h"
#include "InputCodes.h"
#include "Keyboard.h"
#include "Mouse.h"
#include "Platform.h"

namespace {

// A live button in the front end's numbering: the platform's left, middle
// and right become ours, other buttons keep their number.
int ourButton(int button) {
    const ButtonNumbering& theirs = platform.buttons;
    if (button == theirs.left) return leftButton;
    if (button == theirs.middle) return middleButton;
    if (button == theirs.right) return rightButton;
    return button;
}

std::vector<SessionEvent> replayEvents;
std::size_t nextReplayEvent = 0;

int recordFd = -1;
std::string recordPath;

// Each line goes out in one write, so a recording cut short by a kill ends
// with its last complete line.
void writeLine(const std::string& text) {
    if (recordFd < 0) return;
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = write(recordFd, line.data() + done, line.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            std::fprintf(stderr, "fluid: cannot write the session to %s: %s; recording stopped\n", recordPath.c_str(),
                         wrote < 0 ? std::strerror(errno) : "nothing written");
            close(recordFd);
            recordFd = -1;
            return;
        }
    }
}

void record(SessionEvent event) {
    event.step = stepsCompleted;
    writeLine(formatSessionEvent(event));
}

}  // namespace

bool recording() { return recordFd >= 0; }

void stopRecording() {
    if (recordFd < 0) return;
    SessionEvent end;
    end.kind = SessionEventKind::End;
    record(end);
    if (recordFd >= 0) close(recordFd);
    recordFd = -1;
}

void startReplay(std::vector<SessionEvent> events) {
    replayEvents = std::move(events);
    nextReplayEvent = 0;
}

bool replayPending() { return nextReplayEvent < replayEvents.size(); }

long long replayLastStep() { return replayEvents.empty() ? 0 : replayEvents.back().step; }

void playDueEvents() {
    while (replayPending() && replayEvents[nextReplayEvent].step <= stepsCompleted)
        applySessionEvent(replayEvents[nextReplayEvent++]);
}

bool startRecording(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    recordFd = fd;
    recordPath = path;
    writeLine(sessionHeader);
    std::atexit(stopRecording);
    return true;
}

void applySessionEvent(const SessionEvent& event) {
    switch (event.kind) {
        case SessionEventKind::Key:
            record(event);
            keyboardCommand(static_cast<unsigned char>(event.key), 0, 0);
            break;
        case SessionEventKind::Press:
        case SessionEventKind::Release:
            record(event);
            mouseButton(event.button, event.kind == SessionEventKind::Press ? buttonDown : buttonUp, event.x, event.y);
            break;
        case SessionEventKind::Drag:
            record(event);
            mouseMotion(event.x, event.y);
            break;
        case SessionEventKind::Size:
            record(event);
            platform.resizeSurface(event.x, event.y);
            reshapeWindow(event.x, event.y);
            break;
        case SessionEventKind::End: break;  // marks how far the replay runs; a recording writes its own
    }
}

void liveKeyboard(unsigned char key, int x, int y) {
    if (key == escapeKey) {
        keyboardCommand(key, x, y);  // quits, during a replay too
        return;
    }
    if (replayPending()) return;
    SessionEvent event;
    event.kind = SessionEventKind::Key;
    event.key = key;
    applySessionEvent(event);
}

void liveMouseButton(int platformButton, int platformState, int x, int y) {
    if (replayPending()) return;
    const int button = ourButton(platformButton);
    const int state = platformState == platform.buttons.down ? buttonDown : buttonUp;
    SessionEvent event;
    event.kind = state == buttonDown ? SessionEventKind::Press : SessionEventKind::Release;
    event.button = button;
    event.x = x;
    event.y = y;
    // Window systems report buttons 0 to a few; a number a file could not
    // hold is acted on but not recorded.
    if (button < 0 || button > 31) {
        mouseButton(button, state, x, y);
        return;
    }
    applySessionEvent(event);
}

void liveMouseMotion(int x, int y) {
    if (replayPending()) return;
    SessionEvent event;
    event.kind = SessionEventKind::Drag;
    event.x = x;
    event.y = y;
    applySessionEvent(event);
}

// The window system's size changes. A change is recorded; the same size
// again (the first reshape, or the echo of a replayed size) only sets the
// GL state up. During a replay the replayed sizes rule.
void liveReshape(int width, int height) {
    const bool changed = width != windowWidth || height != windowHeight;
    if (changed && replayPending()) return;
    const bool recordable = width >= 1 && height >= 1 && width <= maxSessionWindowSide && height <= maxSessionWindowSide;
    if (changed && recordable) {
        SessionEvent event;
        event.kind = SessionEventKind::Size;
        event.x = width;
        event.y = height;
        record(event);
    }
    reshapeWindow(width, height);
}
