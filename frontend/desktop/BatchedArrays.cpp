// BatchedArrays.cpp - quads and outlines drawn as vertex arrays.
#include "BatchedArrays.h"

#include "FieldPicture.h"

namespace {

Vertex outlineVertices[4 * N * N];
Colour outlineColours[4 * N * N];

}  // namespace

void drawArray(GLenum mode, const Vertex* v, const void* colours, GLenum colourType, int count) {
    if (count == 0) return;
    glVertexPointer(3, GL_FLOAT, 0, v);
    glColorPointer(3, colourType, 0, colours);
    glDrawArrays(mode, 0, count);
}

void drawAllOutlines(const Projection& p, float h) {
    int outlines = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++outlines) {
            putQuad(outlineVertices + 4 * outlines, p, cellCentre(j), cellCentre(i), h, slotClipZ(i, j, gridDrawing));
            for (int k = 0; k < 4; ++k) outlineColours[4 * outlines + k] = asFloats(gridColour);
        }
    glPolygonMode(GL_FRONT, GL_LINE);
    drawArray(GL_QUADS, outlineVertices, outlineColours, GL_FLOAT, 4 * outlines);
    glPolygonMode(GL_FRONT, GL_FILL);
}
