#include "core/ANIMBitmapHeader.h"

#include "core/BigEndian.h"

namespace velarium {

ANIMBitmapHeader ANIMBitmapHeader::fromChunk(const std::uint8_t* d) {
    ANIMBitmapHeader h;
    h.width = readU16BE(d + 0);
    h.height = readU16BE(d + 2);
    h.xOrigin = static_cast<std::int16_t>(readU16BE(d + 4));
    h.yOrigin = static_cast<std::int16_t>(readU16BE(d + 6));
    h.numPlanes = d[8];
    h.masking = d[9];
    h.compression = d[10];
    h.pad1 = d[11];
    h.transparentColor = readU16BE(d + 12);
    h.xAspect = d[14];
    h.yAspect = d[15];
    h.pageWidth = static_cast<std::int16_t>(readU16BE(d + 16));
    h.pageHeight = static_cast<std::int16_t>(readU16BE(d + 18));
    return h;
}

}  // namespace velarium
