// Checkpoints of the decoding state: where they go and how they are kept.
#include "core/FrameCheckpoints.h"

#include <algorithm>

namespace velarium {

void FrameCheckpoints::plan(std::uint64_t frameCount, std::uint64_t bufferBytes, std::uint64_t memoryLimit) {
    slots_.clear();
    slots_.shrink_to_fit();
    interval_ = 0;
    bufferBytes_ = bufferBytes;
    memoryUsage_ = 0;
    const unsigned __int128 stateBytes = static_cast<unsigned __int128>(bufferBytes) * 2;
    if (frameCount < 2 || stateBytes == 0 || memoryLimit == 0) return;

    // A full grid holds frameCount / interval states; the interval is the
    // smallest that keeps them within the limit.
    const unsigned __int128 spread = (frameCount * stateBytes + memoryLimit - 1) / memoryLimit;
    const std::uint64_t interval = std::max<std::uint64_t>(
        kMinInterval, static_cast<std::uint64_t>(std::min<unsigned __int128>(spread, frameCount)));
    // Frame 0 is never a checkpoint: decoding starts there anyway.
    const std::uint64_t slots = (frameCount - 1) / interval;
    if (slots == 0) return;
    interval_ = interval;
    slots_.resize(slots);
}

bool FrameCheckpoints::wants(std::uint64_t frame) const {
    if (interval_ == 0 || frame == 0 || frame % interval_ != 0) return false;
    const std::uint64_t slot = frame / interval_ - 1;
    return slot < slots_.size() && slots_[slot].empty();
}

void FrameCheckpoints::save(std::uint64_t frame, const Bytes& picture, const Bytes& twoBack) {
    if (!wants(frame) || picture.size() != bufferBytes_ || twoBack.size() != bufferBytes_) return;
    Bytes& state = slots_[frame / interval_ - 1];
    state.reserve(2 * bufferBytes_);
    state.insert(state.end(), picture.begin(), picture.end());
    state.insert(state.end(), twoBack.begin(), twoBack.end());
    memoryUsage_ += state.capacity();
}

std::optional<std::uint64_t> FrameCheckpoints::latestAtOrBefore(std::uint64_t frame) const {
    if (interval_ == 0) return std::nullopt;
    for (std::uint64_t slot = std::min<std::uint64_t>(frame / interval_, slots_.size()); slot > 0; --slot)
        if (!slots_[slot - 1].empty()) return slot * interval_;
    return std::nullopt;
}

void FrameCheckpoints::restore(std::uint64_t frame, Bytes& picture, Bytes& twoBack) const {
    const Bytes& state = slots_[frame / interval_ - 1];
    const auto middle = state.begin() + static_cast<std::ptrdiff_t>(bufferBytes_);
    std::copy(state.begin(), middle, picture.begin());
    std::copy(middle, state.end(), twoBack.begin());
}

}  // namespace velarium
