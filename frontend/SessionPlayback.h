// SessionPlayback.h - input as events: the one funnel every input goes
// through, the replay of a recorded session and the recording of one.
//
// Every input, live (LiveInput.h) or replayed, goes through
// applySessionEvent, which hands it to the keyboard, the mouse or the window
// and, while recording, writes it to the file with the number of steps
// completed so far. The replay ends after its last event and the user takes
// over.
#pragma once

#include <string>
#include <vector>

#include "Session.h"

void startReplay(std::vector<SessionEvent> events);
bool replayPending();          // events of the replay are still to come
long long replayLastStep();    // the step stamp of the replay's last event (0 without one)
void playDueEvents();          // applies the replayed events stamped with stepsCompleted

// Opens (truncates) the file and writes the format line; false with a message
// when it cannot. At exit the recording ends with an `end` line.
bool startRecording(const std::string& path, std::string& error);
bool recording();  // a recording is open
// Ends the recording now with its `end` line and closes the file; nothing
// when none is open. The page stops a recording without ending the program.
void stopRecording();

void applySessionEvent(const SessionEvent& event);

// Records a size change of the window system's own, which is not applied
// again: the window already has that size (LiveInput.cpp).
void recordSizeChange(int width, int height);
