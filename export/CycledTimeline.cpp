// The pictures of an export that shows colour cycling: frame starts and
// cycle steps, laid out on exact fractions of a second.
#include "export/CycledTimeline.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace velarium::exporter {
namespace {

using Wide = unsigned __int128;

Wide gcd(Wide a, Wide b) {
    while (b != 0) {
        const Wide r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// A time of zero or more seconds, n / d, kept reduced. The sums involved
// (seconds of an export, registers per range) stay far inside 128 bits.
struct Seconds {
    Wide n = 0;
    Wide d = 1;

    static Seconds of(Wide n, Wide d) {
        const Wide g = gcd(n, d);
        return g > 1 ? Seconds{n / g, d / g} : Seconds{n, d};
    }
    static Seconds of(const MediaTime& time) {
        if (!time.isNumeric() || time.value <= 0 || time.timescale <= 0) return {};
        return of(Wide(time.value), Wide(time.timescale));
    }
    Seconds operator+(const Seconds& o) const { return of(n * o.d + o.n * d, d * o.d); }
    Seconds operator-(const Seconds& o) const { return of(n * o.d - o.n * d, d * o.d); }
    Seconds times(Wide k) const { return of(n * k, d); }
    bool operator<(const Seconds& o) const { return n * o.d < o.n * d; }
    bool operator==(const Seconds& o) const { return n == o.n && d == o.d; }
    bool operator<=(const Seconds& o) const { return !(o < *this); }

    // The time as a MediaTime: exact when the denominator fits a timescale,
    // else rounded up to the microsecond, so that a step is never shown early.
    MediaTime media() const {
        if (d <= Wide(std::numeric_limits<std::int32_t>::max()) && n <= Wide(std::numeric_limits<std::int64_t>::max()))
            return MediaTime::make(static_cast<std::int64_t>(n), static_cast<std::int32_t>(d));
        constexpr Wide kMicroseconds = 1000000;
        return MediaTime::make(static_cast<std::int64_t>((n * kMicroseconds + d - 1) / d), 1000000);
    }
};

// The least common multiple of two times, when it stays within `limit`.
std::optional<Seconds> commonMultiple(const Seconds& a, const Seconds& b, const Seconds& limit) {
    const Wide numerator = a.n / gcd(a.n, b.n) * b.n;
    const Seconds multiple = Seconds::of(numerator, gcd(a.d, b.d));
    if (limit < multiple) return std::nullopt;
    return multiple;
}

// Step m of a range falls at m × d / n seconds, for n / d steps a second.
Seconds stepTime(const ColourRange& range, Wide step) {
    return Seconds::of(step * range.stepsDenominator, range.stepsNumerator);
}

// One full turn of a range: a step for each of its cells.
Seconds turnTime(const ColourRange& range) { return stepTime(range, range.cells.size()); }

// How many laps of `lapTime` the export plays.
std::uint64_t lapsFor(const Seconds& lapTime, const std::vector<const ColourRange*>& cycling, bool once) {
    if (once || cycling.empty()) return 1;
    const Seconds limit = Seconds::of(kMaxCycledSeconds, 1);
    std::optional<Seconds> seamless = lapTime;
    for (const ColourRange* range : cycling)
        if (seamless) seamless = commonMultiple(*seamless, turnTime(*range), limit);
    if (seamless) return static_cast<std::uint64_t>(seamless->n * lapTime.d / (seamless->d * lapTime.n));

    Seconds slowest;
    for (const ColourRange* range : cycling) slowest = std::max(slowest, turnTime(*range));
    const Wide laps = (slowest.n * lapTime.d + slowest.d * lapTime.n - 1) / (slowest.d * lapTime.n);
    const Wide fitting = limit.n * lapTime.d / (limit.d * lapTime.n);
    return static_cast<std::uint64_t>(std::max<Wide>(1, std::min(laps, fitting)));
}

// The step times of every cycling range strictly between `from` and `to`,
// in order, each once.
std::vector<Seconds> stepsBetween(const std::vector<const ColourRange*>& cycling, const Seconds& from,
                                  const Seconds& to) {
    std::vector<Seconds> steps;
    for (const ColourRange* range : cycling) {
        // The first step after `from`: floor(from × steps a second) + 1.
        Wide step = from.n * range->stepsNumerator / (from.d * range->stepsDenominator) + 1;
        for (Seconds time = stepTime(*range, step); time < to; time = stepTime(*range, ++step))
            steps.push_back(time);
    }
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    return steps;
}

}  // namespace

CycledTimeline planCycledTimeline(const std::vector<TimelineEntry>& lap, const std::vector<ColourRange>& ranges,
                                  unsigned maxPicturesPerSecond, bool once) {
    std::vector<const ColourRange*> cycling;
    for (const ColourRange& range : ranges)
        if (range.cycles()) cycling.push_back(&range);
    Seconds lapTime;
    for (const TimelineEntry& entry : lap) lapTime = lapTime + Seconds::of(entry.duration);

    CycledTimeline timeline;
    if (lapTime.n == 0) cycling.clear();
    timeline.laps = lapsFor(lapTime, cycling, once);
    const Seconds gap = Seconds::of(1, std::max(maxPicturesPerSecond, 1u));
    const Seconds stepsEnd = Seconds::of(kMaxCycledStepSeconds, 1);

    std::vector<Seconds> starts;
    std::vector<std::uint64_t> frames;
    Seconds frameStart;
    for (std::uint64_t round = 0; round < timeline.laps; ++round) {
        for (const TimelineEntry& entry : lap) {
            const Seconds frameEnd = frameStart + Seconds::of(entry.duration);
            starts.push_back(frameStart);
            frames.push_back(entry.frame);
            Seconds last = frameStart;
            for (const Seconds& step : stepsBetween(cycling, frameStart, std::min(frameEnd, stepsEnd))) {
                if (gap <= step - last && gap <= frameEnd - step) {
                    starts.push_back(step);
                    frames.push_back(entry.frame);
                    last = step;
                } else {
                    ++timeline.mergedSteps;
                }
            }
            frameStart = frameEnd;
        }
    }

    timeline.entries.reserve(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const MediaTime start = starts[i].media();
        const MediaTime end = i + 1 < starts.size() ? starts[i + 1].media() : frameStart.media();
        timeline.entries.push_back({frames[i], start, end - start});
    }
    return timeline;
}

}  // namespace velarium::exporter
