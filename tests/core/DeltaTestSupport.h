#pragma once

// Helpers for the delta decoder tests: a chunk builder that lays out a
// pointer table and the lists it points to, and a planar bitmap whose
// changed bytes can be compared with a table of expected bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <tuple>
#include <vector>

#include "core/PlanarBitmap.h"
#include "support/IFFWriter.h"

namespace velarium::testing {

// A chunk that opens with a table of 32-bit pointers; each list appended is
// pointed to by one entry, its offset divided by `unit` (2 for halved pointers).
class DeltaChunk {
public:
    explicit DeltaChunk(std::size_t tableEntries, unsigned unit = 1) : bytes_(4 * tableEntries, 0), unit_(unit) {}

    DeltaChunk& list(std::size_t entry, const ByteVector& content) {
        while (bytes_.size() % unit_) bytes_.push_back(0);
        setEntry(entry, static_cast<std::uint32_t>(bytes_.size() / unit_));
        appendBytes(bytes_, content);
        return *this;
    }

    DeltaChunk& setEntry(std::size_t entry, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes_[4 * entry + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        return *this;
    }

    // Bytes with no entry pointing at them (for data lists found by a 0 pointer, or padding).
    DeltaChunk& raw(const ByteVector& content) {
        appendBytes(bytes_, content);
        return *this;
    }

    std::size_t size() const { return bytes_.size(); }
    const ByteVector& bytes() const { return bytes_; }

private:
    ByteVector bytes_;
    unsigned unit_;
};

struct ByteAt {
    std::size_t plane, row, column;
    std::uint8_t value;
    bool operator==(const ByteAt&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ByteAt& b) {
    return out << "{plane " << b.plane << ", row " << b.row << ", byte " << b.column << ": 0x" << std::hex
               << unsigned(b.value) << std::dec << "}";
}

// A planar bitmap filled with one byte value.
class TestBitmap {
public:
    TestBitmap(std::size_t width, std::size_t height, std::size_t planes, std::uint8_t fill = 0)
        : geometry_(width, height, planes), fill_(fill), bytes_(geometry_.bufferSize(), fill) {}

    PlanarBitmap view() { return PlanarBitmap(bytes_.data(), geometry_); }

    // Every byte that no longer holds the fill value, in buffer order.
    std::vector<ByteAt> changedBytes() const {
        std::vector<ByteAt> out;
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            if (bytes_[i] == fill_) continue;
            const std::size_t inPlane = i % geometry_.planeSize;
            out.push_back({i / geometry_.planeSize, inPlane / geometry_.rowBytes, inPlane % geometry_.rowBytes,
                           bytes_[i]});
        }
        return out;
    }

private:
    PlanarGeometry geometry_;
    std::uint8_t fill_;
    std::vector<std::uint8_t> bytes_;
};

// `count` bytes of one value written down a column (or along a row) from (plane, row, column).
inline std::vector<ByteAt> column(std::size_t plane, std::size_t row, std::size_t col,
                                  std::initializer_list<std::uint8_t> values) {
    std::vector<ByteAt> out;
    for (auto v : values) out.push_back({plane, row++, col, v});
    return out;
}

inline std::vector<ByteAt> rowBytes(std::size_t plane, std::size_t row, std::size_t col,
                                    std::initializer_list<std::uint8_t> values) {
    std::vector<ByteAt> out;
    for (auto v : values) out.push_back({plane, row, col++, v});
    return out;
}

inline std::vector<ByteAt> join(std::initializer_list<std::vector<ByteAt>> parts) {
    std::vector<ByteAt> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Sorted as the bitmap lists them, so a table can be written in any order.
inline std::vector<ByteAt> inBufferOrder(std::vector<ByteAt> bytes) {
    std::sort(bytes.begin(), bytes.end(), [](const ByteAt& a, const ByteAt& b) {
        return std::tie(a.plane, a.row, a.column) < std::tie(b.plane, b.row, b.column);
    });
    return bytes;
}

// One decoder case: its chunk is decoded into a bitmap of the case's size
// filled with `fill`, and exactly the expected bytes must change. `option`
// is the decoder's own argument (option bits or word size); `exclusiveOr`
// the XOR flag of the decoders that take one.
struct DeltaCase {
    const char* name;
    std::size_t width, height, planes;
    std::uint32_t option;
    ByteVector chunk;
    std::vector<ByteAt> expected;
    std::uint8_t fill = 0;
    bool exclusiveOr = false;
};

// Runs every case through `decode(case, data, length, bitmap)`.
template <typename Decode>
void expectChangedBytes(const std::vector<DeltaCase>& cases, Decode decode) {
    for (const DeltaCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestBitmap bitmap(c.width, c.height, c.planes, c.fill);
        decode(c, c.chunk.data(), c.chunk.size(), bitmap.view());
        EXPECT_EQ(bitmap.changedBytes(), inBufferOrder(c.expected));
    }
}

}  // namespace velarium::testing
