#include "core/BodyDecoder.h"

#include <cstring>

#include "core/ANIMBitmapHeader.h"
#include "core/ByteRun1.h"

namespace velarium {
namespace {

// Calls fillRow(target-or-null, rowBytes) for every row of the BODY in file
// order, null standing for the mask row; stops when fillRow reports that the
// data has run out.
template <typename FillRow>
void forEachBodyRow(PlanarBitmap& target, bool hasMask, FillRow fillRow) {
    const PlanarGeometry& g = target.geometry();
    for (std::size_t y = 0; y < g.height; ++y) {
        for (std::size_t p = 0; p < g.numPlanes; ++p) {
            if (!fillRow(target.data() + p * g.planeSize + y * g.rowBytes)) return;
        }
        if (hasMask && !fillRow(nullptr)) return;
    }
}

}  // namespace

void decodeBody(const std::uint8_t* data, std::size_t length, std::uint8_t compression, std::uint8_t masking,
                PlanarBitmap target) {
    const std::size_t rowBytes = target.geometry().rowBytes;
    const bool hasMask = masking == kMaskingHasMask;
    if (rowBytes == 0) return;

    if (compression == kCompressionNone) {
        std::size_t s = 0;
        forEachBodyRow(target, hasMask, [&](std::uint8_t* row) {
            if (length - s < rowBytes) return false;
            if (row) std::memcpy(row, data + s, rowBytes);
            s += rowBytes;
            return true;
        });
    } else if (compression == kCompressionByteRun1) {
        ByteRun1Stream stream(data, length);
        forEachBodyRow(target, hasMask, [&](std::uint8_t* row) { return stream.fill(row, rowBytes); });
    }
}

}  // namespace velarium
