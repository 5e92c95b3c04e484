// Platform.cpp - the table the core starts with: a dummy platform that
// draws and shows nothing, never calls back and, asked to quit, only lets
// the core end; its field dump goes to standard output. The core runs on it unchanged until a wing installs its own
// table, so nothing in the core needs a window system to link or run.
#include "Platform.h"

#include "FrameLoop.h"

namespace {
void nothing() {}
void noSize(int, int) {}
void noTimer(unsigned, int) {}

constexpr Platform dummy = {nothing, nothing, noSize, nothing, noSize, noTimer, nothing, writeStandardOutput};
}  // namespace

// Both set before any code runs (constant initialisation).
const Platform dummyPlatform = dummy;
Platform platform = dummy;
