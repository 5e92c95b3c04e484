// SessionPlayback.cpp - replay and recording: every input as one stream of events.
#include "SessionPlayback.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AutoMotion.h"
#include "FrontEndState.h"
#include "InputCodes.h"
#include "Keyboard.h"
#include "Mouse.h"
#include "Platform.h"

namespace {

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
            noteButtonEvent(event.kind == SessionEventKind::Press);
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
        case SessionEventKind::Set:
            record(event);
            applySetting(event.setting);
            platform.requestRedraw();
            break;
        case SessionEventKind::End: break;  // marks how far the replay runs; a recording writes its own
    }
}

void recordSizeChange(int width, int height) {
    SessionEvent event;
    event.kind = SessionEventKind::Size;
    event.x = width;
    event.y = height;
    record(event);
}
