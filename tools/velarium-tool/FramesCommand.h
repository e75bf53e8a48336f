#pragma once

#include <cstdint>
#include <string>

#include "tools/velarium-tool/CommandLine.h"

namespace velarium::tool {

// `frames FILE -o DIR|- [--format png|bgra] [--from N] [--count M]`: writes
// the decoded frames; returns the exit status.
int runFramesCommand(const FramesOptions& options);

// "frame_0007.png": the index zero-padded to as many digits as the
// animation's last index needs (at least four), so names sort in frame order.
std::string frameFileName(std::uint64_t index, std::uint64_t frameCount, const char* extension);

}  // namespace velarium::tool
