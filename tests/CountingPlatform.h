// CountingPlatform.h - a platform table of the tests' own that counts what
// the core asks of it and shows nothing, so that the core is tested as the
// core: no GL, no GLUT, no wing.
#pragma once

#include "Platform.h"

namespace counting {

struct Counts {
    int redraws = 0, presents = 0, draws = 0, fits = 0, timers = 0, quits = 0, resizes = 0;
    int resizedWidth = 0, resizedHeight = 0;        // the latest resizeSurface
    int fittedWidth = 0, fittedHeight = 0;          // the latest fitDrawing
    unsigned timerMilliseconds = 0;                 // the latest rearmTimer
    int timerValue = 0;
};

extern Counts counts;
extern const Platform table;

inline void reset() { counts = Counts{}; }

}  // namespace counting
