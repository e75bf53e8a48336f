// Vertical delta in one list of words (ANIM-8): per plane, a list of
// operation counts, opcodes and data, every field one word, in columns one
// word wide. Short and long forms differ only in the word size.
//
// In the long form a row with an odd number of 16-bit words ends in a
// column one 16-bit word wide, coded exactly like a short-form column.
#include <algorithm>

#include "core/deltas/DeltaDecoding.h"
#include "core/deltas/PointerTable.h"
#include "core/deltas/WordSize.h"

namespace velarium {
namespace {

constexpr std::uint32_t kSameRunOp = 0;

template <std::size_t WordSize>
constexpr std::uint32_t kLiteralFlag = std::uint32_t(1) << (8 * WordSize - 1);

// Moves a row index down, stopping just below the plane so that huge skips
// and runs cannot overflow it.
inline void moveDown(std::size_t& row, std::uint64_t rows, std::size_t height) {
    row = rows >= height - std::min(row, height) ? height : row + rows;
}

// Decodes one column; false when the data is damaged and the frame must stop.
template <std::size_t WordSize>
bool decodeColumn(ByteReader& list, Plane& plane, std::ptrdiff_t column, bool exclusiveOr) {
    const std::size_t height = plane.height();
    std::uint32_t operations;
    if (!list.readUnsigned(WordSize, operations)) return false;
    std::size_t row = 0;
    for (std::uint32_t i = 0; i < operations; ++i) {
        std::uint32_t op;
        if (!list.readUnsigned(WordSize, op)) return false;
        if (op == kSameRunOp) {
            std::uint32_t count;
            if (!list.readUnsigned(WordSize, count)) return false;
            const std::uint8_t* value = list.take(WordSize);
            if (!value) return false;
            // Writes below the plane are dropped, so the run ends at the last row.
            for (std::uint32_t k = 0; k < count && row < height; ++k)
                plane.applyInRow(row++, column, value, WordSize, exclusiveOr);
        } else if (op & kLiteralFlag<WordSize>) {
            for (std::uint32_t k = 0; k < (op & ~kLiteralFlag<WordSize>); ++k) {
                const std::uint8_t* word = list.take(WordSize);
                if (!word) return false;
                plane.applyInRow(row, column, word, WordSize, exclusiveOr);
                moveDown(row, 1, height);
            }
        } else {
            moveDown(row, op, height);
        }
    }
    return true;
}

template <std::size_t WordSize>
bool decodePlane(ByteReader& list, Plane plane, bool exclusiveOr) {
    constexpr std::size_t kShortWord = 2;
    const std::size_t rowBytes = plane.rowBytes();
    std::size_t column = 0;
    for (; column + WordSize <= rowBytes; column += WordSize)
        if (!decodeColumn<WordSize>(list, plane, static_cast<std::ptrdiff_t>(column), exclusiveOr)) return false;
    // Rows end on a 16-bit word, so only the long form can leave a narrower column.
    if (column < rowBytes)
        return decodeColumn<kShortWord>(list, plane, static_cast<std::ptrdiff_t>(column), exclusiveOr);
    return true;
}

}  // namespace

void decodeVerticalDelta8(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                          std::size_t wordSize, bool exclusiveOr) {
    withWordSize(wordSize, [&]<std::size_t WordSize>(WordSizeConstant<WordSize>) {
        decodePlaneLists(data, length, target,
                         [&](ByteReader& list, Plane plane) { return decodePlane<WordSize>(list, plane, exclusiveOr); });
    });
}

}  // namespace velarium
