// GlDrawing.cpp - the desktop's GL side of a frame: the cell display list
// that the per-cell drawing reuses, clearing and drawing with the chosen
// drawing, and fitting the GL state to a new window size (the core has set
// the size and cellSize).
#include "GlDrawing.h"

#include <GL/gl.h>
#include <GL/glut.h>

#include "CellGeometry.h"
#include "CellTexturePass.h"

#ifdef FLUID_PER_CELL_DRAWING
int usePerCellDrawing = 1;
#else
int usePerCellDrawing = 0;
#endif

unsigned int cellList = 0;

void buildCellList() {
    cellList = glGenLists(1);
    // One quad of edge cellSize centred on the origin, counter-clockwise so
    // that it is front-facing (the grid outline switches only front faces).
    const float h = cellHalfEdge();
    glNewList(cellList, GL_COMPILE);
    glBegin(GL_QUADS);
    glVertex3f(-h, h, 0.0f);
    glVertex3f(-h, -h, 0.0f);
    glVertex3f(h, -h, 0.0f);
    glVertex3f(h, h, 0.0f);
    glEnd();
    glEndList();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

void drawField() {
    if (usePerCellDrawing)
        drawFieldPerCell();
    else
        drawFieldBatched();
}

void drawGlFrame() {
    glClear(GL_COLOR_BUFFER_BIT);
    drawField();
}

void fitGlDrawing(int width, int height) {
    glDeleteLists(cellList, 1);
    buildCellList();
    forgetWindowSizedImages();
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, 0, 1);  // one unit per pixel, origin lower left
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

unsigned int drawingDisplayModeBits() { return usePerCellDrawing ? 0u : static_cast<unsigned>(GLUT_DEPTH); }
