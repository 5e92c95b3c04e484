// BatchedDrawing.cpp - the fields drawn in three vertex-array draws per frame.
//
// The per-cell drawing (CellDrawing.cpp) makes up to four drawings for every
// cell, each placing a quad or a line with its own matrix push, translate and
// pop: tens of thousands of tiny draws, which software GL renders at a few
// frames per second. This path draws the same picture with one array of quads
// (obstacle and density), one of lines (velocity) and one of outlined quads
// (grid), so the pixels are the same as the per-cell drawing's:
//
// - Order. In the per-cell drawing a later drawing paints over an earlier
//   one. Here every drawing gets a depth from its place in that order (later
//   drawings nearer) and the depth test keeps the nearest, so the arrays can
//   be drawn in any order. An obstacle quad and the density quad drawn right
//   after it cover the same pixels, so only the later of the two is kept.
// - Positions. The per-cell drawing transforms each vertex by the product of
//   the projection and a translation to the cell centre. The vertices here
//   are transformed on the host with exactly the same single-precision
//   operations, in the same order, and handed over in clip coordinates with
//   identity matrices, which the GL applies without rounding. The primitives
//   are therefore rasterised from the same coordinates.
#include <GL/gl.h>

#include "FrontEnd.h"
#include "Fluid.h"

namespace {

constexpr int cellsDrawn = N * N;
constexpr int maxDrawings = 4 * cellsDrawn;

struct Vertex {
    float x, y, z;
};
struct Colour {
    float r, g, b;
};

// Worst case: every cell draws a quad, a line and an outline.
Vertex quadVertices[4 * cellsDrawn];  // 4 per quad
Colour quadColours[4 * cellsDrawn];
Vertex lineVertices[2 * cellsDrawn];  // 2 per line
Colour lineColours[2 * cellsDrawn];
Vertex outlineVertices[4 * cellsDrawn];
Colour outlineColours[4 * cellsDrawn];

// The single-precision transform that the projection set up by the reshape
// callback, times a translation to (tx, ty), applies to a vertex (vx, vy, 0):
// matrix entries as the GL forms them, then a product and one sum per row.
struct Projection {
    float scaleX, scaleY;  // 2 / width, 2 / height
    float offsetX, offsetY;

    Projection() {
        const float left = 0.0f, right = static_cast<float>(windowWidth);
        const float bottom = 0.0f, top = static_cast<float>(windowHeight);
        scaleX = 2.0f / (right - left);
        scaleY = 2.0f / (top - bottom);
        offsetX = -(right + left) / (right - left);
        offsetY = -(top + bottom) / (top - bottom);
    }
    // Clip coordinates of (vx, vy) drawn with a translation to (tx, ty).
    Vertex clip(float tx, float ty, float vx, float vy, float depth) const {
        const float mx = scaleX * tx + offsetX;  // the combined matrix's translation column
        const float my = scaleY * ty + offsetY;
        const float zero = 0.0f;
        float cx = scaleX * vx;
        cx = cx + zero * vy;
        cx = cx + mx;
        float cy = zero * vx;
        cy = cy + scaleY * vy;
        cy = cy + my;
        return Vertex{cx, cy, depth};
    }
};

// Window depth of drawing k: decreasing in k, so a later drawing wins under
// GL_LESS. Clip z maps to depth as (z + 1) / 2 with identity matrices.
float depthOf(int k) {
    const float depth = static_cast<float>(maxDrawings - k) / static_cast<float>(maxDrawings + 1);
    return 2.0f * depth - 1.0f;
}

Colour densityColour(float d) {
    const double value = d;
    if (value < 0.33) return Colour{0.0f, 0.0f, d};
    if (value < 0.66) return Colour{0.0f, d, 0.0f};
    return Colour{d, 0.0f, 0.0f};
}

void putQuad(Vertex* v, Colour* c, const Projection& p, float tx, float ty, float h, float z, Colour colour) {
    // Counter-clockwise, as in the cell display list.
    v[0] = p.clip(tx, ty, -h, h, z);
    v[1] = p.clip(tx, ty, -h, -h, z);
    v[2] = p.clip(tx, ty, h, -h, z);
    v[3] = p.clip(tx, ty, h, h, z);
    c[0] = c[1] = c[2] = c[3] = colour;
}

void drawArray(GLenum mode, const Vertex* v, const Colour* c, int count) {
    if (count == 0) return;
    glVertexPointer(3, GL_FLOAT, 0, v);
    glColorPointer(3, GL_FLOAT, 0, c);
    glDrawArrays(mode, 0, count);
}

}  // namespace

void drawFieldBatched() {
    const Projection projection;
    const float h = static_cast<float>(cellSize / 2.0);  // as in the cell list
    int quads = 0, lines = 0, outlines = 0, k = 0;
    for (int i = N; i >= 1; --i) {
        for (int j = 1; j <= N; ++j) {
            const float x = static_cast<float>(j * static_cast<double>(cellSize) + cellSize / 2.0);
            const float y = static_cast<float>(i * static_cast<double>(cellSize) + cellSize / 2.0);
            const int cell = IX(i, j);
            // Obstacle and density quads cover the same pixels: keep the later.
            bool quad = false;
            Colour quadColour{0.0f, 0.0f, 0.0f};
            int quadDrawing = 0;
            if (showBoundary) {
                quad = true;
                quadColour = boundary[cell] == 1 ? Colour{0.0f, 0.0f, 1.0f} : Colour{0.0f, 0.0f, 0.0f};
                quadDrawing = k++;
            }
            if (showDensity && static_cast<double>(dens[cell]) > 0.0) {
                quad = true;
                quadColour = densityColour(dens[cell]);
                quadDrawing = k++;
            }
            if (quad) {
                putQuad(quadVertices + 4 * quads, quadColours + 4 * quads, projection, x, y, h,
                        depthOf(quadDrawing), quadColour);
                ++quads;
            }
            if (showVelocity) {
                const float ex = static_cast<float>(static_cast<double>(u[cell]) * cellSize * 10.0);
                const float ey = static_cast<float>(static_cast<double>(v[cell]) * cellSize * 10.0);
                const float z = depthOf(k++);
                lineVertices[2 * lines] = projection.clip(x, y, 0.0f, 0.0f, z);
                lineVertices[2 * lines + 1] = projection.clip(x, y, ex, ey, z);
                lineColours[2 * lines] = lineColours[2 * lines + 1] = Colour{1.0f, 0.0f, 0.0f};
                ++lines;
            }
            if (showGrid) {
                putQuad(outlineVertices + 4 * outlines, outlineColours + 4 * outlines, projection, x, y, h,
                        depthOf(k++), Colour{0.0f, 1.0f, 0.0f});
                ++outlines;
            }
        }
    }

    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);

    drawArray(GL_QUADS, quadVertices, quadColours, 4 * quads);
    drawArray(GL_LINES, lineVertices, lineColours, 2 * lines);
    glPolygonMode(GL_FRONT, GL_LINE);
    drawArray(GL_QUADS, outlineVertices, outlineColours, 4 * outlines);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
}
