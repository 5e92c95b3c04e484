// Keyboard.h - single-key commands (Keyboard.cpp).
#pragma once

extern const int forceRow;  // j index of the cell that key f feeds, 64

// Acts on one key: exact character codes, upper and lower case differ; Esc
// quits (quitProgram), every other key ends with a redraw request, also keys without a
// command. The pointer position is not used.
void keyboardCommand(unsigned char key, int x, int y);
