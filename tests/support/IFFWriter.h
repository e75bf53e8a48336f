#pragma once

// Builds synthetic IFF files from chunks, for tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velarium::testing {

using ByteVector = std::vector<std::uint8_t>;

inline void appendU8(ByteVector& out, unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); }
inline void appendU16(ByteVector& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void appendU32(ByteVector& out, std::uint32_t v) {
    appendU16(out, v >> 16);
    appendU16(out, v & 0xFFFF);
}
inline void appendBytes(ByteVector& out, const ByteVector& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
inline void appendId(ByteVector& out, const std::string& id) {
    for (std::size_t i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(i < id.size() ? id[i] : ' '));
}

// One chunk: identifier, big-endian size, data, pad byte when the size is odd.
inline ByteVector chunk(const std::string& id, const ByteVector& data) {
    ByteVector out;
    appendId(out, id);
    appendU32(out, static_cast<std::uint32_t>(data.size()));
    appendBytes(out, data);
    if (data.size() & 1) out.push_back(0);
    return out;
}

// A chunk whose declared size differs from the data that follows it.
inline ByteVector chunkWithSize(const std::string& id, std::uint32_t declaredSize, const ByteVector& data) {
    ByteVector out;
    appendId(out, id);
    appendU32(out, declaredSize);
    appendBytes(out, data);
    return out;
}

inline ByteVector concat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const auto& part : parts) appendBytes(out, part);
    return out;
}

// A FORM of the given type around already-built chunks.
inline ByteVector form(const std::string& type, const std::vector<ByteVector>& chunks) {
    ByteVector data;
    appendId(data, type);
    for (const auto& c : chunks) appendBytes(data, c);
    return chunk("FORM", data);
}

struct BMHDFields {
    unsigned width = 16, height = 1, planes = 1, masking = 0, compression = 0;
    unsigned xAspect = 10, yAspect = 11;
};

inline ByteVector bmhd(const BMHDFields& f) {
    ByteVector d;
    appendU16(d, f.width);
    appendU16(d, f.height);
    appendU16(d, 0);
    appendU16(d, 0);
    appendU8(d, f.planes);
    appendU8(d, f.masking);
    appendU8(d, f.compression);
    appendU8(d, 0);
    appendU16(d, 0);
    appendU8(d, f.xAspect);
    appendU8(d, f.yAspect);
    appendU16(d, f.width);
    appendU16(d, f.height);
    return chunk("BMHD", d);
}

struct ANHDFields {
    unsigned operation = 5;
    std::uint32_t relTime = 1;
    unsigned interleave = 0;
    std::uint32_t bits = 0;
};

inline ByteVector anhd(const ANHDFields& f) {
    ByteVector d(24, 0);
    d[0] = static_cast<std::uint8_t>(f.operation);
    for (int i = 0; i < 4; ++i) d[14 + i] = static_cast<std::uint8_t>(f.relTime >> (24 - 8 * i));
    d[18] = static_cast<std::uint8_t>(f.interleave);
    for (int i = 0; i < 4; ++i) d[20 + i] = static_cast<std::uint8_t>(f.bits >> (24 - 8 * i));
    return chunk("ANHD", d);
}

inline ByteVector camg(std::uint32_t mode) {
    ByteVector d;
    appendU32(d, mode);
    return chunk("CAMG", d);
}

inline ByteVector dpan(unsigned speed) {
    ByteVector d(8, 0);
    d[4] = static_cast<std::uint8_t>(speed);
    return chunk("DPAN", d);
}

// CMAP from 0xRRGGBB colours.
inline ByteVector cmap(std::initializer_list<std::uint32_t> colours) {
    ByteVector d;
    for (auto c : colours) {
        appendU8(d, c >> 16);
        appendU8(d, (c >> 8) & 0xFF);
        appendU8(d, c & 0xFF);
    }
    return chunk("CMAP", d);
}

// The whole file: FORM ANIM around the given frames (each a FORM ILBM).
inline ByteVector animFile(const std::vector<ByteVector>& frames) { return form("ANIM", frames); }

}  // namespace velarium::testing
