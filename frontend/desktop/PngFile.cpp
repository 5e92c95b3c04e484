// PngFile.cpp - a frame to a PNG file through libpng's simplified interface.
#include "PngFile.h"

#include <png.h>

#include <cstring>

bool writePngFile(const std::string& path, int width, int height, const unsigned char* rgb, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // A negative row stride walks the rows from the last one: GL's bottom-up
    // rows come out top row first.
    const png_int_32 rowStride = -3 * width;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb, rowStride, nullptr)) return true;
    error = path + ": cannot write the PNG image: " + image.message;
    png_image_free(&image);
    return false;
}
