// BatchedDrawing.cpp - the per-cell picture drawn with a handful of GL calls.
//
// The per-cell drawing (CellDrawing.cpp) makes up to four drawings for every
// cell, each placing a quad or a line with its own matrix push, translate and
// pop: tens of thousands of tiny draws, which software GL renders at a few
// frames per second. This path produces the same pixels:
//
// - Order. In the per-cell drawing a later drawing paints over an earlier
//   one. Here every drawing has a fixed slot in that order (four per cell)
//   and a depth that falls with the slot; the depth test keeps the latest
//   drawing at every pixel, whatever order the batches are drawn in.
// - Quads. The obstacle quad and the density quad of a cell cover the same
//   pixels, so only the later one counts, and quads of different cells never
//   share a pixel. Which cell's quad covers which pixel depends only on the
//   window size: it is rendered once (each quad in a colour that encodes its
//   cell) and read back. Every frame then writes one colour image and one
//   depth image of the quads.
// - Grid outlines. They are all green and their positions depend only on the
//   window size, so the depth of the latest outline at every pixel is
//   rendered once and read back; every frame draws that depth image in green
//   against the depth test.
// - Velocity lines are drawn as one array of lines. Their vertices are
//   transformed on the host with exactly the single-precision operations the
//   GL applies to a translated vertex under the reshape projection (entries
//   of the combined matrix first, then a product and one sum per row) and
//   handed over in clip coordinates with identity matrices, so the GL
//   rasterises them from the same coordinates as the per-cell drawing does.
//
// Windows too large for the images fall back to drawing all quads and
// outlines as arrays with the same depths.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "FieldPicture.h"
#include "FrontEnd.h"
#include "Fluid.h"

namespace {

constexpr int cellsDrawn = N * N;
constexpr int slotCount = 4 * cellsDrawn;  // boundary, density, velocity, grid per cell
constexpr long long maxImagePixels = 4096LL * 4096LL;

enum DrawingKind { boundaryDrawing = 0, densityDrawing = 1, velocityDrawing = 2, gridDrawing = 3 };

struct Vertex {
    float x, y, z;
};

// Vertex arrays, sized for every cell drawing a quad, a line and an outline.
Vertex quadVertices[4 * cellsDrawn];
Colour quadColours[4 * cellsDrawn];
Vertex lineVertices[2 * cellsDrawn];
Colour lineColours[2 * cellsDrawn];
Vertex outlineVertices[4 * cellsDrawn];
Colour outlineColours[4 * cellsDrawn];

// Per-window-size images, rebuilt when the size or the cell size changes.
int imageWidth = -1, imageHeight = -1;
float imageCellSize = -1.0f;
std::vector<std::uint16_t> pixelCell;  // cell whose quad covers the pixel; 0 for none
std::vector<float> gridDepth;          // depth of the latest outline at the pixel; 1 for none
std::vector<float> quadRgba;           // per frame: quad colours
std::vector<float> quadDepth;          // per frame: quad depths

// Per frame: the quad each cell draws, if any.
float cellRgba[cellsPerField][4];
float cellDepth[cellsPerField];

// Window depth of a drawing: falls with its place in the per-cell order.
float slotDepth(int i, int j, DrawingKind kind) {
    const int slot = 4 * ((N - i) * N + (j - 1)) + kind;
    return static_cast<float>(slotCount - slot) / static_cast<float>(slotCount + 1);
}
// The clip z that the identity projection maps to that window depth.
float slotClipZ(int i, int j, DrawingKind kind) { return 2.0f * slotDepth(i, j, kind) - 1.0f; }

// The reshape projection times a translation to (tx, ty), applied to the
// vertex (vx, vy, 0) as the GL does it in single precision.
struct Projection {
    float scaleX, scaleY, offsetX, offsetY;

    Projection() {
        const float left = 0.0f, right = static_cast<float>(windowWidth);
        const float bottom = 0.0f, top = static_cast<float>(windowHeight);
        scaleX = 2.0f / (right - left);
        scaleY = 2.0f / (top - bottom);
        offsetX = -(right + left) / (right - left);
        offsetY = -(top + bottom) / (top - bottom);
    }
    Vertex clip(float tx, float ty, float vx, float vy, float z) const {
        const float mx = scaleX * tx + offsetX;  // translation column of the combined matrix
        const float my = scaleY * ty + offsetY;
        const float zero = 0.0f;
        float cx = scaleX * vx;
        cx = cx + zero * vy;
        cx = cx + mx;
        float cy = zero * vx;
        cy = cy + scaleY * vy;
        cy = cy + my;
        return Vertex{cx, cy, z};
    }
};

void putQuad(Vertex* v, const Projection& p, float tx, float ty, float h, float z) {
    // Counter-clockwise, as in the cell display list.
    v[0] = p.clip(tx, ty, -h, h, z);
    v[1] = p.clip(tx, ty, -h, -h, z);
    v[2] = p.clip(tx, ty, h, -h, z);
    v[3] = p.clip(tx, ty, h, h, z);
}

void drawArray(GLenum mode, const Vertex* v, const void* colours, GLenum colourType, int count) {
    if (count == 0) return;
    glVertexPointer(3, GL_FLOAT, 0, v);
    glColorPointer(3, colourType, 0, colours);
    glDrawArrays(mode, 0, count);
}

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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
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

// Outline quads of every interior cell, at their grid slots' depths.
int putAllOutlines(const Projection& p, float h) {
    int outlines = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++outlines) {
            putQuad(outlineVertices + 4 * outlines, p, cellCentre(j), cellCentre(i), h, slotClipZ(i, j, gridDrawing));
            for (int k = 0; k < 4; ++k) outlineColours[4 * outlines + k] = Colour{0.0f, 1.0f, 0.0f};
        }
    return outlines;
}

// Renders which cell covers each pixel and the depth of the latest outline at
// each pixel, for the current window size, and reads both back.
void buildImages(const Projection& p, float h) {
    const int w = windowWidth, ht = windowHeight;
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(ht);
    // New vectors rather than assign(), which keeps the capacity: the images
    // of a window that was larger give their memory back.
    pixelCell = std::vector<std::uint16_t>(pixels, 0);
    gridDepth = std::vector<float>(pixels, 1.0f);
    quadRgba = std::vector<float>(4 * pixels, 0.0f);
    quadDepth = std::vector<float>(pixels, 1.0f);

    // Cell ids as colours: exact in 8-bit channels, 0 (the clear colour) for none.
    static std::uint8_t idColours[4 * cellsDrawn][3];
    int quads = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++quads) {
            putQuad(quadVertices + 4 * quads, p, cellCentre(j), cellCentre(i), h, 0.0f);
            const int id = IX(i, j);
            for (int k = 0; k < 4; ++k) {
                idColours[4 * quads + k][0] = static_cast<std::uint8_t>(id & 0xff);
                idColours[4 * quads + k][1] = static_cast<std::uint8_t>(id >> 8);
                idColours[4 * quads + k][2] = 0;
            }
        }
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    drawArray(GL_QUADS, quadVertices, idColours, GL_UNSIGNED_BYTE, 4 * quads);
    std::vector<std::uint8_t> ids(4 * pixels);
    glReadPixels(0, 0, w, ht, GL_RGBA, GL_UNSIGNED_BYTE, ids.data());
    for (std::size_t k = 0; k < pixels; ++k) pixelCell[k] = static_cast<std::uint16_t>(ids[4 * k] | ids[4 * k + 1] << 8);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glClear(GL_DEPTH_BUFFER_BIT);
    glPolygonMode(GL_FRONT, GL_LINE);
    drawArray(GL_QUADS, outlineVertices, outlineColours, GL_FLOAT, 4 * putAllOutlines(p, h));
    glPolygonMode(GL_FRONT, GL_FILL);
    glReadPixels(0, 0, w, ht, GL_DEPTH_COMPONENT, GL_FLOAT, gridDepth.data());

    // Leave the buffers as the frame found them: cleared.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    imageWidth = w;
    imageHeight = ht;
    imageCellSize = cellSize;
}

// Gives the images' memory back while a window size has none.
void releaseImages() {
    for (auto* image : {&gridDepth, &quadRgba, &quadDepth}) std::vector<float>().swap(*image);
    std::vector<std::uint16_t>().swap(pixelCell);
    imageWidth = imageHeight = -1;
}

// The quad each cell draws this frame (the later of obstacle and density).
bool collectCellQuads() {
    bool any = false;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const int cell = IX(i, j);
            cellDepth[cell] = 1.0f;
            Colour c{0.0f, 0.0f, 0.0f};
            if (showBoundary) {
                c = boundary[cell] == 1 ? Colour{0.0f, 0.0f, 1.0f} : Colour{0.0f, 0.0f, 0.0f};
                cellDepth[cell] = slotDepth(i, j, boundaryDrawing);
            }
            if (showDensity && static_cast<double>(dens[cell]) > 0.0) {
                c = densityColour(dens[cell]);
                cellDepth[cell] = slotDepth(i, j, densityDrawing);
            }
            cellRgba[cell][0] = c.r;
            cellRgba[cell][1] = c.g;
            cellRgba[cell][2] = c.b;
            cellRgba[cell][3] = 1.0f;
            any = any || cellDepth[cell] < 1.0f;
        }
    return any;
}

void drawQuadImages() {
    const std::size_t pixels = pixelCell.size();
    for (std::size_t k = 0; k < pixels; ++k) {
        const int cell = pixelCell[k];
        float* rgba = &quadRgba[4 * k];
        if (cell && cellDepth[cell] < 1.0f) {
            rgba[0] = cellRgba[cell][0];
            rgba[1] = cellRgba[cell][1];
            rgba[2] = cellRgba[cell][2];
            quadDepth[k] = cellDepth[cell];
        } else {
            rgba[0] = rgba[1] = rgba[2] = 0.0f;  // the clear colour
            quadDepth[k] = 1.0f;
        }
        rgba[3] = 1.0f;
    }
    glDisable(GL_DEPTH_TEST);
    glWindowPos2i(0, 0);
    glDrawPixels(imageWidth, imageHeight, GL_RGBA, GL_FLOAT, quadRgba.data());
    // Depths only: with the test set to always pass, the colours stay.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDrawPixels(imageWidth, imageHeight, GL_DEPTH_COMPONENT, GL_FLOAT, quadDepth.data());
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void drawQuadArrays(const Projection& p, float h) {
    int quads = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) {
            const int cell = IX(i, j);
            if (cellDepth[cell] >= 1.0f) continue;
            putQuad(quadVertices + 4 * quads, p, cellCentre(j), cellCentre(i), h, 2.0f * cellDepth[cell] - 1.0f);
            const Colour c{cellRgba[cell][0], cellRgba[cell][1], cellRgba[cell][2]};
            for (int k = 0; k < 4; ++k) quadColours[4 * quads + k] = c;
            ++quads;
        }
    drawArray(GL_QUADS, quadVertices, quadColours, GL_FLOAT, 4 * quads);
}

void drawVelocityLines(const Projection& p) {
    int lines = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++lines) {
            const int cell = IX(i, j);
            const LineEnd end = velocityLineEnd(cell);
            const float z = slotClipZ(i, j, velocityDrawing);
            lineVertices[2 * lines] = p.clip(cellCentre(j), cellCentre(i), 0.0f, 0.0f, z);
            lineVertices[2 * lines + 1] = p.clip(cellCentre(j), cellCentre(i), end.x, end.y, z);
            lineColours[2 * lines] = lineColours[2 * lines + 1] = Colour{1.0f, 0.0f, 0.0f};
        }
    drawArray(GL_LINES, lineVertices, lineColours, GL_FLOAT, 2 * lines);
}

}  // namespace

void forgetWindowSizedImages() { imageWidth = imageHeight = -1; }

std::size_t batchedImageBytes() {
    return pixelCell.capacity() * sizeof pixelCell[0] + gridDepth.capacity() * sizeof gridDepth[0] +
           quadRgba.capacity() * sizeof quadRgba[0] + quadDepth.capacity() * sizeof quadDepth[0];
}

void drawFieldBatched() {
    if (!showBoundary && !showDensity && !showVelocity && !showGrid) return;
    const Projection projection;
    const float h = cellHalfEdge();  // as in the cell list
    const long long pixels = static_cast<long long>(windowWidth) * windowHeight;
    const bool useImages = windowWidth > 0 && windowHeight > 0 && pixels <= maxImagePixels;

    beginBatch();
    if (useImages && (windowWidth != imageWidth || windowHeight != imageHeight || cellSize != imageCellSize))
        buildImages(projection, h);
    if (!useImages) releaseImages();

    if ((showBoundary || showDensity) && collectCellQuads()) {
        if (useImages)
            drawQuadImages();
        else
            drawQuadArrays(projection, h);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    if (showVelocity) drawVelocityLines(projection);
    if (showGrid) {
        if (useImages) {
            glDisableClientState(GL_COLOR_ARRAY);
            glColor3f(0.0f, 1.0f, 0.0f);
            glWindowPos2i(0, 0);  // also takes the current colour as the raster colour
            glDrawPixels(imageWidth, imageHeight, GL_DEPTH_COMPONENT, GL_FLOAT, gridDepth.data());
        } else {
            glPolygonMode(GL_FRONT, GL_LINE);
            drawArray(GL_QUADS, outlineVertices, outlineColours, GL_FLOAT, 4 * putAllOutlines(projection, h));
        }
    }
    endBatch();
}
