#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/foundation/Bytes.h"

namespace velarium {

// Copies of the decoding state taken while an animation is decoded in order,
// so that a request far from the frame in hand can start close to it instead
// of at the last complete picture.
//
// The state after a frame is both working buffers: the picture and the
// buffer a two-back (interleave 0) delta writes into next. A checkpoint
// keeps them by role, so restoring puts each back where it was.
//
// Checkpoints sit on a fixed grid of frames interval(), 2 × interval(), …;
// the interval is chosen once, from the frame count, so that a full grid
// spans the whole animation within the memory limit. A grid frame is filled
// the first time decoding passes it.
class FrameCheckpoints {
public:
    // Taking a copy costs about as much as decoding several small deltas, so
    // checkpoints closer than this would slow playback for little gain.
    static constexpr std::uint64_t kMinInterval = 8;

    // Drops every checkpoint and lays out a grid for `frameCount` frames whose
    // working buffers hold `bufferBytes` bytes each, within `memoryLimit`
    // bytes (0: none).
    void plan(std::uint64_t frameCount, std::uint64_t bufferBytes, std::uint64_t memoryLimit);

    // Frames between two checkpoints; 0 when none are kept.
    std::uint64_t interval() const { return interval_; }
    // Bytes the checkpoints taken so far hold; at most the planned limit.
    std::uint64_t memoryUsage() const { return memoryUsage_; }

    // Whether `frame` is a grid frame whose state is not yet kept.
    bool wants(std::uint64_t frame) const;
    void save(std::uint64_t frame, const Bytes& picture, const Bytes& twoBack);
    // The latest kept checkpoint at or before `frame`.
    std::optional<std::uint64_t> latestAtOrBefore(std::uint64_t frame) const;
    // Puts the state after checkpoint frame `frame` back into the working buffers.
    void restore(std::uint64_t frame, Bytes& picture, Bytes& twoBack) const;

private:
    // Slot s holds the state after frame (s + 1) × interval_, picture then
    // two-back buffer; empty until taken.
    std::vector<Bytes> slots_;
    std::uint64_t interval_ = 0;
    std::uint64_t bufferBytes_ = 0;
    std::uint64_t memoryUsage_ = 0;
};

}  // namespace velarium
