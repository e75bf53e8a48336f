#pragma once

#include <cstdint>
#include <string>

#include "platform/foundation/Error.h"

namespace velarium::tool {

// Writes a BGRA picture (rows of width × 4 bytes, `bytesPerRow` apart) to
// `path` as an 8-bit RGBA PNG.
bool writePNG(const std::string& path, const std::uint8_t* bgra, std::uint64_t bytesPerRow, std::uint64_t width,
              std::uint64_t height, Error* error);

}  // namespace velarium::tool
