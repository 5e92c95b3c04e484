// CellDrawing.cpp - the per-cell drawing of the fields.
//
// Cells are visited from the top row (i = N) down and, within a row, from
// left to right (j = 1..N). Each cell makes up to four drawings in a fixed
// order - obstacle, density, velocity line, grid outline - each placing the
// cell display list (or a line) with its own matrix push and pop. Because the
// drawings are interleaved cell by cell, later cells' quads cover whatever
// earlier cells' lines and outlines reach into them.
#include <GL/gl.h>

#include "CellGeometry.h"
#include "FieldPicture.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "Fluid.h"

void drawFieldPerCell() {
    for (int i = N; i >= 1; --i) {
        for (int j = 1; j <= N; ++j) {
            const float x = cellCentre(j);
            const float y = cellCentre(i);
            const int cell = IX(i, j);
            if (drawsObstacleQuad()) {
                const ColourBytes c = obstacleQuadColour(cell);
                glColor3ub(c.r, c.g, c.b);
                glPushMatrix();
                glTranslatef(x, y, 0.0f);
                glCallList(cellList);
                glPopMatrix();
            }
            if (drawsDensityQuad(cell)) {
                const Colour c = densityColour(dens[cell]);
                glColor3f(c.r, c.g, c.b);
                glPushMatrix();
                glTranslatef(x, y, 0.0f);
                glCallList(cellList);
                glPopMatrix();
            }
            if (showVelocity) {
                glColor3ub(velocityColour.r, velocityColour.g, velocityColour.b);
                glPushMatrix();
                const LineEnd end = velocityLineEnd(cell);
                glTranslatef(x, y, 0.0f);
                glBegin(GL_LINES);
                glVertex3f(0.0f, 0.0f, 0.0f);
                glVertex3f(end.x, end.y, 0.0f);
                glEnd();
                glPopMatrix();
            }
            if (showGrid) {
                glColor3ub(gridColour.r, gridColour.g, gridColour.b);
                glPushMatrix();
                glPushAttrib(GL_POLYGON_BIT);
                glPolygonMode(GL_FRONT, GL_LINE);
                glTranslatef(x, y, 0.0f);
                glCallList(cellList);
                glPopAttrib();
                glPopMatrix();
            }
        }
    }
}
