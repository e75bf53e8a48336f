#pragma once

// The demo animation's picture: a rainbow sky and a striped field whose
// colours cycle, with three shaded balls bouncing across them.

#include <cstdint>
#include <vector>

#include "core/PlanarBitmap.h"
#include "platform/foundation/Bytes.h"

namespace velarium::demo {

struct SceneSize {
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 200;
    static constexpr int kPlanes = 5;
    static constexpr int kColors = 1 << kPlanes;
};

// One register index per pixel, row by row.
using ChunkyPicture = std::vector<std::uint8_t>;

class DemoScene {
public:
    // The animation loops: frame `frameCount` would equal frame 0.
    explicit DemoScene(int frameCount) : frameCount_(frameCount) {}

    ChunkyPicture drawFrame(int frame) const;
    // The 32 colours of a frame as 0xRRGGBB; the sky and field ranges rotate by one step a frame.
    std::vector<std::uint32_t> paletteForFrame(int frame) const;

private:
    int frameCount_;
};

// Packs register indices into bitplanes: plane p holds bit p of each pixel.
Bytes chunkyToPlanar(const ChunkyPicture& picture, const PlanarGeometry& geometry);

}  // namespace velarium::demo
