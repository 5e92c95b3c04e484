// CellTexturePass.h - the cell quads and the grid outlines of a batched frame
// in one full-window pass of a small fragment program.
#pragma once

#include "CellGeometry.h"

// Draws the quads whose colours rgba holds (laid out as in CellColours.h)
// when quads is set, and the grid outlines when outlines is set, each pixel
// taking the colour and depth of the latest of them in the per-cell order;
// pixels neither covers keep their colour and depth. Expects identity
// matrices and a cleared depth buffer. False, having drawn nothing, where
// the GL offers no fragment programs or the window is too large for its
// textures: the caller then draws them as arrays.
bool drawCellTexturePass(const float (*rgba)[4], bool quads, bool outlines, const Projection& p, float h);

// The outline depths are read back from the drawable; a reshape may come
// before the drawable has its new size (a replayed size change), so every
// reshape has them made again.
void forgetWindowSizedImages();
