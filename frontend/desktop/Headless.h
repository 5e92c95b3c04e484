// Headless.h - running a session without a window or an X server.
#pragma once

#include "CommandLine.h"

// Replays the session already handed to startReplay on an offscreen GL
// surface, runs options.extraSteps more steps, draws every frame and writes
// the PNG files and the video asked for. Returns the exit status.
int runHeadless(const CommandLine& options);
