// WebPlatform.h - the page's platform table (Platform.h): Emscripten's GLUT
// on the canvas (glut/GlutGlue.h), drawn with WebGL 2, counting its frames
// and taking the pictures the page asks for; quitting stops the page. The
// page's main installs it.
#pragma once

#include "Platform.h"

extern const Platform webPlatform;
extern long long framesDrawn;  // frames presented since start
