// Byte vertical delta (ANIM-5): every byte column of every plane carries its
// own short list of skips, same runs and literal runs going down the column.
#include <algorithm>

#include "core/deltas/DeltaDecoding.h"
#include "core/deltas/PointerTable.h"
#include "core/deltas/VerticalOps.h"

namespace velarium {
namespace {

// Decodes one column; false when the data is damaged and the frame must stop.
bool decodeColumn(ByteReader& list, Plane& plane, std::size_t column, bool exclusiveOr) {
    std::uint8_t operations;
    if (!list.readU8(operations)) return false;
    std::size_t row = 0;
    for (unsigned i = 0; i < operations; ++i) {
        std::uint8_t op;
        if (!list.readU8(op)) return false;
        if (op == kSameRunOp) {
            std::uint8_t count, value;
            if (!list.readU8(count) || !list.readU8(value)) return false;
            plane.fillColumn(row, column, value, count, exclusiveOr);
            row += count;
        } else if (op < kFirstLiteralOp) {
            row += op;
        } else {
            // A literal run cut short by the end of the chunk still applies
            // the bytes it has before the frame stops.
            const std::size_t count = op - kFirstLiteralOp;
            const std::size_t available = std::min(count, list.remaining());
            plane.applyColumn(row, column, list.take(available), available, exclusiveOr);
            if (available < count) return false;
            row += count;
        }
    }
    return true;
}

}  // namespace

void decodeByteVerticalDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target,
                             bool exclusiveOr) {
    const PlanarGeometry& geometry = target.geometry();
    if (length < kListPointerSize * geometry.numPlanes) return;
    const ByteReader chunk(data, length);
    // One column per byte that holds pixels; the row's padding byte has none.
    const std::size_t columns = geometry.usedRowBytes();
    for (std::size_t p = 0; p < geometry.numPlanes; ++p) {
        const std::uint32_t pointer = listPointer(chunk, p);
        if (pointer == 0) continue;
        if (pointer >= length) return;
        ByteReader list = chunk.at(pointer);
        Plane plane = target.plane(p);
        for (std::size_t column = 0; column < columns; ++column)
            if (!decodeColumn(list, plane, column, exclusiveOr)) return;
    }
}

}  // namespace velarium
