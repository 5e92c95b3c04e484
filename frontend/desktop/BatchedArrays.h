// BatchedArrays.h - the vertex array draws of the batched drawing: one array
// of quads or lines, and every cell's grid outline. The vertices come from
// the shared geometry (CellGeometry.h).
#pragma once

#include <GL/gl.h>

#include "CellGeometry.h"

// One vertex array draw; colours have three components of colourType.
void drawArray(GLenum mode, const Vertex* v, const void* colours, GLenum colourType, int count);

// Every interior cell's green outline at its grid slot's depth, as lines.
// Needs the vertex and colour arrays enabled; leaves polygons filled.
void drawAllOutlines(const Projection& p, float h);
