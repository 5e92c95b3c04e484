// DesktopPlatform.cpp - the desktop window's platform table.
#include "DesktopPlatform.h"

#include <cstdlib>

#include "FrameLoop.h"
#include "GlDrawing.h"
#include "GlutGlue.h"

namespace {
// The standard exit with status 0, so that exit handlers run (the
// recording's end line, the kernel image's unregistration).
void exitProgram() { std::exit(0); }
}  // namespace

const Platform desktopPlatform = {glutglue::requestRedraw, glutglue::presentFrame, glutglue::resizeWindow,
                                  drawGlFrame,              fitGlDrawing,           glutglue::rearmTimer,
                                  exitProgram,              writeStandardOutput};
