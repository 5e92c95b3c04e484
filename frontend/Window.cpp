// Window.cpp - the window's size and the cell size, and size changes.
#include "Window.h"

#include "Platform.h"

int windowWidth = startWindowSide;
int windowHeight = startWindowSide;
float cellSize = cellSizeFor(startWindowSide);

void setWindowSize(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    cellSize = cellSizeFor(width);
}

void reshapeWindow(int width, int height) {
    setWindowSize(width, height);
    platform.fitDrawing(width, height);
    platform.requestRedraw();
}
