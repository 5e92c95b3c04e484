// DesktopPlatform.h - the desktop window's platform table (Platform.h):
// GLUT's window (glut/GlutGlue.h) drawn with this folder's GL drawings, and
// quitting by the standard exit. The program, the tests that drive the
// callbacks and the benchmarks install it with `platform = desktopPlatform;`
// before anything draws.
#pragma once

#include "Platform.h"

extern const Platform desktopPlatform;
