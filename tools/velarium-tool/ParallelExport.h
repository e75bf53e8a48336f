#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "tools/velarium-tool/FrameSource.h"

namespace velarium::tool {

// Takes one decoded frame in order; false (and the error) stops the export.
using FrameWriter = std::function<bool(std::uint64_t index, const Frame& frame, Error* error)>;

// Decodes frames [first, end) on one worker thread per source and hands them
// to `write` strictly in frame order on the calling thread. With n sources,
// worker w takes frames first + w, first + w + n, ...: its own parser still
// goes through every delta, but converts only its own frames. The sources
// must all read the same animation. Fails with the first failure in frame
// order, after writing every frame before it.
bool exportFramesInParallel(const std::vector<std::unique_ptr<FrameSource>>& sources, std::uint64_t first,
                            std::uint64_t end, const FrameWriter& write, Error* error);

}  // namespace velarium::tool
