// AutoMotion.h - motion on its own: right clicks at chosen places and drags
// along smooth curves, made up by a pseudo-random generator of the
// program's own from a seed the user gives (--auto SEED, the page's Auto).
//
// Every action is an ordinary input event through the one funnel
// (applySessionEvent), so a recording holds the events themselves and
// replays without the generator. The generator works in whole steps and
// fractions of the window, with integer and double arithmetic only, so that
// the same seed makes the same events on the desktop, headless and in the
// page (for the same window size). It acts only before steps that run, holds
// back while the user holds a button, and makes no drags while obstacles are
// being edited (a drag would draw walls).
#pragma once

#include <cstdint>

extern int autoMotion;  // 0 or 1: the generator is on

// Turns the generator on from `seed`'s start, or off (ending a drag it holds).
void startAutoMotion(std::uint64_t seed);
void stopAutoMotion();

// The actions due before the step about to run (FrameLoop.cpp).
void autoMotionBeforeStep();

// Every button event in the funnel (SessionPlayback.cpp), so that the
// generator knows when a button of the user's is held.
void noteButtonEvent(bool press);
