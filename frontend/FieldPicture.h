// FieldPicture.h - what the drawings and the console dump show of the fields,
// worked out in one place: the per-cell drawing, the batched drawing and the
// dump all call these.
#pragma once

struct Colour {
    float r, g, b;
};

// Centre of the cells with index k (i or j) along their screen axis, in
// pixels: k * cellSize + cellSize / 2, formed in double precision.
float cellCentre(int index);

// Half the edge of a drawn cell, cellSize / 2: the cell quad reaches this far
// from the centre on every side.
float cellHalfEdge();

// A cell's density colour: blue below 0.33, green below 0.66, red from there
// on, with the density itself as the intensity. The bands compare the
// density widened to double with double constants, so a density stored as
// 0.33 or 0.66 (just above those constants) takes the higher band.
Colour densityColour(float d);

// The far end of a cell's velocity line, relative to the cell's centre:
// (u, v) * cellSize * 10, formed in double precision.
struct LineEnd {
    float x, y;
};
LineEnd velocityLineEnd(int cell);

// The interior density summed in single precision after every addition,
// rows from the top (i = N down to 1), j increasing within a row: the order
// fixes the result bit for bit.
float sumInteriorDensity();
