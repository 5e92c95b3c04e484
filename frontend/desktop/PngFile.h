// PngFile.h - writing a frame as a PNG image (libpng).
#pragma once

#include <string>

// `rgb` holds width * height pixels of 3 bytes, rows from the bottom up as GL
// reads them; the image is written top row first. False with a message.
bool writePngFile(const std::string& path, int width, int height, const unsigned char* rgb, std::string& error);
