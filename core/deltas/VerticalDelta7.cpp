// Vertical delta with separate lists (ANIM-7): per plane, an opcode list of
// bytes and a data list of words, in columns one word wide. Short and long
// forms differ only in the word size.
//
// In the long form a row with an odd number of 16-bit words ends in a
// column only half as wide: its data items are still long words, but only
// their first two bytes fall inside the row, and only those are written.
#include "core/deltas/DeltaDecoding.h"
#include "core/deltas/PointerTable.h"
#include "core/deltas/VerticalOps.h"
#include "core/deltas/WordSize.h"

namespace velarium {
namespace {

// The opcode pointers of planes 0–7, then their data pointers.
constexpr std::size_t kTablePlanes = 8;
constexpr std::size_t kTableSize = 2 * kTablePlanes * kListPointerSize;

// Decodes one column; false when the data is damaged and the frame must stop.
template <std::size_t WordSize>
bool decodeColumn(ByteReader& ops, ByteReader& words, Plane& plane, std::ptrdiff_t column, bool exclusiveOr) {
    std::uint8_t operations;
    if (!ops.readU8(operations)) return false;
    std::size_t row = 0;
    for (unsigned i = 0; i < operations; ++i) {
        std::uint8_t op;
        if (!ops.readU8(op)) return false;
        if (op == kSameRunOp) {
            std::uint8_t count;
            if (!ops.readU8(count)) return false;
            const std::uint8_t* word = words.take(WordSize);
            if (!word) return false;
            for (unsigned k = 0; k < count; ++k) plane.applyInRow(row++, column, word, WordSize, exclusiveOr);
        } else if (op < kFirstLiteralOp) {
            row += op;
        } else {
            for (unsigned k = kFirstLiteralOp; k < op; ++k) {
                const std::uint8_t* word = words.take(WordSize);
                if (!word) return false;
                plane.applyInRow(row++, column, word, WordSize, exclusiveOr);
            }
        }
    }
    return true;
}

template <std::size_t WordSize>
void decode(const std::uint8_t* data, std::size_t length, PlanarBitmap& target, bool exclusiveOr) {
    const PlanarGeometry& geometry = target.geometry();
    // The table always holds eight data pointers after the plane's opcode pointers.
    if (length < kListPointerSize * geometry.numPlanes + kTableSize / 2) return;
    const ByteReader chunk(data, length);
    const std::size_t columns = (geometry.rowBytes + WordSize - 1) / WordSize;
    for (std::size_t p = 0; p < geometry.numPlanes; ++p) {
        const std::uint32_t opsPointer = listPointer(chunk, p);
        const std::uint32_t dataPointer = listPointer(chunk, kTablePlanes + p);
        if (opsPointer == 0) continue;
        if (opsPointer >= length || dataPointer >= length) return;
        ByteReader ops = chunk.at(opsPointer);
        ByteReader words = chunk.at(dataPointer);
        Plane plane = target.plane(p);
        for (std::size_t c = 0; c < columns; ++c)
            if (!decodeColumn<WordSize>(ops, words, plane, static_cast<std::ptrdiff_t>(c * WordSize), exclusiveOr))
                return;
    }
}

}  // namespace

void decodeVerticalDelta7(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize, bool exclusiveOr) {
    withWordSize(wordSize, [&]<std::size_t WordSize>(WordSizeConstant<WordSize>) {
        decode<WordSize>(data, length, target, exclusiveOr);
    });
}

}  // namespace velarium
