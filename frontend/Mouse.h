// Mouse.h - acting on the fluid with the mouse (Mouse.cpp), and the pointer
// state the mouse callbacks keep between events.
#pragma once

extern int mouseX, mouseY;          // latest accepted pointer position (y down)
extern int prevMouseX, prevMouseY;  // the position before that
extern int mouseState;              // state of the latest button event, buttonDown for a press (InputCodes.h)
extern int lastCellI, lastCellJ;    // cell that boundary editing flipped last

// Buttons and states in the front end's numbering (InputCodes.h).
void mouseButton(int button, int state, int x, int y);
void mouseMotion(int x, int y);
void applyMouse(int button, int isMotion);

// The interior cell index (1..N) that a pointer coordinate picks along one axis.
int pickCellIndex(long long pixel, int extent);
