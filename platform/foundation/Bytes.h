#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velarium {

using Bytes = std::vector<std::uint8_t>;

// Immutable bytes shared by reference (file contents, colour maps).
using SharedBytes = std::shared_ptr<const Bytes>;

// Growable bytes shared by reference (working buffers, decoded frames).
using SharedMutableBytes = std::shared_ptr<Bytes>;

inline SharedBytes makeSharedBytes(Bytes bytes) {
    return std::make_shared<const Bytes>(std::move(bytes));
}

inline SharedBytes makeSharedBytes(const std::uint8_t* data, std::size_t length) {
    return std::make_shared<const Bytes>(data, data + length);
}

}  // namespace velarium
