// FrontEndState.h - the state the whole front end reads: the window's size
// and the cell size that follows from it, whether and how the simulation
// runs, what is shown, and the density total. Plain globals with their start
// values in FrontEndState.cpp; the input state of the mouse is in Mouse.h,
// the drawings keep their own.
#pragma once

#include "Fluid.h"

// Window.
extern int windowWidth;      // pixels, 512 at start
extern int windowHeight;     // pixels, 512 at start
extern float cellSize;       // edge of a drawn cell in pixels, cellSizeFor(windowWidth)
extern int framesPerSecond;  // redraw rate of the timer, 60

// Edge of a drawn cell in pixels for a window this wide: a whole number, so
// that cell edges lie on pixel boundaries. It scales every source the
// keyboard and the mouse inject as well as the drawing.
constexpr float cellSizeFor(int width) { return static_cast<float>(width / N); }

// The window has this size now: the one place that sets the size and the
// cell size. The drawings read both afterwards.
void setWindowSize(int width, int height);

// Mode and view flags (0 or 1).
extern int simulate;      // step at every redraw (key s)
extern int stepOnce;      // step at the next redraw (space)
extern int printFields;   // dump the fields after each step (key c)
extern int showDensity;   // key d
extern int showBoundary;  // key b
extern int showVelocity;  // key v
extern int showGrid;      // key g
extern int editBoundary;  // left button edits obstacles (key B)

// Progress.
extern float totalDensity;        // interior density after the latest step
extern long long stepsCompleted;  // simulation steps since start
