#pragma once

#include <cstddef>
#include <cstdint>

#include "core/BigEndian.h"

namespace velarium {

// A bounds-checked big-endian cursor over one chunk's data. Every read either
// succeeds completely or fails without moving and without touching memory
// outside the chunk, so decoders can simply stop when a read fails.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}

    std::size_t length() const { return length_; }
    std::size_t position() const { return position_; }
    std::size_t remaining() const { return length_ - position_; }
    bool atEnd() const { return position_ >= length_; }
    bool canRead(std::size_t count) const { return count <= remaining(); }

    // Moves to an absolute position; false (and no move) past the end.
    bool seek(std::size_t position) {
        if (position > length_) return false;
        position_ = position;
        return true;
    }

    // A second cursor over the same chunk, at `position` (clamped to the end).
    ByteReader at(std::size_t position) const {
        ByteReader other(data_, length_);
        other.position_ = position < length_ ? position : length_;
        return other;
    }

    bool skip(std::size_t count) {
        if (!canRead(count)) return false;
        position_ += count;
        return true;
    }

    // The next `count` bytes, advancing past them; null when fewer remain.
    const std::uint8_t* take(std::size_t count) {
        if (!canRead(count)) return nullptr;
        const std::uint8_t* p = data_ + position_;
        position_ += count;
        return p;
    }

    bool readU8(std::uint8_t& out) {
        const std::uint8_t* p = take(1);
        if (!p) return false;
        out = *p;
        return true;
    }

    bool readU16(std::uint16_t& out) {
        const std::uint8_t* p = take(2);
        if (!p) return false;
        out = readU16BE(p);
        return true;
    }

    bool readU32(std::uint32_t& out) {
        const std::uint8_t* p = take(4);
        if (!p) return false;
        out = readU32BE(p);
        return true;
    }

    // A big-endian unsigned field of 1, 2 or 4 bytes.
    bool readUnsigned(std::size_t size, std::uint32_t& out) {
        std::uint8_t b;
        std::uint16_t w;
        switch (size) {
            case 1: if (!readU8(b)) return false; out = b; return true;
            case 2: if (!readU16(w)) return false; out = w; return true;
            case 4: return readU32(out);
            default: return false;
        }
    }

    // A 32-bit field at an absolute offset, leaving the cursor where it is.
    bool peekU32At(std::size_t offset, std::uint32_t& out) const {
        if (offset > length_ || length_ - offset < 4) return false;
        out = readU32BE(data_ + offset);
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t length_;
    std::size_t position_ = 0;
};

}  // namespace velarium
