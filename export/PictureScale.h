#pragma once

#include <cstdint>

#include "export/AnimationEncoder.h"
#include "export/Exporter.h"

namespace velarium::exporter {

// How many output pixels each source pixel becomes, across and down.
struct ScaleFactors {
    unsigned x = 1;
    unsigned y = 1;
};

// The largest side a scaled picture may have.
inline constexpr std::uint64_t kMaxPictureSide = 65535;

// The factors the options ask for on a width × height picture whose pixel
// aspect is xAspect:yAspect (0 when unknown): the scale on both axes, times
// the smallest whole factor per axis that corrects the aspect when asked
// (xAspect:yAspect is a pixel's width to its height, as the window's Correct
// Pixel Aspect reads it: hires 5:11 doubles the height, lores-interlaced
// 20:11 doubles the width, 10:11 is left as it is). Video without a scale
// gets the largest even scale that fits 1920×1080 (or 1 when 2 does not
// fit), so that no 2×2 colour block of the video straddles two pixels.
ScaleFactors scaleFactors(const ExportOptions& options, std::uint64_t width, std::uint64_t height);

// BGRA rows (bytesPerRow apart, width × 4 bytes used) to a Picture in
// RGBA, each pixel repeated factors.x times across and factors.y times down.
// Alpha becomes 0 where the decoder made it 0 (the transparent colour), else 255.
void scaleToRGBA(const std::uint8_t* bgra, std::uint64_t bytesPerRow, std::uint64_t width, std::uint64_t height,
                 ScaleFactors factors, Picture& picture);

}  // namespace velarium::exporter
