#pragma once

#include <cstdio>
#include <string>

#include "tools/velarium-tool/CommandLine.h"
#include "tools/velarium-tool/FrameSource.h"

namespace velarium::tool {

// Where the `frames` command puts its frames: standard output, back to back
// as raw BGRA, or one file per frame (PNG or raw BGRA) in a folder.
class FrameOutput {
public:
    FrameOutput(const FramesOptions& options, std::uint64_t width, std::uint64_t height, std::uint64_t frameCount);

    // Creates the folder when there is one.
    bool open(Error* error);
    bool write(std::uint64_t index, const Frame& frame, Error* error);
    // Flushes standard output.
    bool finish(Error* error);

private:
    std::string folder_;  // empty for standard output
    FrameFormat format_;
    std::uint64_t width_;
    std::uint64_t height_;
    std::uint64_t frameCount_;
};

// "frame_0007.png": the index zero-padded to as many digits as the
// animation's last index needs (at least four), so names sort in frame order.
std::string frameFileName(std::uint64_t index, std::uint64_t frameCount, const char* extension);

}  // namespace velarium::tool
