// FrameLoop.h - one frame and what drives frames (FrameLoop.cpp): the
// frame itself, which every wing runs (the window's and the page's display
// callback, and the headless run's loop), the step with its total and dump,
// and the idle and timer callbacks that keep frames coming.
#pragma once

#include <string>

// Whether a frame runs a step.
enum class Stepping {
    whenAsked,  // when the simulation runs, or one step is asked for (space)
    always,     // also when paused: a headless run's steps after its replay
    never,      // the picture of the fields as they are
};

// One frame: the replayed events due, at most one step, the events recorded
// before the next step, then the drawing and its presentation. So a frame
// shows the fields after its step with the views as the events before the
// next step leave them. Nothing once the program has ended. True when it
// stepped.
bool runFrame(Stepping stepping);
// The display callback: runFrame(Stepping::whenAsked).
void displayFrame();

// One step as a frame runs it, with the total and the optional dump; true
// when it stepped.
bool advanceSimulation(Stepping stepping);

void idleRedraw();
void timerRedraw(int value);

// The interior density summed in single precision after every addition,
// rows from the top (i = N down to 1), j increasing within a row: the order
// fixes the result bit for bit.
float sumInteriorDensity();

// One line per i from the top (n + 1) down to 0, one value per j, as on
// screen, each value "%f " ; printField writes them to standard output.
void appendField(std::string& out, int n, const float* field);
void printField(int n, const float* field);

// Writes one dump to standard output and flushes it; false when that failed
// (errno says why). The desktop's and the dummy platform's writeDump.
bool writeStandardOutput(const std::string& text);
