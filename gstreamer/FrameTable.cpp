#include "gstreamer/FrameTable.h"

#include <algorithm>
#include <numeric>

namespace velarium::gst {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

FrameRate constantRate(const std::vector<MediaTime>& durations) {
    if (durations.empty()) return {};
    const MediaTime& first = durations.front();
    if (!first.isNumeric() || first.value <= 0 || first.timescale <= 0) return {};
    if (!std::all_of(durations.begin(), durations.end(), [&](const MediaTime& d) { return d == first; })) return {};
    // The rate is timescale / value frames per second, reduced.
    const std::int64_t divisor = std::gcd(first.value, std::int64_t(first.timescale));
    const std::int64_t numerator = first.timescale / divisor;
    const std::int64_t denominator = first.value / divisor;
    if (denominator > INT32_MAX) return {};
    return {static_cast<int>(numerator), static_cast<int>(denominator)};
}

}  // namespace

std::uint64_t nanoseconds(const MediaTime& time) {
    if (!time.isNumeric() || time.value <= 0 || time.timescale <= 0) return 0;
    const __int128 scaled = static_cast<__int128>(time.value) * kNanosecondsPerSecond;
    return static_cast<std::uint64_t>((scaled + time.timescale / 2) / time.timescale);
}

FrameTable::FrameTable(const std::vector<MediaTime>& starts, const std::vector<MediaTime>& durations)
    : frameRate_(constantRate(durations)) {
    const std::size_t count = std::min(starts.size(), durations.size());
    starts_.reserve(count);
    ends_.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t start = nanoseconds(starts[i]);
        starts_.push_back(start);
        ends_.push_back(std::max(start, nanoseconds(starts[i] + durations[i])));
    }
}

FrameTable FrameTable::fromCursor(const MESampleCursor& cursor) {
    std::vector<MediaTime> starts, durations;
    const MESampleCursorRef walker = cursor.copy();
    if (!walker) return {};
    for (;;) {
        const MediaTime start = walker->presentationTimeStamp();
        if (!start.isValid()) break;  // an empty track
        starts.push_back(start);
        durations.push_back(walker->currentSampleDuration());
        std::int64_t taken = 0;
        walker->stepInDecodeOrderByCount(1, [&](std::int64_t steps, const Error*) { taken = steps; });
        if (taken != 1) break;
    }
    return FrameTable(starts, durations);
}

std::size_t FrameTable::frameAt(std::uint64_t time) const {
    // Ends are ascending: the first end strictly after the time.
    return static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), time) - ends_.begin());
}

}  // namespace velarium::gst
