#include "platform/mediaextension/FrameTable.h"

#include <algorithm>
#include <numeric>

namespace velarium {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

FrameRate constantRate(const std::vector<SampleTime>& samples) {
    if (samples.empty()) return {};
    const MediaTime& first = samples.front().duration;
    if (!first.isNumeric() || first.value <= 0 || first.timescale <= 0) return {};
    if (!std::all_of(samples.begin(), samples.end(), [&](const SampleTime& s) { return s.duration == first; })) return {};
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

FrameTable::FrameTable(const std::vector<SampleTime>& samples) : frameRate_(constantRate(samples)) {
    starts_.reserve(samples.size());
    ends_.reserve(samples.size());
    for (const SampleTime& sample : samples) {
        const std::uint64_t start = nanoseconds(sample.presentationTime);
        starts_.push_back(start);
        ends_.push_back(std::max(start, nanoseconds(sample.presentationTime + sample.duration)));
    }
}

std::size_t FrameTable::frameAt(std::uint64_t time) const {
    // Ends are ascending: the first end strictly after the time.
    return static_cast<std::size_t>(std::upper_bound(ends_.begin(), ends_.end(), time) - ends_.begin());
}

}  // namespace velarium
