// FrontEndState.cpp - the front end's shared globals with their start values.
#include "FrontEndState.h"

namespace {
constexpr int startWindowSide = 512;
}  // namespace

int windowWidth = startWindowSide;
int windowHeight = startWindowSide;
float cellSize = cellSizeFor(startWindowSide);
int framesPerSecond = 60;

void setWindowSize(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    cellSize = cellSizeFor(width);
}

int simulate = 1;
int stepOnce = 0;
int printFields = 0;
int showDensity = 1;
int showBoundary = 1;
int showVelocity = 0;
int showGrid = 0;
int editBoundary = 0;

float totalDensity = 0.0f;
long long stepsCompleted = 0;
