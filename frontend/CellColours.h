// CellColours.h - the colour of every interior cell's quad as one RGBA array,
// the shape a texture of the grid takes. No GL here: any drawing that shows
// the cells as a texture can fill it the same way.
#pragma once

#include "Fluid.h"

// One entry per interior cell, row by row from the bottom: cell (i, j) at
// (i - 1) * N + (j - 1), so that the array is an N x N image whose first
// row is the lowest on screen.
constexpr int cellColourCount = N * N;
inline int cellColourIndex(int i, int j) { return (i - 1) * N + (j - 1); }

// Red, green and blue of the quad a cell draws (the later of its obstacle
// and density quads under the current views), clamped to 0..1 as the GL
// clamps a colour, and alpha 1; all zero where the cell draws no quad.
void fillCellColours(float (*rgba)[4]);
