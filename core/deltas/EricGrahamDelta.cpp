// Eric Graham's delta (ANIM-J): a list of records, each a set of groups of
// bytes that replace or XOR a small rectangle of every plane.
#include <algorithm>

#include "core/ByteReader.h"
#include "core/deltas/DeltaDecoding.h"
#include "platform/foundation/SystemLog.h"

namespace velarium {
namespace {

enum RecordType : std::uint16_t {
    kEndOfRecords = 0,
    kByteColumns = 1,     // groups one byte wide
    kByteRectangles = 2,  // groups a given number of bytes wide
};

// Group offsets address a screen 320 pixels (40 bytes) wide; a narrower
// picture sits in its middle.
constexpr std::size_t kScreenWidth = 320;
constexpr std::size_t kScreenRowBytes = 40;
constexpr std::size_t kPixelsPerWord = 16;

struct GroupShape {
    std::uint16_t rows;
    std::uint16_t bytesPerRow;
};

// Where a group's top-left byte lies in the picture; the column may fall
// left of the picture when it is centred.
struct GroupOrigin {
    std::size_t row;
    std::ptrdiff_t column;
};

GroupOrigin originOf(std::uint16_t offset, const PlanarGeometry& geometry) {
    if (geometry.width >= kScreenWidth)
        return {offset / geometry.rowBytes, static_cast<std::ptrdiff_t>(offset % geometry.rowBytes)};
    const auto margin = static_cast<std::ptrdiff_t>((kScreenWidth - geometry.width) / kPixelsPerWord);
    return {offset / kScreenRowBytes, static_cast<std::ptrdiff_t>(offset % kScreenRowBytes) - margin};
}

// Decodes the groups of one record; false when the data ends inside them.
bool decodeGroups(ByteReader& chunk, PlanarBitmap& target, GroupShape shape, bool exclusiveOr) {
    const PlanarGeometry& geometry = target.geometry();
    std::uint16_t groups;
    if (!chunk.readU16(groups)) return false;
    const std::uint64_t groupBytes = std::uint64_t(shape.rows) * geometry.numPlanes * shape.bytesPerRow;
    for (unsigned g = 0; g < groups; ++g) {
        std::uint16_t offset;
        if (!chunk.readU16(offset)) return false;
        if (groupBytes == 0) continue;
        const GroupOrigin origin = originOf(offset, geometry);
        for (std::size_t r = 0; r < shape.rows; ++r) {
            for (std::size_t p = 0; p < geometry.numPlanes; ++p) {
                // Bytes up to the end of the data still count.
                const std::size_t available = std::min<std::size_t>(shape.bytesPerRow, chunk.remaining());
                const std::uint8_t* bytes = chunk.take(available);
                target.plane(p).applyInRow(origin.row + r, origin.column, bytes, available, exclusiveOr);
                if (available < shape.bytesPerRow) return false;
            }
        }
        // Groups keep 16-bit alignment with a fill byte.
        if (groupBytes & 1 && !chunk.skip(1)) return false;
    }
    return true;
}

}  // namespace

void decodeEricGrahamDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target) {
    ByteReader chunk(data, length);
    for (;;) {
        std::uint16_t type, exclusiveOr;
        if (!chunk.readU16(type) || type == kEndOfRecords) return;
        if (!chunk.readU16(exclusiveOr)) return;
        GroupShape shape{0, 1};
        if (type == kByteColumns) {
            if (!chunk.readU16(shape.rows)) return;
        } else if (type == kByteRectangles) {
            if (!chunk.readU16(shape.rows) || !chunk.readU16(shape.bytesPerRow)) return;
        } else {
            systemLog("ANIMParser: Unknown ANIM-J record type 0x%x", static_cast<unsigned>(type));
            return;
        }
        if (!decodeGroups(chunk, target, shape, exclusiveOr != 0)) return;
    }
}

}  // namespace velarium
