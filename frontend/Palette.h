// Palette.h - the palettes the density can be drawn in, by name. "bands" is
// the program's own picture and the default (FieldPicture.h); the others are
// smooth ramps ordered from dark to light (Palette.cpp).
#pragma once

#include <string>

constexpr int paletteCount = 3;
extern const char* const paletteNames[paletteCount];  // "bands" first

// The index of the palette named `name`, or -1.
int paletteIndex(const std::string& name);
// "bands|ember|ice", as the usage and messages list them.
std::string paletteNameList();
