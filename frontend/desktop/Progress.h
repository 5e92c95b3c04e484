// Progress.h - how far a headless run that writes frames or a video has got,
// on one line of standard error rewritten in place, when that is a terminal.
#pragma once

#include <string>

// The line for `done` of `total` frames after `seconds`: frames, rate and
// time left ("frame 120/600, 45.0 frames/s, 11 s left"), without a line end.
std::string progressText(long long done, long long total, double seconds);

// Shown only to a person: when standard error is a terminal.
bool progressWanted(int fd);

// Starts the clock; reports go to standard error when `shown`.
void startProgress(long long total, bool shown);
// Rewrites the line (with \r) at most about ten times a second, and always
// for the last frame.
void reportProgress(long long done);
// Ends the line, when one was written.
void endProgress();
