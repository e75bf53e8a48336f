#pragma once

// Reads a PNG back with libpng, to check what velarium-tool wrote.

#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace velarium::testing {

struct DecodedPNG {
    bool ok = false;
    std::string message;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool storedAsRGBA = false;  // 8-bit RGBA in the file itself
    std::vector<std::uint8_t> rgba;
};

inline DecodedPNG readPNG(const std::string& path) {
    DecodedPNG result;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        result.message = image.message;
        return result;
    }
    result.width = image.width;
    result.height = image.height;
    result.storedAsRGBA = image.format == PNG_FORMAT_RGBA;
    image.format = PNG_FORMAT_RGBA;
    result.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, result.rgba.data(), 0, nullptr)) {
        result.message = image.message;
        png_image_free(&image);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace velarium::testing
