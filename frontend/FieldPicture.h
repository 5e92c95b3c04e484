// FieldPicture.h - what the drawings and the console dump show of the fields,
// worked out in one place: the per-cell drawing, the batched drawing and the
// dump all call these. They are inline: the drawings call them for every
// cell of every frame.
#pragma once

#include "FrontEndState.h"
#include "Fluid.h"

struct Colour {
    float r, g, b;
};

// Centre of the cells with index k (i or j) along their screen axis, in
// pixels: k * cellSize + cellSize / 2, formed in double precision.
inline float cellCentre(int index) {
    return static_cast<float>(index * static_cast<double>(cellSize) + cellSize / 2.0);
}

// Half the edge of a drawn cell, cellSize / 2: the cell quad reaches this far
// from the centre on every side.
inline float cellHalfEdge() { return static_cast<float>(cellSize / 2.0); }

// A cell's density colour: blue below 0.33, green below 0.66, red from there
// on, with the density itself as the intensity. The bands compare the
// density widened to double with double constants, so a density stored as
// 0.33 or 0.66 (just above those constants) takes the higher band.
inline Colour densityColour(float d) {
    const double value = d;
    if (value < 0.33) return Colour{0.0f, 0.0f, d};
    if (value < 0.66) return Colour{0.0f, d, 0.0f};
    return Colour{d, 0.0f, 0.0f};
}

// The far end of a cell's velocity line, relative to the cell's centre:
// (u, v) * cellSize * 10, formed in double precision.
struct LineEnd {
    float x, y;
};
inline LineEnd velocityLineEnd(int cell) {
    return LineEnd{static_cast<float>(static_cast<double>(u[cell]) * cellSize * 10.0),
                   static_cast<float>(static_cast<double>(v[cell]) * cellSize * 10.0)};
}

// The interior density summed in single precision after every addition,
// rows from the top (i = N down to 1), j increasing within a row: the order
// fixes the result bit for bit.
inline float sumInteriorDensity() {
    float total = 0.0f;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) total = total + dens[IX(i, j)];
    return total;
}
