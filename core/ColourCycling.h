#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/PlanarToBGRA.h"
#include "platform/coremedia/MediaTime.h"

namespace velarium {

// The chunk a colour range came from.
enum class ColourRangeKind : std::uint8_t {
    kCRNG,  // Deluxe Paint's register range
    kCCRT,  // Graphicraft's register range with a time per step
    kDRNG,  // Deluxe Paint IV's range of cells
};

// One cell of a range. Register cells show the colour that has turned onto
// them; a true-colour cell (DRNG only) is no register, so no pixel shows it
// where it stands, but its colour travels round the range with the others
// and shows on the register cells it passes.
struct ColourCell {
    static constexpr int kTrueColour = -1;
    int colourRegister = kTrueColour;
    std::uint32_t colour = 0;  // 0xRRGGBB of a true-colour cell
};

// A colour-cycling range as the file stores it: its cells from bottom to
// top, and its speed as a fraction stepsNumerator / stepsDenominator of
// steps a second, kept exact so that step times fall where the file says.
struct ColourRange {
    ColourRangeKind kind = ColourRangeKind::kCRNG;
    std::vector<ColourCell> cells;
    int low = 0;   // lowest and highest register (CRNG, CCRT) or cell (DRNG) as stored
    int high = 0;
    std::uint64_t stepsNumerator = 0;
    std::uint64_t stepsDenominator = 1;
    bool active = false;
    bool reverse = false;

    double stepsPerSecond() const;
    // Active, with a speed, over more than one colour.
    bool cycles() const;
    // Steps taken `elapsed` after cycling started: floor(elapsed × steps a
    // second); 0 for a range that does not cycle or a time before the start.
    std::uint64_t stepsAt(const MediaTime& elapsed) const;
};

// Readers of one chunk's data each; a chunk too short for its fields gives none.
bool readCRNG(const std::uint8_t* data, std::uint32_t size, ColourRange& range);
bool readCCRT(const std::uint8_t* data, std::uint32_t size, ColourRange& range);
bool readDRNG(const std::uint8_t* data, std::uint32_t size, ColourRange& range);

// The chunk name of a kind: "CRNG", "CCRT", "DRNG".
std::string colourRangeKindName(ColourRangeKind kind);

// Turns each range's colours by its steps at `elapsed`. Forward moves every
// colour one register up per step, the top one wrapping to the bottom;
// reverse moves them down. Under extra half-brite, each halved register
// 32..63 moves with the base register it halves.
void cycleColourTable(ColourTable& colours, const std::vector<ColourRange>& ranges, const MediaTime& elapsed,
                      bool ehb);

}  // namespace velarium
