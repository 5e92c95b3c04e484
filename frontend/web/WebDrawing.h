// WebDrawing.h - the page's drawing on WebGL 2. It provides the front end's
// drawField, drawFrame and reshapeWindow (FrontEnd.h) in the browser build,
// where the desktop's fixed-function drawing does not exist.
#pragma once

// Compiles the programs and makes the buffers and the cell texture; needs
// the current WebGL 2 context. False, with a message on standard error,
// when a program does not compile or link.
bool initWebDrawing();
