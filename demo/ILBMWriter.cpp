#include "demo/ILBMWriter.h"

#include <algorithm>

namespace velarium::demo {
namespace {

constexpr std::size_t kAnimationHeaderSize = 40;
constexpr std::size_t kANHDRelTime = 14;
constexpr std::size_t kANHDInterleave = 18;
constexpr std::size_t kDPANSize = 8;
constexpr std::uint16_t kDPANVersion = 4;
constexpr std::size_t kMaxRun = 128;         // longest literal or repeat run of ByteRun1
constexpr std::size_t kShortestRepeat = 3;   // shorter runs cost no less as literals

void putU8(Bytes& out, unsigned value) { out.push_back(static_cast<std::uint8_t>(value)); }
void putU16(Bytes& out, unsigned value) {
    putU8(out, value >> 8);
    putU8(out, value & 0xFF);
}
void putU32(Bytes& out, std::uint32_t value) {
    putU16(out, value >> 16);
    putU16(out, value & 0xFFFF);
}
void putIdentifier(Bytes& out, const char (&identifier)[5]) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(identifier[i]));
}

std::size_t repeatLength(const std::uint8_t* row, std::size_t length, std::size_t at) {
    std::size_t run = 1;
    while (at + run < length && run < kMaxRun && row[at + run] == row[at]) ++run;
    return run;
}

}  // namespace

Bytes makeChunk(const char (&identifier)[5], const Bytes& data) {
    Bytes out;
    putIdentifier(out, identifier);
    putU32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    return out;
}

Bytes makeForm(const char (&type)[5], const std::vector<Bytes>& chunks) {
    Bytes data;
    putIdentifier(data, type);
    for (const Bytes& chunk : chunks) data.insert(data.end(), chunk.begin(), chunk.end());
    return makeChunk("FORM", data);
}

Bytes encodeBitmapHeader(const ANIMBitmapHeader& h) {
    Bytes out;
    putU16(out, h.width);
    putU16(out, h.height);
    putU16(out, static_cast<std::uint16_t>(h.xOrigin));
    putU16(out, static_cast<std::uint16_t>(h.yOrigin));
    putU8(out, h.numPlanes);
    putU8(out, h.masking);
    putU8(out, h.compression);
    putU8(out, h.pad1);
    putU16(out, h.transparentColor);
    putU8(out, h.xAspect);
    putU8(out, h.yAspect);
    putU16(out, static_cast<std::uint16_t>(h.pageWidth));
    putU16(out, static_cast<std::uint16_t>(h.pageHeight));
    return out;
}

Bytes encodeAnimationHeader(const AnimationHeader& header) {
    Bytes out(kAnimationHeaderSize, 0);
    out[0] = header.operation;
    for (int i = 0; i < 4; ++i) out[kANHDRelTime + i] = static_cast<std::uint8_t>(header.relTime >> (24 - 8 * i));
    out[kANHDInterleave] = header.interleave;
    return out;
}

Bytes encodeDPAN(std::uint16_t frameCount, std::uint8_t framesPerSecond) {
    Bytes out;
    putU16(out, kDPANVersion);
    putU16(out, frameCount);
    putU8(out, framesPerSecond);
    out.resize(kDPANSize, 0);
    return out;
}

Bytes encodeColorMap(const std::vector<std::uint32_t>& colors) {
    Bytes out;
    for (std::uint32_t color : colors) {
        putU8(out, (color >> 16) & 0xFF);
        putU8(out, (color >> 8) & 0xFF);
        putU8(out, color & 0xFF);
    }
    return out;
}

void packByteRun1Row(const std::uint8_t* row, std::size_t length, Bytes& out) {
    std::size_t at = 0;
    while (at < length) {
        const std::size_t run = repeatLength(row, length, at);
        if (run >= kShortestRepeat) {
            out.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(1 - static_cast<int>(run))));
            out.push_back(row[at]);
            at += run;
            continue;
        }
        // A literal runs up to the next repeat worth packing.
        const std::size_t start = at;
        while (at < length && at - start < kMaxRun && repeatLength(row, length, at) < kShortestRepeat) ++at;
        out.push_back(static_cast<std::uint8_t>(at - start - 1));
        out.insert(out.end(), row + start, row + at);
    }
}

Bytes packBody(const std::uint8_t* planar, const PlanarGeometry& geometry) {
    Bytes out;
    for (std::size_t y = 0; y < geometry.height; ++y)
        for (std::size_t p = 0; p < geometry.numPlanes; ++p)
            packByteRun1Row(planar + p * geometry.planeSize + y * geometry.rowBytes, geometry.rowBytes, out);
    return out;
}

}  // namespace velarium::demo
