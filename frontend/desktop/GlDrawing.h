// GlDrawing.h - the desktop's drawing of the fields with OpenGL: the GL
// side of a frame and of a size change (GlDrawing.cpp), which the window's
// and the headless run's platform tables hand to the core, and the two ways
// to draw the fields, cell by cell (CellDrawing.cpp) or batched
// (BatchedDrawing.cpp).
#pragma once

extern unsigned int cellList;  // display list holding one cell quad of edge cellSize

// Makes the cell display list for the current cellSize and sets the clear
// colour; needs the current GL context.
void buildCellList();
// Clears the colours and draws the fields.
void drawGlFrame();
// The GL side of a size change: a new cell list, the window-sized images
// forgotten, the viewport and the one-unit-per-pixel projection.
void fitGlDrawing(int width, int height);

// The drawing of one frame. The batched path (the default) draws exactly
// the per-cell picture with a few vertex-array draws and needs a depth
// buffer; usePerCellDrawing selects the per-cell path, which is the default
// when the program is built with FLUID_PER_CELL_DRAWING.
extern int usePerCellDrawing;
void drawField();
void drawFieldPerCell();
void drawFieldBatched();
unsigned int drawingDisplayModeBits();  // extra GLUT display mode bits
