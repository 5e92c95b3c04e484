// FrontEndState.cpp - the front end's shared globals with their start values.
#include "FrontEndState.h"

#include "Platform.h"

int framesPerSecond = 60;

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

int programEnded = 0;

void quitProgram() {
    programEnded = 1;
    platform.quit();
}
