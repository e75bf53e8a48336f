// Colour-cycling ranges: reading CRNG, CCRT and DRNG, and turning a colour
// table as the ranges stand at a moment.
#include "core/ColourCycling.h"

#include <optional>

#include "core/BigEndian.h"

namespace velarium {
namespace {

constexpr std::uint32_t kCRNGSize = 8;   // pad, rate, flags (16 bits each), low, high
constexpr std::uint32_t kCCRTSize = 14;  // direction, start, end, seconds, microseconds, pad
constexpr std::uint32_t kDRNGHeaderSize = 8;  // min, max, rate, flags, true cells, register cells
constexpr std::uint32_t kDRNGTrueCellSize = 4;      // cell, red, green, blue
constexpr std::uint32_t kDRNGRegisterCellSize = 2;  // cell, register

// CRNG and DRNG rates: this one is 60 steps a second, and speed scales with it.
constexpr std::uint64_t kRateOfSixtySteps = 16384;
constexpr std::uint64_t kStepsAtThatRate = 60;
constexpr std::uint64_t kMicrosecondsPerSecond = 1000000;

constexpr std::uint16_t kRangeActive = 1u << 0;
constexpr std::uint16_t kRangeReverse = 1u << 1;

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr int kHalfBriteRegisters = 32;  // registers 32..63 halve 0..31

inline std::uint32_t halved(std::uint32_t colour) { return kOpaque | ((colour >> 1) & 0x7F7F7Fu); }

void setRateSpeed(ColourRange& range, std::uint16_t rate) {
    range.stepsNumerator = rate * kStepsAtThatRate;
    range.stepsDenominator = kRateOfSixtySteps;
}

// Register cells low..high, bottom to top; none when low is above high.
void fillRegisterCells(ColourRange& range) {
    for (int r = range.low; r <= range.high; ++r) range.cells.push_back({r, 0});
}

}  // namespace

double ColourRange::stepsPerSecond() const {
    return stepsDenominator == 0 ? 0.0 : double(stepsNumerator) / double(stepsDenominator);
}

bool ColourRange::cycles() const { return active && stepsNumerator > 0 && stepsDenominator > 0 && cells.size() > 1; }

std::uint64_t ColourRange::stepsAt(const MediaTime& elapsed) const {
    if (!cycles() || !elapsed.isNumeric() || elapsed.value <= 0 || elapsed.timescale <= 0) return 0;
    // value × numerator fits 128 bits: both factors are under 2^64.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(elapsed.value) * stepsNumerator;
    return static_cast<std::uint64_t>(scaled / (static_cast<unsigned __int128>(elapsed.timescale) * stepsDenominator));
}

bool readCRNG(const std::uint8_t* data, std::uint32_t size, ColourRange& range) {
    if (size < kCRNGSize) return false;
    range = ColourRange{};
    range.kind = ColourRangeKind::kCRNG;
    setRateSpeed(range, readU16BE(data + 2));
    const std::uint16_t flags = readU16BE(data + 4);
    range.active = (flags & kRangeActive) != 0;
    range.reverse = (flags & kRangeReverse) != 0;
    range.low = data[6];
    range.high = data[7];
    fillRegisterCells(range);
    return true;
}

bool readCCRT(const std::uint8_t* data, std::uint32_t size, ColourRange& range) {
    if (size < kCCRTSize) return false;
    range = ColourRange{};
    range.kind = ColourRangeKind::kCCRT;
    // Direction 1 cycles forward, -1 backwards and 0 not at all.
    const auto direction = static_cast<std::int16_t>(readU16BE(data));
    range.active = direction != 0;
    range.reverse = direction < 0;
    range.low = data[2];
    range.high = data[3];
    const auto seconds = static_cast<std::int32_t>(readU32BE(data + 4));
    const auto microseconds = static_cast<std::int32_t>(readU32BE(data + 8));
    // One step every seconds + microseconds; a negative time is no speed.
    if (seconds >= 0 && microseconds >= 0) {
        range.stepsNumerator = kMicrosecondsPerSecond;
        range.stepsDenominator = std::uint64_t(seconds) * kMicrosecondsPerSecond + std::uint64_t(microseconds);
        if (range.stepsDenominator == 0) range.stepsNumerator = 0;
    }
    fillRegisterCells(range);
    return true;
}

bool readDRNG(const std::uint8_t* data, std::uint32_t size, ColourRange& range) {
    if (size < kDRNGHeaderSize) return false;
    range = ColourRange{};
    range.kind = ColourRangeKind::kDRNG;
    range.low = data[0];
    range.high = data[1];
    setRateSpeed(range, readU16BE(data + 2));
    const std::uint16_t flags = readU16BE(data + 4);
    range.active = (flags & kRangeActive) != 0;
    range.reverse = (flags & kRangeReverse) != 0;
    const std::uint32_t trueCells = data[6], registerCells = data[7];
    if (range.low > range.high) return true;

    // Cells low..high, each empty or holding a register or a colour; the
    // cells listed past the end of the chunk are lost.
    std::vector<std::optional<ColourCell>> slots(std::size_t(range.high - range.low + 1));
    const std::uint8_t* p = data + kDRNGHeaderSize;
    const std::uint8_t* end = data + size;
    for (std::uint32_t i = 0; i < trueCells && end - p >= kDRNGTrueCellSize; ++i, p += kDRNGTrueCellSize) {
        if (p[0] >= range.low && p[0] <= range.high)
            slots[p[0] - range.low] = ColourCell{ColourCell::kTrueColour,
                                                 std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3]};
    }
    for (std::uint32_t i = 0; i < registerCells && end - p >= kDRNGRegisterCellSize; ++i, p += kDRNGRegisterCellSize) {
        if (p[0] >= range.low && p[0] <= range.high) slots[p[0] - range.low] = ColourCell{p[1], 0};
    }
    // Empty cells hold nothing to turn: the range closes up over them.
    for (const auto& slot : slots)
        if (slot) range.cells.push_back(*slot);
    return true;
}

std::string colourRangeKindName(ColourRangeKind kind) {
    switch (kind) {
        case ColourRangeKind::kCRNG: return "CRNG";
        case ColourRangeKind::kCCRT: return "CCRT";
        case ColourRangeKind::kDRNG: return "DRNG";
    }
    return "?";
}

void cycleColourTable(ColourTable& colours, const std::vector<ColourRange>& ranges, const MediaTime& elapsed,
                      bool ehb) {
    std::vector<std::uint32_t> shown, halves;
    for (const ColourRange& range : ranges) {
        const std::size_t n = range.cells.size();
        const std::size_t turn = static_cast<std::size_t>(range.stepsAt(elapsed) % (n ? n : 1));
        if (turn == 0) continue;
        // The colour each cell holds before turning, and under half-brite the
        // halved colour that travels with it.
        shown.assign(n, 0);
        halves.assign(n, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const ColourCell& cell = range.cells[i];
            const bool isRegister = cell.colourRegister != ColourCell::kTrueColour;
            shown[i] = isRegister ? colours[std::size_t(cell.colourRegister)] : kOpaque | cell.colour;
            halves[i] = isRegister && cell.colourRegister < kHalfBriteRegisters
                            ? colours[std::size_t(cell.colourRegister + kHalfBriteRegisters)]
                            : halved(shown[i]);
        }
        // After `turn` steps forward, cell i shows what cell i - turn held.
        const std::size_t from = range.reverse ? turn : n - turn;
        for (std::size_t i = 0; i < n; ++i) {
            const int reg = range.cells[i].colourRegister;
            if (reg == ColourCell::kTrueColour) continue;
            const std::size_t source = (i + from) % n;
            colours[std::size_t(reg)] = shown[source];
            if (ehb && reg < kHalfBriteRegisters) colours[std::size_t(reg + kHalfBriteRegisters)] = halves[source];
        }
    }
}

}  // namespace velarium
