#pragma once

#include <cstddef>
#include <cstdint>

namespace velarium {

// Layout of a planar bitmap: numPlanes bitplanes one after another, each
// `height` rows of rowBytes bytes (the row taken up to a whole 16-bit word),
// the leftmost pixel in bit 7 of a byte.
struct PlanarGeometry {
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t numPlanes = 0;
    std::size_t rowBytes = 0;
    std::size_t planeSize = 0;

    static constexpr std::size_t kRowAlignment = 2;  // rows end on a 16-bit word

    PlanarGeometry() = default;
    PlanarGeometry(std::size_t width, std::size_t height, std::size_t numPlanes)
        : width(width), height(height), numPlanes(numPlanes),
          rowBytes((width + 15) / 16 * kRowAlignment), planeSize(rowBytes * height) {}

    std::size_t bufferSize() const { return planeSize * numPlanes; }
    // Bytes of a row that hold pixels (the rest of the row is word padding).
    std::size_t usedRowBytes() const { return (width + 7) / 8; }
};

// One bitplane of a working buffer. Writes are bounds-checked here, once, so
// that decoders can be written as the format reads: a write that would fall
// outside its row or plane is dropped.
class Plane {
public:
    Plane(std::uint8_t* data, const PlanarGeometry& geometry)
        : data_(data), size_(geometry.planeSize), rowBytes_(geometry.rowBytes), height_(geometry.height) {}

    std::size_t size() const { return size_; }
    std::size_t rowBytes() const { return rowBytes_; }
    std::size_t height() const { return height_; }
    std::uint8_t* data() { return data_; }

    // Stores or XORs `count` bytes at a byte offset of the plane, seen as
    // one run of bytes, only when all of them lie inside the plane. Returns
    // whether it wrote.
    bool apply(std::size_t offset, const std::uint8_t* source, std::size_t count, bool exclusiveOr) {
        if (offset > size_ || size_ - offset < count) return false;
        applyUnchecked(data_ + offset, source, count, exclusiveOr);
        return true;
    }

    // Stores or XORs `count` bytes from byte `column` of a row, dropping the
    // bytes that fall left or right of the row and whole rows below the last.
    void applyInRow(std::size_t row, std::ptrdiff_t column, const std::uint8_t* source, std::size_t count,
                    bool exclusiveOr) {
        if (row >= height_) return;
        if (column < 0) {
            const std::size_t left = static_cast<std::size_t>(-column);
            if (left >= count) return;
            source += left;
            count -= left;
            column = 0;
        }
        const std::size_t first = static_cast<std::size_t>(column);
        if (first >= rowBytes_) return;
        if (count > rowBytes_ - first) count = rowBytes_ - first;
        applyUnchecked(data_ + row * rowBytes_ + first, source, count, exclusiveOr);
    }

    // `count` copies of `value` down byte `column` from `row`, one per row;
    // the rows below the last are dropped.
    void fillColumn(std::size_t row, std::size_t column, std::uint8_t value, std::size_t count, bool exclusiveOr) {
        std::uint8_t* target = columnStart(row, column, count);
        if (!target) return;
        if (exclusiveOr) {
            for (std::size_t i = 0; i < count; ++i, target += rowBytes_) *target ^= value;
        } else {
            for (std::size_t i = 0; i < count; ++i, target += rowBytes_) *target = value;
        }
    }

    // `count` bytes from `source` down byte `column` from `row`, one per
    // row; the rows below the last are dropped.
    void applyColumn(std::size_t row, std::size_t column, const std::uint8_t* source, std::size_t count,
                     bool exclusiveOr) {
        std::uint8_t* target = columnStart(row, column, count);
        if (!target) return;
        if (exclusiveOr) {
            for (std::size_t i = 0; i < count; ++i, target += rowBytes_) *target ^= source[i];
        } else {
            for (std::size_t i = 0; i < count; ++i, target += rowBytes_) *target = source[i];
        }
    }

private:
    // Where a run down a column starts, with `count` cut to the rows left;
    // null when the run misses the plane.
    std::uint8_t* columnStart(std::size_t row, std::size_t column, std::size_t& count) const {
        if (row >= height_ || column >= rowBytes_) return nullptr;
        if (count > height_ - row) count = height_ - row;
        return data_ + row * rowBytes_ + column;
    }

    static void applyUnchecked(std::uint8_t* target, const std::uint8_t* source, std::size_t count,
                               bool exclusiveOr) {
        if (exclusiveOr) {
            for (std::size_t i = 0; i < count; ++i) target[i] ^= source[i];
        } else {
            for (std::size_t i = 0; i < count; ++i) target[i] = source[i];
        }
    }

    std::uint8_t* data_;
    std::size_t size_;
    std::size_t rowBytes_;
    std::size_t height_;
};

// A whole working buffer seen as planes.
class PlanarBitmap {
public:
    PlanarBitmap(std::uint8_t* data, const PlanarGeometry& geometry) : data_(data), geometry_(geometry) {}

    const PlanarGeometry& geometry() const { return geometry_; }
    std::uint8_t* data() { return data_; }
    Plane plane(std::size_t index) { return Plane(data_ + index * geometry_.planeSize, geometry_); }

private:
    std::uint8_t* data_;
    PlanarGeometry geometry_;
};

}  // namespace velarium
