// Nearest-neighbour integer scaling, with the BGRA to RGBA swap on the way.
#include "export/PictureScale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velarium::exporter {
namespace {

constexpr std::uint64_t kVideoMaxWidth = 1920;
constexpr std::uint64_t kVideoMaxHeight = 1080;
constexpr std::uint64_t kBytesPerPixel = 4;

// The whole factor closest to how many times wider (or taller) a pixel is.
ScaleFactors aspectFactors(unsigned xAspect, unsigned yAspect) {
    if (xAspect == 0 || yAspect == 0) return {};
    if (xAspect >= yAspect) return {1, static_cast<unsigned>(std::max(1.0, std::round(double(xAspect) / yAspect)))};
    return {static_cast<unsigned>(std::max(1.0, std::round(double(yAspect) / xAspect))), 1};
}

}  // namespace

ScaleFactors scaleFactors(const ExportOptions& options, std::uint64_t width, std::uint64_t height) {
    const ScaleFactors aspect = options.correctAspect ? aspectFactors(options.xAspect, options.yAspect) : ScaleFactors{};
    unsigned scale = options.scale;
    if (scale == 0) {
        scale = 1;
        if (isVideo(options.format) && width > 0 && height > 0)
            scale = static_cast<unsigned>(std::max<std::uint64_t>(
                1, std::min(kVideoMaxWidth / (width * aspect.x), kVideoMaxHeight / (height * aspect.y))));
    }
    return {aspect.x * scale, aspect.y * scale};
}

void scaleToRGBA(const std::uint8_t* bgra, std::uint64_t width, std::uint64_t height, ScaleFactors factors,
                 Picture& picture) {
    picture.width = width * factors.x;
    picture.height = height * factors.y;
    const std::uint64_t outRowBytes = picture.width * kBytesPerPixel;
    picture.rgba.resize(outRowBytes * picture.height);
    std::uint8_t* out = picture.rgba.data();
    for (std::uint64_t y = 0; y < height; ++y) {
        const std::uint8_t* in = bgra + y * width * kBytesPerPixel;
        std::uint8_t* row = out;
        for (std::uint64_t x = 0; x < width; ++x, in += kBytesPerPixel) {
            const std::uint8_t pixel[4] = {in[2], in[1], in[0], std::uint8_t(in[3] ? 255 : 0)};
            for (unsigned i = 0; i < factors.x; ++i, row += kBytesPerPixel) std::memcpy(row, pixel, kBytesPerPixel);
        }
        // The rows below repeat the one just made.
        for (unsigned i = 1; i < factors.y; ++i) std::memcpy(out + i * outRowBytes, out, outRowBytes);
        out += factors.y * outRowBytes;
    }
}

}  // namespace velarium::exporter
