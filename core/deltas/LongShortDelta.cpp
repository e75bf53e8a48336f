// Long and short delta (ANIM-2 and ANIM-3): each plane is a run of words of
// the word size, and its list writes single words and runs of words at
// positions counted on from the last word written.
#include "core/deltas/DeltaDecoding.h"
#include "core/deltas/PointerTable.h"
#include "core/deltas/WordSize.h"

namespace velarium {
namespace {

constexpr std::uint16_t kEndOfList = 0xFFFF;
constexpr std::uint16_t kFirstRun = 0x8000;     // values from here to 0xFFFE introduce a run
constexpr std::uint32_t kRunSkipBase = 0xFFFE;  // a run skips 0xFFFE − value words first

// Decodes one plane's list; false when the data is damaged and the frame must stop.
template <std::size_t WordSize>
bool decodePlane(ByteReader& list, Plane plane) {
    const std::size_t words = plane.size() / WordSize;
    std::size_t position = 0;
    for (;;) {
        std::uint16_t value;
        if (!list.readU16(value)) return false;
        if (value == kEndOfList) return true;
        if (value < kFirstRun) {
            const std::uint8_t* word = list.take(WordSize);
            if (!word) return false;
            position += value;
            if (position >= words) return false;
            plane.apply(position * WordSize, word, WordSize, false);
        } else {
            std::uint16_t count;
            if (!list.readU16(count)) return false;
            const std::size_t base = position + (kRunSkipBase - value);
            for (std::size_t k = 1; k <= count; ++k) {
                const std::uint8_t* word = list.take(WordSize);
                if (!word || base + k >= words) return false;
                plane.apply((base + k) * WordSize, word, WordSize, false);
            }
            position = base + count;
        }
    }
}

}  // namespace

void decodeLongShortDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize) {
    withWordSize(wordSize, [&]<std::size_t WordSize>(WordSizeConstant<WordSize>) {
        decodePlaneLists(data, length, target, decodePlane<WordSize>);
    });
}

}  // namespace velarium
