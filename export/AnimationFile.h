#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ANIMParser.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/Error.h"

namespace velarium::exporter {

// Files larger than this are refused rather than read into memory.
constexpr std::uint64_t kMaxAnimationFileSize = std::uint64_t(100) * 1024 * 1024;

// Reads the whole file into memory; null (and the error) when it cannot be
// read or is larger than kMaxAnimationFileSize.
SharedBytes readAnimationFile(const std::string& path, Error* error);

// Reads and parses the file; null (and the error) unless the parser found
// at least one frame.
std::unique_ptr<ANIMParser> openAnimation(const std::string& path, Error* error);

}  // namespace velarium::exporter
