// WebPlatform.h - the page's platform table (Platform.h): Emscripten's GLUT
// on the canvas, drawn with WebGL 2. The page's main installs it.
#pragma once

#include "Platform.h"

extern const Platform webPlatform;
