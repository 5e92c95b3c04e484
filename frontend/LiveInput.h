// LiveInput.h - the user's input as it happens, in the front end's own
// numbering (InputCodes.h): the calls a wing makes from its window system's
// callbacks (the GLUT glue, glut/GlutGlue.cpp; the page's own touch and
// controls, web/WebExports.cpp).
//
// Each becomes a session event and goes through the one funnel,
// applySessionEvent (SessionPlayback.h), so that it is recorded with the
// number of steps completed so far. While a replay has events left, live
// input is ignored, but for Esc, which always quits; once the program has
// ended (programEnded) every call is ignored.
#pragma once

#include <string>

#include "Settings.h"

void liveKeyboard(unsigned char key, int x, int y);
// button: leftButton, middleButton, rightButton or another number; state:
// buttonDown or buttonUp.
void liveMouseButton(int button, int state, int x, int y);
void liveMouseMotion(int x, int y);
// The window system's size of the window: a change is recorded; the same
// size again (the first reshape, or the echo of a replayed size) only fits
// the drawing to it. During a replay the replayed sizes rule.
void liveReshape(int width, int height);
// A setting changed while running (the page's settings panel): applied and
// recorded when its value is in range where the settings are now; false
// with a message naming it and its range when not. Refused during a replay.
bool liveSetting(const Setting& setting, std::string& error);
