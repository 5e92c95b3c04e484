// CountingPlatform.cpp - the counting table's entries.
#include "CountingPlatform.h"

#include "FrameLoop.h"

namespace counting {

Counts counts;

namespace {
void redraw() { ++counts.redraws; }
void present() { ++counts.presents; }
void resize(int width, int height) {
    ++counts.resizes;
    counts.resizedWidth = width;
    counts.resizedHeight = height;
}
void draw() { ++counts.draws; }
void fit(int width, int height) {
    ++counts.fits;
    counts.fittedWidth = width;
    counts.fittedHeight = height;
}
void timer(unsigned milliseconds, int value) {
    ++counts.timers;
    counts.timerMilliseconds = milliseconds;
    counts.timerValue = value;
}
void quit() { ++counts.quits; }
}  // namespace

const Platform table = {redraw, present, resize, draw, fit, timer, quit, writeStandardOutput};

}  // namespace counting
