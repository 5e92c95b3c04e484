// FrontEndState.h - the state the whole front end reads: the window
// (Window.h), whether and how the simulation runs, what is shown, the
// density total, and whether the program has ended. Plain globals with their
// start values in FrontEndState.cpp; the input state of the mouse is in
// Mouse.h, the drawings keep their own.
#pragma once

#include "Fluid.h"
#include "Window.h"

extern int framesPerSecond;  // redraw rate of the timer, 60

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

// Quitting (Esc): sets programEnded, then asks the platform to quit
// (Platform::quit). Where that returns (the page), the program has ended:
// from then on frames draw nothing and live input is ignored.
extern int programEnded;  // 0 or 1
void quitProgram();
