#include "app/LoopStart.h"

#include <optional>
#include <vector>

#include "platform/playback/ExtensionCall.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

constexpr std::uint64_t kWrapUpFrames = 2;

using FrameBytes = std::vector<std::uint8_t>;

// Reads frames through one sample cursor that moves from frame to frame.
class FrameReader {
public:
    explicit FrameReader(const PlayerItem& item) : item_(item) {}

    std::optional<FrameBytes> frameAtIndex(std::uint64_t index) {
        if (!cursor_) {
            ExtensionCall<MESampleCursorRef> first;
            item_.videoTrackReader()->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(
                first.handler());
            if (!first.succeeded(nullptr, "")) return std::nullopt;
            cursor_ = first.value;
        }
        if (index != position_) {
            ExtensionCall<std::int64_t> step;
            cursor_->stepInDecodeOrderByCount(static_cast<std::int64_t>(index) - static_cast<std::int64_t>(position_),
                                              step.handler());
            if (!step.succeeded(nullptr, "")) return std::nullopt;
            position_ += step.value;
            if (position_ != index) return std::nullopt;
        }
        ExtensionCall<SampleBufferRef> sample;
        cursor_->loadSampleBufferContainingSamplesToEndCursor(nullptr, sample.handler());
        if (!sample.succeeded(nullptr, "") || !sample.value->dataBuffer()) return std::nullopt;
        const BlockBufferRef& data = sample.value->dataBuffer();
        FrameBytes bytes(data->dataLength());
        if (data->copyDataBytes(0, bytes.size(), bytes.data()) != 0) return std::nullopt;
        return bytes;
    }

private:
    const PlayerItem& item_;
    MESampleCursorRef cursor_;
    std::uint64_t position_ = 0;
};

}  // namespace

std::uint64_t findLoopStartIndex(const PlayerItem& item, const std::atomic<bool>& cancelled) {
    if (item.status() != PlayerItemStatus::readyToPlay) return 0;
    const std::uint64_t count = item.sampleTimes().size();
    if (count < 2 * kWrapUpFrames) return 0;
    // One pass forwards: the opening frames, then the closing ones.
    FrameReader reader(item);
    std::vector<FrameBytes> opening;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i) {
        if (cancelled) return 0;
        auto frame = reader.frameAtIndex(i);
        if (!frame) return 0;
        opening.push_back(std::move(*frame));
    }
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i) {
        if (cancelled) return 0;
        const auto closing = reader.frameAtIndex(count - kWrapUpFrames + i);
        if (!closing || *closing != opening[i]) return 0;
    }
    return kWrapUpFrames;
}

LoopStartSearch::LoopStartSearch(std::shared_ptr<PlayerItem> item, std::function<void(std::uint64_t)> found)
    : thread_([this, item = std::move(item), found = std::move(found)] {
          const std::uint64_t index = findLoopStartIndex(*item, cancelled_);
          if (!cancelled_) found(index);
      }) {}

LoopStartSearch::~LoopStartSearch() {
    cancelled_ = true;
    thread_.join();
}

}  // namespace velarium::app
