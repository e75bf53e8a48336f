// Which frames of the file an export shows, and for how long.
#include "export/Timeline.h"

#include <string>

#include "export/ExportError.h"

namespace velarium::exporter {

bool exportsWholeFile(const ExportOptions& options) { return options.from == 0 && !options.count; }

bool planTimeline(const std::vector<SampleTime>& times, const ExportOptions& options, bool endsWithWrapUp,
                  std::vector<TimelineEntry>* entries, Error* error) {
    const std::uint64_t total = times.size();
    const std::uint64_t from = options.from;
    const std::uint64_t count = options.count.value_or(from < total ? total - from : 0);
    if (from >= total || count == 0 || count > total - from)
        return fail(error, exportError(kExportErrorRange, "The animation has " + std::to_string(total) +
                                                              " frames; frames " + std::to_string(from) + " to " +
                                                              std::to_string(from + count) + " are not all in it"));
    entries->clear();
    if (exportsWholeFile(options) && endsWithWrapUp && total >= 2 * kWrapUpFrames) {
        for (std::uint64_t i = 0; i < total - kWrapUpFrames; ++i)
            entries->push_back({i, i < kWrapUpFrames ? times[total - kWrapUpFrames + i].duration : times[i].duration});
        return true;
    }
    for (std::uint64_t i = from; i < from + count; ++i) entries->push_back({i, times[i].duration});
    return true;
}

}  // namespace velarium::exporter
