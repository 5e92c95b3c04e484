// GlFrame.cpp - the desktop's GL side of a frame: the cell display list that
// the per-cell drawing reuses, clearing and drawing, and fitting the GL
// state to a new window size (the core has set the size and cellSize).
#include <GL/gl.h>

#include "FieldPicture.h"
#include "FrontEndState.h"
#include "GlDrawing.h"

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
