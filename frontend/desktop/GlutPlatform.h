// GlutPlatform.h - the desktop's platform table (Platform.h): the GLUT
// window drawn with this folder's GL drawings. The program, the tests that
// drive the callbacks and the benchmarks install it with
// `platform = glutPlatform;` before anything draws.
#pragma once

#include "Platform.h"

extern const Platform glutPlatform;
