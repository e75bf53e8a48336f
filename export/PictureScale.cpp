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
    if (xAspect >= yAspect) return {static_cast<unsigned>(std::max(1.0, std::round(double(xAspect) / yAspect))), 1};
    return {1, static_cast<unsigned>(std::max(1.0, std::round(double(yAspect) / xAspect)))};
}

}  // namespace

ScaleFactors scaleFactors(const ExportOptions& options, std::uint64_t width, std::uint64_t height) {
    const ScaleFactors aspect = options.correctAspect ? aspectFactors(options.xAspect, options.yAspect) : ScaleFactors{};
    unsigned scale = options.scale;
    if (scale == 0) {
        scale = 1;
        if (isVideo(options.format) && width > 0 && height > 0) {
            scale = static_cast<unsigned>(std::max<std::uint64_t>(
                1, std::min(kVideoMaxWidth / (width * aspect.x), kVideoMaxHeight / (height * aspect.y))));
            // Video stores colour once per 2×2 block: at an even scale every
            // block lies inside one picture pixel, so neighbouring pixels of
            // different colours never share one.
            if (scale > 2) scale &= ~1u;
        }
    }
    return {aspect.x * scale, aspect.y * scale};
}

namespace {

// BGRA to RGBA in one word: blue and red change places, alpha is 0 or 255.
inline std::uint32_t swapToRGBA(std::uint32_t bgra) {
    const std::uint32_t alpha = (bgra >> 24) ? 0xFF000000u : 0;
    return alpha | (bgra & 0x0000FF00u) | ((bgra >> 16) & 0xFFu) | ((bgra & 0xFFu) << 16);
}

}  // namespace

void scaleToRGBA(const std::uint8_t* bgra, std::uint64_t bytesPerRow, std::uint64_t width, std::uint64_t height,
                 ScaleFactors factors, Picture& picture) {
    picture.width = width * factors.x;
    picture.height = height * factors.y;
    const std::uint64_t outRowBytes = picture.width * kBytesPerPixel;
    picture.rgba.resize(outRowBytes * picture.height);
    std::uint8_t* out = picture.rgba.data();
    if (factors.x == 1 && factors.y == 1) {
        // The common case as flat loops, which the compiler vectorises.
        for (std::uint64_t y = 0; y < height; ++y, bgra += bytesPerRow, out += outRowBytes)
            for (std::uint64_t x = 0; x < width; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, bgra + x * kBytesPerPixel, kBytesPerPixel);
                pixel = swapToRGBA(pixel);
                std::memcpy(out + x * kBytesPerPixel, &pixel, kBytesPerPixel);
            }
        return;
    }
    for (std::uint64_t y = 0; y < height; ++y) {
        const std::uint8_t* in = bgra + y * bytesPerRow;
        std::uint8_t* row = out;
        for (std::uint64_t x = 0; x < width; ++x, in += kBytesPerPixel) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in, kBytesPerPixel);
            pixel = swapToRGBA(pixel);
            for (unsigned i = 0; i < factors.x; ++i, row += kBytesPerPixel) std::memcpy(row, &pixel, kBytesPerPixel);
        }
        // The rows below repeat the one just made.
        for (unsigned i = 1; i < factors.y; ++i) std::memcpy(out + i * outRowBytes, out, outRowBytes);
        out += factors.y * outRowBytes;
    }
}

}  // namespace velarium::exporter
