// Palette.cpp - the smooth palettes: tables of 256 colours made once from a
// few anchor colours by linear interpolation in single precision, so that
// every build makes the same bytes, and a density's place in them.
#include "Palette.h"

#include <array>

#include "FieldPicture.h"

const char* const paletteNames[paletteCount] = {"bands", "ember", "ice"};
int palette = 0;

namespace {

constexpr int rampSize = 256;
constexpr int anchorCount = 6;
using Anchors = ColourBytes[anchorCount];

// Evenly spaced along the ramp; each ramp darkest first and lightest last.
constexpr Anchors emberAnchors = {{0, 0, 4}, {66, 10, 104}, {147, 38, 103}, {221, 81, 58}, {252, 165, 10}, {252, 255, 164}};
constexpr Anchors iceAnchors = {{0, 0, 8}, {12, 30, 92}, {30, 86, 160}, {34, 148, 190}, {110, 205, 210}, {235, 250, 245}};

using Ramp = std::array<Colour, rampSize>;

constexpr Ramp makeRamp(const Anchors& anchors) {
    Ramp ramp{};
    for (int k = 0; k < rampSize; ++k) {
        const float position = static_cast<float>(k) * (anchorCount - 1) / (rampSize - 1);
        int below = static_cast<int>(position);
        if (below > anchorCount - 2) below = anchorCount - 2;
        const float w = position - static_cast<float>(below);
        const ColourBytes a = anchors[below], b = anchors[below + 1];
        ramp[k] = Colour{(a.r + (b.r - a.r) * w) / 255.0f, (a.g + (b.g - a.g) * w) / 255.0f,
                         (a.b + (b.b - a.b) * w) / 255.0f};
    }
    return ramp;
}

const Ramp ramps[paletteCount - 1] = {makeRamp(emberAnchors), makeRamp(iceAnchors)};

}  // namespace

// The density's place on the ramp, d / (d + 1/2): half way at 0.5, most of
// it below the densities a click leaves. Infinity takes the last colour.
Colour rampColour(int index, float d) {
    const Ramp& ramp = ramps[index - 1];
    const double value = d;
    if (!(value < 1e30)) return ramp[rampSize - 1];
    const int k = static_cast<int>(value / (value + 0.5) * rampSize);
    return ramp[k < rampSize ? k : rampSize - 1];
}

int paletteIndex(const std::string& name) {
    for (int k = 0; k < paletteCount; ++k)
        if (name == paletteNames[k]) return k;
    return -1;
}

std::string paletteNameList() {
    std::string list;
    for (int k = 0; k < paletteCount; ++k) list += (k ? "|" : "") + std::string(paletteNames[k]);
    return list;
}
