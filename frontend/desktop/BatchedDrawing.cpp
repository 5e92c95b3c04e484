// BatchedDrawing.cpp - the per-cell picture drawn with a handful of GL calls.
//
// The per-cell drawing (CellDrawing.cpp) makes up to four drawings for every
// cell, each placing a quad or a line with its own matrix push, translate and
// pop: tens of thousands of tiny draws, which software GL renders at a few
// frames per second. This path produces the same pixels:
//
// - Order. In the per-cell drawing a later drawing paints over an earlier
//   one. Here every drawing has a fixed slot in that order (four per cell)
//   and a depth that falls with the slot (CellGeometry.h); the depth test
//   keeps the latest drawing at every pixel, whatever order the batches are
//   drawn in.
// - Cell quads and grid outlines: one full-window pass of a fragment program
//   reading an N x N texture of cell colours and a depth texture of the
//   outlines made once per window size (CellTexturePass.cpp). Where the GL
//   has no fragment programs, or the window is too large for its textures,
//   they are drawn as vertex arrays with the same depths instead.
// - Velocity lines are drawn as one array of lines, their vertices
//   transformed on the host exactly as the GL transforms the per-cell ones
//   (CellGeometry.h, as the page draws them too).
#include <GL/gl.h>

#include "BatchedArrays.h"
#include "CellColours.h"
#include "CellTexturePass.h"
#include "FieldPicture.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "Fluid.h"

namespace {

// Per frame: the colour of the quad each cell draws, alpha 1 if it draws one.
float cellRgba[cellColourCount][4];

// Vertex arrays for the quads drawn as arrays and for the velocity lines.
Vertex quadVertices[4 * N * N];
Colour quadColours[4 * N * N];
Vertex lineVertices[velocityLineVertexCount];
Colour lineColours[velocityLineVertexCount];

// Identity matrices and vertex arrays for the duration of one batched frame.
void beginBatch() {
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT |
                 GL_PIXEL_MODE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void endBatch() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}

// The cells' quads as one array, each at its cell's density slot (which
// orders it against every other drawing as its obstacle slot would).
void drawQuadArrays(const Projection& p, float h) {
    int quads = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const float* rgba = cellRgba[cellColourIndex(i, j)];
            if (rgba[3] == 0.0f) continue;
            putQuad(quadVertices + 4 * quads, p, cellCentre(j), cellCentre(i), h, slotClipZ(i, j, densityDrawing));
            for (int k = 0; k < 4; ++k) quadColours[4 * quads + k] = Colour{rgba[0], rgba[1], rgba[2]};
            ++quads;
        }
    drawArray(GL_QUADS, quadVertices, quadColours, GL_FLOAT, 4 * quads);
}

void drawVelocityLines() {
    putVelocityLines(lineVertices);
    for (Colour& c : lineColours) c = asFloats(velocityColour);
    drawArray(GL_LINES, lineVertices, lineColours, GL_FLOAT, velocityLineVertexCount);
}

}  // namespace

void drawFieldBatched() {
    if (!showBoundary && !showDensity && !showVelocity && !showGrid) return;
    const Projection projection;
    const float h = cellHalfEdge();  // as in the cell list
    const bool quads = showBoundary || showDensity;

    beginBatch();
    if (quads) fillCellColours(cellRgba);
    if ((quads || showGrid) && !drawCellTexturePass(cellRgba, quads, showGrid, projection, h)) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        if (quads) drawQuadArrays(projection, h);
        if (showGrid) drawAllOutlines(projection, h);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    if (showVelocity) drawVelocityLines();
    endBatch();
}
