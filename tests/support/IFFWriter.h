#pragma once

// Builds synthetic IFF files from chunks, for tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace velarium::testing {

using ByteVector = std::vector<std::uint8_t>;

inline ByteVector concat(std::initializer_list<ByteVector> parts) {
    ByteVector out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Big-endian fields of `size` bytes each: words({0x8002, 0xAAAA}, 2).
inline ByteVector words(std::initializer_list<std::uint32_t> values, std::size_t size) {
    ByteVector out;
    for (auto v : values)
        for (std::size_t i = size; i-- > 0;) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return out;
}
inline ByteVector w16(std::initializer_list<std::uint32_t> values) { return words(values, 2); }
inline ByteVector w32(std::initializer_list<std::uint32_t> values) { return words(values, 4); }

// Identifier, big-endian size, data, and a pad byte after odd data.
inline ByteVector chunk(const std::string& id, const ByteVector& data) {
    ByteVector out = concat({ByteVector(id.begin(), id.end()), w32({std::uint32_t(data.size())}), data});
    if (data.size() & 1) out.push_back(0);
    return out;
}

inline ByteVector form(const std::string& type, const std::vector<ByteVector>& chunks) {
    ByteVector data(type.begin(), type.end());
    for (const auto& c : chunks) data.insert(data.end(), c.begin(), c.end());
    return chunk("FORM", data);
}

struct BMHDFields {
    unsigned width = 16, height = 1, planes = 1, masking = 0, compression = 0, xAspect = 10, yAspect = 11;
    unsigned transparentColor = 0;
};

inline ByteVector bmhd(const BMHDFields& f) {
    return chunk("BMHD", concat({w16({f.width, f.height, 0, 0}), words({f.planes, f.masking, f.compression, 0}, 1),
                                 w16({f.transparentColor}), words({f.xAspect, f.yAspect}, 1), w16({f.width, f.height})}));
}

struct ANHDFields {
    unsigned operation = 5;
    std::uint32_t relTime = 1;
    unsigned interleave = 0;
    std::uint32_t bits = 0;
};

// Operation at byte 0, relative time at 14, interleave at 18, option bits at 20.
inline ByteVector anhd(const ANHDFields& f) {
    return chunk("ANHD", concat({words({f.operation}, 1), ByteVector(13, 0), w32({f.relTime}),
                                 words({f.interleave, 0}, 1), w32({f.bits})}));
}

inline ByteVector camg(std::uint32_t mode) { return chunk("CAMG", w32({mode})); }

// Speed in frames per second at byte 4.
inline ByteVector dpan(unsigned speed) { return chunk("DPAN", concat({w32({0}), words({speed, 0, 0, 0}, 1)})); }

// From 0xRRGGBB colours.
inline ByteVector cmap(std::initializer_list<std::uint32_t> colours) {
    ByteVector d;
    for (auto c : colours) d = concat({d, words({c}, 3)});
    return chunk("CMAP", d);
}

// Colour ranges: Deluxe Paint's (16384 is 60 steps a second) and Graphicraft's.
inline ByteVector crng(unsigned rate, unsigned flags, unsigned low, unsigned high) {
    return chunk("CRNG", concat({w16({0, rate, flags}), words({low, high}, 1)}));
}
inline ByteVector ccrt(int direction, unsigned start, unsigned end, unsigned seconds, unsigned microseconds) {
    return chunk("CCRT", concat({w16({std::uint32_t(direction) & 0xFFFF}), words({start, end}, 1),
                                 w32({seconds, microseconds}), w16({0})}));
}

// FORM ANIM around the given frames (each a FORM ILBM).
inline ByteVector animFile(const std::vector<ByteVector>& frames) { return form("ANIM", frames); }

}  // namespace velarium::testing
