#include "app/LoopStart.h"

#include <optional>
#include <vector>

#include "platform/mediaextension/SampleWalker.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

constexpr std::uint64_t kWrapUpFrames = 2;

using FrameBytes = std::vector<std::uint8_t>;

// The bytes of frame `index`, read through the track's walker.
std::optional<FrameBytes> frameAtIndex(SampleWalker& walker, std::uint64_t index) {
    const SampleBufferRef sample = walker.loadSample(index, nullptr);
    if (!sample || !sample->dataBuffer()) return std::nullopt;
    const BlockBufferRef& data = sample->dataBuffer();
    FrameBytes bytes(data->dataLength());
    if (data->copyDataBytes(0, bytes.size(), bytes.data()) != 0) return std::nullopt;
    return bytes;
}

}  // namespace

std::uint64_t findLoopStartIndex(const PlayerItem& item, const std::atomic<bool>& cancelled) {
    if (item.status() != PlayerItemStatus::readyToPlay) return 0;
    const std::uint64_t count = item.sampleTimes().size();
    if (count < 2 * kWrapUpFrames) return 0;
    // One pass forwards: the opening frames, then the closing ones.
    SampleWalker walker(item.videoTrackReader());
    std::vector<FrameBytes> opening;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i) {
        if (cancelled) return 0;
        auto frame = frameAtIndex(walker, i);
        if (!frame) return 0;
        opening.push_back(std::move(*frame));
    }
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i) {
        if (cancelled) return 0;
        const auto closing = frameAtIndex(walker, count - kWrapUpFrames + i);
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
