// WebDrawing.h - the page's drawing on WebGL 2, which the page's platform
// table (WebPlatform.cpp) hands to the core.
#pragma once

// Compiles the programs and makes the buffers and the cell texture; needs
// the current WebGL 2 context. False, with a message on standard error,
// when a program does not compile or link.
bool initWebDrawing();

// Clears colour and depth and draws the fields as the views say.
void drawWebFrame();

// The arrays that depend on the window size, for the size (and cellSize)
// the core has just set.
void fitWebDrawing(int width, int height);
