#pragma once

#include <cstdint>
#include <vector>

#include "core/ColourCycling.h"
#include "export/Timeline.h"
#include "platform/coremedia/MediaTime.h"

namespace velarium::exporter {

// The longest an export with colour cycling is made to run, in seconds.
inline constexpr std::uint64_t kMaxCycledSeconds = 60;
// Cycle steps are baked into this many seconds at most: past them the
// colours stand, so that a frame held for hours (as a damaged file may ask)
// does not become millions of pictures.
inline constexpr std::uint64_t kMaxCycledStepSeconds = 600;

// One picture of an export with colour cycling: a frame of the file, shown
// from `start` (also the time since cycling began) for `duration`.
struct CycledEntry {
    std::uint64_t frame = 0;
    MediaTime start;
    MediaTime duration;
};

struct CycledTimeline {
    std::vector<CycledEntry> entries;
    std::uint64_t laps = 1;         // times the frames of `lap` are played
    std::uint64_t mergedSteps = 0;  // cycle steps that fell too close to another picture
};

// The pictures of an export with colour cycling baked in: a new picture at
// every frame start and every step of a cycling range, over as many laps of
// the animation as bring every range back to where it started (so that the
// export loops without a jump), when that is within kMaxCycledSeconds; else
// enough laps for the slowest range to turn once, within that time. `once`
// plays a single lap. Steps are kept at least 1/maxPicturesPerSecond apart
// from the pictures around them; a step that is not waits for the next
// picture, which shows the colours as they then stand, and is counted in
// mergedSteps. Frame starts are always kept.
CycledTimeline planCycledTimeline(const std::vector<TimelineEntry>& lap, const std::vector<ColourRange>& ranges,
                                  unsigned maxPicturesPerSecond, bool once);

}  // namespace velarium::exporter
