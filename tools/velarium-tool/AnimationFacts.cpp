// Gathering and naming an animation's facts for `info`.
#include "tools/velarium-tool/AnimationFacts.h"

#include <algorithm>
#include <map>

namespace velarium::tool {
namespace {

constexpr std::uint64_t kHAM6Colors = 4096;
constexpr std::uint64_t kHAM8Colors = 262144;
constexpr std::uint64_t kHAM8Planes = 8;
constexpr std::uint64_t kHAMControlPlanes = 2;  // the top two planes choose hold or modify
constexpr std::uint64_t kEHBColors = 64;
constexpr std::uint64_t kEHBBaseRegisters = 32;
constexpr std::uint64_t kBytesPerCMAPEntry = 3;

}  // namespace

AnimationFacts collectFacts(const ANIMParser& parser) {
    AnimationFacts facts;
    const ANIMBitmapHeader& header = parser.bitmapHeader();
    facts.width = parser.width();
    facts.height = parser.height();
    facts.planes = parser.numPlanes();
    facts.masking = header.masking;
    facts.compression = header.compression;
    facts.camg = parser.camgMode();
    facts.ham = parser.isHAM();
    facts.ehb = parser.isEHB();
    facts.xAspect = header.xAspect;
    facts.yAspect = header.yAspect;

    facts.frameCount = parser.numFrames();
    std::uint64_t keyframes = 0;
    std::map<std::uint8_t, std::uint64_t> deltas;
    for (const ANIMFrameInfoRef& frame : parser.frames()) {
        if (frame->isKeyframe) {
            ++keyframes;
            continue;
        }
        ++deltas[frame->operation];
        if (frame->interleave == 1)
            ++facts.deltasFromPreviousFrame;
        else
            ++facts.deltasFromTwoFramesBack;
    }
    if (keyframes > 0) facts.operations.push_back({true, 0, keyframes});
    for (const auto& [operation, count] : deltas) facts.operations.push_back({false, operation, count});

    facts.dpanSpeed = parser.dpanSpeed();
    facts.firstFrameDuration = parser.numFrames() > 0 ? parser.frameAtIndex(0).duration : MediaTime::zero();
    facts.totalDuration = parser.totalDuration();

    if (facts.ham) {
        facts.colorCount = facts.planes >= kHAM8Planes ? kHAM8Colors : kHAM6Colors;
        // Planes beyond eight add nothing a HAM display can use.
        const std::uint64_t planes = std::min(facts.planes, kHAM8Planes);
        facts.baseRegisters = planes > kHAMControlPlanes ? std::uint64_t(1) << (planes - kHAMControlPlanes) : 1;
    } else if (facts.ehb) {
        facts.colorCount = kEHBColors;
        facts.baseRegisters = kEHBBaseRegisters;
    } else {
        facts.colorCount = parser.numColors();
        facts.baseRegisters = parser.numColors();
    }
    facts.cmapEntries = parser.colorMap() ? parser.colorMap()->size() / kBytesPerCMAPEntry : 0;
    facts.colourRanges = parser.colourRanges();
    return facts;
}

std::string operationName(std::uint8_t operation) {
    switch (operation) {
        case 0: return "Direct (BODY)";
        case 1: return "XOR (ANIM-1)";
        case 2: return "Long Delta (ANIM-2)";
        case 3: return "Short Delta (ANIM-3)";
        case 4: return "General Delta (ANIM-4)";
        case 5: return "Byte Vertical Delta (ANIM-5)";
        case 6: return "Stereo (ANIM-6)";
        case 7: return "Short/Long Vertical Delta (ANIM-7)";
        case 8: return "Short/Long Vertical Delta (ANIM-8)";
        case 'J': return "Eric Graham (ANIM-J)";
        case 'l': return "Vertical Short Delta (ANIM-l)";
        default: return "Unknown (" + std::to_string(operation) + ")";
    }
}

std::string maskingName(std::uint8_t masking) {
    switch (masking) {
        case 0: return "none";
        case 1: return "mask plane";
        case 2: return "transparent colour";
        case 3: return "lasso";
        default: return "unknown";
    }
}

std::string compressionName(std::uint8_t compression) {
    switch (compression) {
        case 0: return "none";
        case 1: return "ByteRun1";
        default: return "unknown";
    }
}

std::string hamModeName(const AnimationFacts& facts) {
    if (!facts.ham) return "off";
    return facts.planes >= kHAM8Planes ? "HAM8" : "HAM6";
}

std::vector<int> colourRangeRegisters(const ColourRange& range) {
    std::vector<int> registers;
    for (const ColourCell& cell : range.cells)
        if (cell.colourRegister != ColourCell::kTrueColour) registers.push_back(cell.colourRegister);
    return registers;
}

std::string colourRangeRegistersText(const ColourRange& range) {
    const std::vector<int> registers = colourRangeRegisters(range);
    std::string text;
    if (range.kind != ColourRangeKind::kDRNG) {
        text = std::to_string(range.low) + "-" + std::to_string(range.high);
    } else {
        for (int r : registers) text += (text.empty() ? "" : ", ") + std::to_string(r);
        if (text.empty()) text = "none";
    }
    const std::size_t trueColours = range.cells.size() - registers.size();
    if (trueColours > 0)
        text += " + " + std::to_string(trueColours) + (trueColours == 1 ? " true colour" : " true colours");
    return text;
}

double averageFrameRate(const AnimationFacts& facts) {
    const double seconds = facts.totalDuration.seconds();
    if (facts.frameCount == 0 || !(seconds > 0)) return 0;
    return static_cast<double>(facts.frameCount) / seconds;
}

}  // namespace velarium::tool
