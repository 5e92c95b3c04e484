// FieldPicture.cpp - see FieldPicture.h.
#include "FieldPicture.h"

#include "FrontEnd.h"
#include "Fluid.h"

float cellCentre(int index) { return static_cast<float>(index * static_cast<double>(cellSize) + cellSize / 2.0); }

float cellHalfEdge() { return static_cast<float>(cellSize / 2.0); }

Colour densityColour(float d) {
    const double value = d;
    if (value < 0.33) return Colour{0.0f, 0.0f, d};
    if (value < 0.66) return Colour{0.0f, d, 0.0f};
    return Colour{d, 0.0f, 0.0f};
}

LineEnd velocityLineEnd(int cell) {
    return LineEnd{static_cast<float>(static_cast<double>(u[cell]) * cellSize * 10.0),
                   static_cast<float>(static_cast<double>(v[cell]) * cellSize * 10.0)};
}

float sumInteriorDensity() {
    float total = 0.0f;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) total = total + dens[IX(i, j)];
    return total;
}
