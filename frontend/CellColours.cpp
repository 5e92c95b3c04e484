// CellColours.cpp - the cells' quad colours for the current fields and views.
#include "CellColours.h"

#include <algorithm>

#include "FieldPicture.h"

namespace {

float unitClamped(float c) { return std::min(std::max(c, 0.0f), 1.0f); }

}  // namespace

void fillCellColours(float (*rgba)[4]) {
    for (int i = 1; i <= N; ++i)
        for (int j = 1; j <= N; ++j) {
            const int cell = IX(i, j);
            bool drawn = false;
            Colour c{0.0f, 0.0f, 0.0f};
            if (drawsObstacleQuad()) {
                c = asFloats(obstacleQuadColour(cell));
                drawn = true;
            }
            if (drawsDensityQuad(cell)) {
                c = densityColour(dens[cell]);
                drawn = true;
            }
            float* out = rgba[cellColourIndex(i, j)];
            out[0] = unitClamped(c.r);
            out[1] = unitClamped(c.g);
            out[2] = unitClamped(c.b);
            out[3] = drawn ? 1.0f : 0.0f;
        }
}
