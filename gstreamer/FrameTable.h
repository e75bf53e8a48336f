#pragma once

// The frames of the track as GStreamer sees them: each frame's start and
// duration in nanoseconds, found by walking a sample cursor of the format
// reader once when the file is opened.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium::gst {

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
    FrameTable(const std::vector<MediaTime>& starts, const std::vector<MediaTime>& durations);

    // Walks a copy of `cursor` from the first sample to the last.
    static FrameTable fromCursor(const MESampleCursor& cursor);

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

}  // namespace velarium::gst
