// Writes the bundled demo animation, velarium-demo.anim.
//
// The committed file is this program's output. To regenerate it after a
// change here, build the target and run it from the repository's top folder:
//
//     cmake --build build --target velarium-make-demo
//     build/demo/velarium-make-demo demo/velarium-demo.anim
//
// The animation: 320 × 200, 5 bitplanes, 32 colours, 36 frames of 6/60 s
// (10 frames a second, 3.6 s, looping). Every frame is a complete picture: a
// ByteRun1-packed BODY with its own CMAP, whose sky and field colours rotate
// one step a frame, and an ANHD giving its display time.
#include <cstdio>
#include <vector>

#include "core/ANIMBitmapHeader.h"
#include "demo/DemoScene.h"
#include "demo/ILBMWriter.h"

namespace velarium::demo {
namespace {

constexpr int kFrameCount = 36;
constexpr std::uint32_t kTicksPerFrame = 6;   // 1/60 s each
constexpr std::uint8_t kFramesPerSecond = 10; // the same speed for players that read DPAN
constexpr std::uint8_t kLoresXAspect = 10;    // pixel shape of a 320 × 200 display
constexpr std::uint8_t kLoresYAspect = 11;
constexpr std::uint32_t kDisplayModeLores = 0; // no HAM, no Extra Half-Brite

ANIMBitmapHeader demoBitmapHeader() {
    ANIMBitmapHeader header;
    header.width = SceneSize::kWidth;
    header.height = SceneSize::kHeight;
    header.numPlanes = SceneSize::kPlanes;
    header.masking = 0;
    header.compression = kCompressionByteRun1;
    header.xAspect = kLoresXAspect;
    header.yAspect = kLoresYAspect;
    header.pageWidth = SceneSize::kWidth;
    header.pageHeight = SceneSize::kHeight;
    return header;
}

Bytes encodeDisplayMode(std::uint32_t mode) {
    return Bytes{static_cast<std::uint8_t>(mode >> 24), static_cast<std::uint8_t>(mode >> 16),
                 static_cast<std::uint8_t>(mode >> 8), static_cast<std::uint8_t>(mode)};
}

Bytes makeDemoAnimation() {
    const ANIMBitmapHeader header = demoBitmapHeader();
    const PlanarGeometry geometry(header.width, header.height, header.numPlanes);
    const DemoScene scene(kFrameCount);
    AnimationHeader timing;
    timing.relTime = kTicksPerFrame;

    std::vector<Bytes> frames;
    for (int frame = 0; frame < kFrameCount; ++frame) {
        std::vector<Bytes> chunks;
        if (frame == 0) {
            chunks.push_back(makeChunk("BMHD", encodeBitmapHeader(header)));
            chunks.push_back(makeChunk("CAMG", encodeDisplayMode(kDisplayModeLores)));
            chunks.push_back(makeChunk("DPAN", encodeDPAN(kFrameCount, kFramesPerSecond)));
        }
        chunks.push_back(makeChunk("ANHD", encodeAnimationHeader(timing)));
        chunks.push_back(makeChunk("CMAP", encodeColorMap(scene.paletteForFrame(frame))));
        chunks.push_back(makeChunk("BODY", packBody(chunkyToPlanar(scene.drawFrame(frame), geometry).data(), geometry)));
        frames.push_back(makeForm("ILBM", chunks));
    }
    return makeForm("ANIM", frames);
}

}  // namespace
}  // namespace velarium::demo

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "velarium-demo.anim";
    const velarium::Bytes animation = velarium::demo::makeDemoAnimation();
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::perror(path);
        return 1;
    }
    const bool written = std::fwrite(animation.data(), 1, animation.size(), file) == animation.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, animation.size());
    return 0;
}
