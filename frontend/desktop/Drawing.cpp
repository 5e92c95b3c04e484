// Drawing.cpp - chooses how a frame is drawn: per cell, or batched.
#include <GL/glut.h>

#include "GlDrawing.h"

#ifdef FLUID_PER_CELL_DRAWING
int usePerCellDrawing = 1;
#else
int usePerCellDrawing = 0;
#endif

void drawField() {
    if (usePerCellDrawing)
        drawFieldPerCell();
    else
        drawFieldBatched();
}

unsigned int drawingDisplayModeBits() { return usePerCellDrawing ? 0u : static_cast<unsigned>(GLUT_DEPTH); }
