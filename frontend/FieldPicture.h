// FieldPicture.h - what the drawings show of the fields, worked out in one
// place: the colours, which quads a cell draws and in which colour, and the
// velocity lines. The per-cell drawing, the batched drawing, the page's
// drawing and the cell colour texture all call these. They are inline: the
// drawings call them for every cell of every frame. Where the cells lie on
// the screen is CellGeometry.h's.
#pragma once

#include "FrontEndState.h"
#include "Fluid.h"

struct Colour {
    float r, g, b;
};

// The fixed colours, as the bytes the per-cell drawing hands the GL.
struct ColourBytes {
    unsigned char r, g, b;
};
constexpr ColourBytes obstacleColour{0, 0, 255};  // a solid cell, with the obstacle view on
constexpr ColourBytes fluidCellColour{0, 0, 0};   // a fluid cell, with the obstacle view on
constexpr ColourBytes velocityColour{255, 0, 0};  // the velocity lines
constexpr ColourBytes gridColour{0, 255, 0};      // the cell outlines

// The same colour as floats, exactly as the GL converts the bytes (0 and 1).
constexpr Colour asFloats(ColourBytes c) { return Colour{c.r / 255.0f, c.g / 255.0f, c.b / 255.0f}; }

// The palette in use (Palette.h): 0, the bands, at start.
extern int palette;

// The bands: blue below 0.33, green below 0.66, red from there on, with the
// density itself as the intensity. The bands compare the density widened to
// double with double constants, so a density stored as 0.33 or 0.66 (just
// above those constants) takes the higher band.
inline Colour bandColour(float d) {
    const double value = d;
    if (value < 0.33) return Colour{0.0f, 0.0f, d};
    if (value < 0.66) return Colour{0.0f, d, 0.0f};
    return Colour{d, 0.0f, 0.0f};
}

// A smooth palette's colour for a density greater than zero (Palette.cpp).
Colour rampColour(int palette, float d);

// A cell's density colour in the palette in use.
inline Colour densityColour(float d) { return palette == 0 ? bandColour(d) : rampColour(palette, d); }

// The two quads a cell may draw, the obstacle quad first: with the obstacle
// view on, every cell draws one, solid cells (exactly 1) in obstacleColour
// and every other value in fluidCellColour; with the density view on, a cell
// whose density is greater than zero (widened to double: zero, negative and
// NaN draw nothing) draws one in its density colour over it.
inline bool drawsObstacleQuad() { return showBoundary != 0; }
inline ColourBytes obstacleQuadColour(int cell) { return boundary[cell] == 1 ? obstacleColour : fluidCellColour; }
inline bool drawsDensityQuad(int cell) { return showDensity && static_cast<double>(dens[cell]) > 0.0; }

// The far end of a cell's velocity line, relative to the cell's centre:
// (u, v) * cellSize * 10, formed in double precision. u is drawn along the
// screen's x axis and v along y, as the mouse feeds them (Mouse.cpp), though
// the solver moves u along i, which runs up the screen.
struct LineEnd {
    float x, y;
};
inline LineEnd velocityLineEnd(int cell) {
    return LineEnd{static_cast<float>(static_cast<double>(u[cell]) * cellSize * 10.0),
                   static_cast<float>(static_cast<double>(v[cell]) * cellSize * 10.0)};
}
