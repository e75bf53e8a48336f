// PNG output through libpng's simplified writing interface, which takes the
// frame's BGRA bytes as they are and stores them as RGBA.
#include "tools/velarium-tool/PNGWriter.h"

#include <cstring>
#include <limits>
#include <png.h>

#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

constexpr std::uint64_t kBytesPerPixel = 4;

}  // namespace

bool writePNG(const std::string& path, const std::uint8_t* bgra, std::uint64_t bytesPerRow, std::uint64_t width,
              std::uint64_t height, Error* error) {
    if (width == 0 || height == 0 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX ||
        bytesPerRow < width * kBytesPerPixel ||
        bytesPerRow > static_cast<std::uint64_t>(std::numeric_limits<png_int_32>::max()))
        return fail(error, toolError(kToolErrorCannotWrite, "A PNG cannot hold a picture of this size"));

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGRA;
    // libpng counts the stride in components, here bytes.
    const auto rowStride = static_cast<png_int_32>(bytesPerRow);
    if (!png_image_write_to_file(&image, path.c_str(), 0, bgra, rowStride, nullptr)) {
        std::string message = "Cannot write " + path + ": " + image.message;
        png_image_free(&image);
        return fail(error, toolError(kToolErrorCannotWrite, std::move(message)));
    }
    return true;
}

}  // namespace velarium::tool
