// FrameLoop.h - one frame and what drives frames (FrameLoop.cpp): the
// display, reshape, idle and timer callbacks that a wing registers with its
// window system, and the step with its total and dump.
#pragma once

// Replayed events due, at most one step, the drawing and the presentation.
void displayFrame();
// One step when running or asked for, with the total and the optional dump;
// true when it stepped.
bool advanceSimulation();
// The window has a new size: the cell size follows, the drawing fits itself
// to it (Platform::fitDrawing), and a redraw is requested.
void reshapeWindow(int width, int height);
void idleRedraw();
void timerRedraw(int value);

// One line per i from the top (n + 1) down to 0, one value per j, as on screen.
void printField(int n, const float* field);
