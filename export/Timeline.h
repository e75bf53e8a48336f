#pragma once

#include <cstdint>
#include <vector>

#include "export/Exporter.h"
#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/SampleWalker.h"

namespace velarium::exporter {

// Frames that rebuild frames 0 and 1 at the end of Deluxe Paint animations,
// so that a double-buffered player loops without a jump.
inline constexpr std::uint64_t kWrapUpFrames = 2;

// One frame of the file as the export shows it, for how long.
struct TimelineEntry {
    std::uint64_t frame = 0;
    MediaTime duration;
};

// The file's frames the options select, in order: [from, from + count), or
// every frame. When every frame is exported and the file ends with wrap-up
// frames, those two are left out and frames 0 and 1 take their durations,
// so that one lap of the export equals a lap of the player after the first.
// False with kExportErrorRange when the selection is not within the file.
bool planTimeline(const std::vector<SampleTime>& times, const ExportOptions& options, bool endsWithWrapUp,
                  std::vector<TimelineEntry>* entries, Error* error);

// Whether the options export every frame, and so look for wrap-up frames.
bool exportsWholeFile(const ExportOptions& options);

}  // namespace velarium::exporter
