// libFuzzer target: parses the input as an ANIM file and delivers its frames
// in order as a player would, then steps back once, which replays from the
// start. Frames × pixels are capped so that every input stays quick.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/ANIMParser.h"

static constexpr std::uint64_t kMaxPixelsDelivered = std::uint64_t(1) << 22;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velarium;
    ANIMParser parser(makeSharedBytes(data, size));
    if (!parser.parseWithError(nullptr)) return 0;

    const std::uint64_t pixels = std::max<std::uint64_t>(parser.width() * parser.height(), 1);
    const std::uint64_t frames = std::min(parser.numFrames(), kMaxPixelsDelivered / pixels);
    Bytes picture(parser.width() * parser.height() * 4);
    for (std::uint64_t i = 0; i < frames; ++i) parser.decodeFrameAtIndex(i, picture, nullptr);
    if (frames > 1) parser.decodeFrameAtIndex(frames / 2, picture, nullptr);
    return 0;
}
