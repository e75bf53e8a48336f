#pragma once

// The frames of a track on a nanosecond clock, as GStreamer sees them: each
// frame's start and duration in nanoseconds, from the sample times the
// track's walker lists. The GStreamer plugin times its buffers by it, and
// hosts that must show the frame GStreamer shows at a time look it up here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/SampleWalker.h"

namespace velarium {

// A media time in nanoseconds, rounded to the nearest; invalid or negative
// times count as 0.
std::uint64_t nanoseconds(const MediaTime& time);

struct FrameRate {
    int numerator = 0;
    int denominator = 1;
};

class FrameTable {
public:
    FrameTable() = default;
    // From each frame's presentation time and duration, in frame order.
    explicit FrameTable(const std::vector<SampleTime>& samples);

    std::size_t count() const { return starts_.size(); }
    // A frame's start, and its duration as its rounded end less its rounded
    // start, so that consecutive buffers neither overlap nor leave gaps.
    std::uint64_t start(std::size_t index) const { return starts_[index]; }
    std::uint64_t duration(std::size_t index) const { return ends_[index] - starts_[index]; }
    std::uint64_t end() const { return ends_.empty() ? 0 : ends_.back(); }

    // The first frame that ends after `time`; count() when none does.
    std::size_t frameAt(std::uint64_t time) const;

    // The rate when every frame lasts the same positive time; 0/1 (variable)
    // otherwise, or when there are no frames.
    FrameRate frameRate() const { return frameRate_; }

private:
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint64_t> ends_;
    FrameRate frameRate_;
};

}  // namespace velarium
