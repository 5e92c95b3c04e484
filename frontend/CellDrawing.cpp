// CellDrawing.cpp - the per-cell drawing of the fields.
//
// Cells are visited from the top row (i = N) down and, within a row, from
// left to right (j = 1..N). Each cell makes up to four drawings in a fixed
// order - obstacle, density, velocity line, grid outline - each placing the
// cell display list (or a line) with its own matrix push and pop. Because the
// drawings are interleaved cell by cell, later cells' quads cover whatever
// earlier cells' lines and outlines reach into them.
#include <GL/gl.h>

#include "FrontEnd.h"
#include "Fluid.h"

namespace {

void setDensityColour(float d) {
    const double value = d;  // the band tests compare against double constants
    if (value < 0.33)
        glColor3f(0.0f, 0.0f, d);
    else if (value < 0.66)
        glColor3f(0.0f, d, 0.0f);
    else
        glColor3f(d, 0.0f, 0.0f);
}

}  // namespace

void drawFieldPerCell() {
    for (int i = N; i >= 1; --i) {
        for (int j = 1; j <= N; ++j) {
            const float x = static_cast<float>(j * static_cast<double>(cellSize) + cellSize / 2.0);
            const float y = static_cast<float>(i * static_cast<double>(cellSize) + cellSize / 2.0);
            const int cell = IX(i, j);
            if (showBoundary) {
                if (boundary[cell] == 1)
                    glColor3ub(0, 0, 255);
                else
                    glColor3ub(0, 0, 0);
                glPushMatrix();
                glTranslatef(x, y, 0.0f);
                glCallList(cellList);
                glPopMatrix();
            }
            if (showDensity && static_cast<double>(dens[cell]) > 0.0) {
                setDensityColour(dens[cell]);
                glPushMatrix();
                glTranslatef(x, y, 0.0f);
                glCallList(cellList);
                glPopMatrix();
            }
            if (showVelocity) {
                glColor3ub(255, 0, 0);
                glPushMatrix();
                const float ex = static_cast<float>(static_cast<double>(u[cell]) * cellSize * 10.0);
                const float ey = static_cast<float>(static_cast<double>(v[cell]) * cellSize * 10.0);
                glTranslatef(x, y, 0.0f);
                glBegin(GL_LINES);
                glVertex3f(0.0f, 0.0f, 0.0f);
                glVertex3f(ex, ey, 0.0f);
                glEnd();
                glPopMatrix();
            }
            if (showGrid) {
                glColor3ub(0, 255, 0);
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
