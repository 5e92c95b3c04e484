// FrontEndState.cpp - the front end's globals with their start values.
#include "FrontEnd.h"

int windowWidth = 512;
int windowHeight = 512;
int framesPerSecond = 60;

int simulate = 1;
int stepOnce = 0;
int printFields = 0;
int showDensity = 1;
int showBoundary = 1;
int showVelocity = 0;
int showGrid = 0;
int editBoundary = 0;

float cellSize = 0.0f;
unsigned int cellList = 0;
float totalDensity = 0.0f;
long long stepsCompleted = 0;

const int forceRow = 64;

int mouseX = 0, mouseY = 0;
int prevMouseX = 0, prevMouseY = 0;
int mouseState = 0;
int lastCellI = 0, lastCellJ = 0;
