#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ANIMParser.h"
#include "platform/coremedia/MediaTime.h"

namespace velarium::tool {

// How many frames use one kind of picture data: complete key frames, or
// deltas of one operation.
struct OperationUse {
    bool keyframe = false;
    std::uint8_t operation = 0;  // the ANHD operation of delta frames
    std::uint64_t frames = 0;
};

// Everything `info` reports about an animation, gathered from a parsed file.
struct AnimationFacts {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t planes = 0;
    std::uint8_t masking = 0;
    std::uint8_t compression = 0;
    std::uint32_t camg = 0;
    bool ham = false;
    bool ehb = false;
    std::uint8_t xAspect = 0;
    std::uint8_t yAspect = 0;

    std::uint64_t frameCount = 0;
    std::vector<OperationUse> operations;  // key frames first, then by operation
    std::uint64_t deltasFromPreviousFrame = 0;  // delta frames with interleave 1
    std::uint64_t deltasFromTwoFramesBack = 0;  // delta frames with interleave 0

    std::uint8_t dpanSpeed = 0;
    MediaTime firstFrameDuration;
    MediaTime totalDuration;

    std::uint64_t colorCount = 0;     // colours the display mode can show
    std::uint64_t baseRegisters = 0;  // palette registers behind them
    std::uint64_t cmapEntries = 0;    // colour registers in the first CMAP

    std::vector<ColourRange> colourRanges;  // of the first picture, in file order
};

AnimationFacts collectFacts(const ANIMParser& parser);

// Names of the values, for people.
std::string operationName(std::uint8_t operation);  // "Byte Vertical Delta (ANIM-5)"
std::string maskingName(std::uint8_t masking);
std::string compressionName(std::uint8_t compression);
std::string hamModeName(const AnimationFacts& facts);  // "off", "HAM6", "HAM8"
// A range's registers for people: "2-5" for a run, "2, 5, 9" for DRNG's
// cells, with "+ 1 true colour" when some cells hold no register.
std::string colourRangeRegistersText(const ColourRange& range);
// Registers a range turns, bottom to top.
std::vector<int> colourRangeRegisters(const ColourRange& range);
// Frames per second over the whole animation; 0 when it has no duration.
double averageFrameRate(const AnimationFacts& facts);

}  // namespace velarium::tool
