// Window.h - the window as the core knows it: its title and start size, its
// size now and the cell size that follows from it, and the one function
// through which a size change reaches the drawing (Window.cpp).
#pragma once

#include "Fluid.h"

constexpr const char* windowTitle = "Zeroduz Uruvov Aderod";
constexpr int startWindowSide = 512;  // pixels, width and height

extern int windowWidth;   // pixels, startWindowSide at start
extern int windowHeight;  // pixels, startWindowSide at start
extern float cellSize;    // edge of a drawn cell in pixels, cellSizeFor(windowWidth)

// Edge of a drawn cell in pixels for a window this wide: a whole number, so
// that cell edges lie on pixel boundaries. It scales every source the
// keyboard and the mouse inject as well as the drawing.
constexpr float cellSizeFor(int width) { return static_cast<float>(width / N); }

// The window has this size now: the one place that sets the size and the
// cell size. The drawings read both afterwards.
void setWindowSize(int width, int height);

// A size change: the size and the cell size as above, then the drawing fits
// itself to it (Platform::fitDrawing) and a redraw is requested.
void reshapeWindow(int width, int height);
