#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/coremedia/MediaTime.h"
#include "platform/foundation/Error.h"

namespace velarium::exporter {

// The formats an animation can be handed on in.
enum class ExportFormat { apng, webp, gif, webm, mp4 };

// "apng", "webp", "gif", "webm", "mp4" (as on the command line), or nothing.
std::optional<ExportFormat> formatNamed(std::string_view name);
// The format a file name asks for by its extension (".apng" and ".png" are
// APNG), or nothing.
std::optional<ExportFormat> formatForPath(std::string_view path);
// The name of the format, as formatNamed reads it.
const char* formatName(ExportFormat format);
// The extension proposed for an export in the format, without the dot.
const char* fileExtension(ExportFormat format);
// WebM and MP4: played by video players, and scaled up by default.
bool isVideo(ExportFormat format);

struct ExportOptions {
    ExportFormat format = ExportFormat::apng;
    // Both axes are multiplied by this (nearest neighbour). 0 picks the
    // default: 1 for the picture formats, and for video the largest even
    // factor that keeps the picture within 1920×1080 (1 when 2 does not fit).
    unsigned scale = 0;
    // Corrects the pixel aspect with the smallest whole factor per axis.
    bool correctAspect = false;
    // The picture's pixel aspect (the file header's xAspect:yAspect), 0 when
    // unknown. The exporter reads frames only through the extensions, which
    // do not carry it: the caller passes what its own reading of the file
    // says (the application's document, the tool's file facts).
    unsigned xAspect = 0;
    unsigned yAspect = 0;
    // The file's frames [from, from + count); every frame when count is empty.
    std::uint64_t from = 0;
    std::optional<std::uint64_t> count;
    // The picture formats loop forever unless this is set.
    bool once = false;
    // Whether an existing file at the output path may be replaced.
    bool replace = false;
    // Bakes the file's colour cycling into the export: a picture at every
    // cycle step too, at most 50 a second for GIF and 60 for the others.
    bool cycleColours = false;
};

// Told of the work per frame, on the exporting thread.
struct ExportObserver {
    // The fraction done, from 0 to 1.
    std::function<void(double fraction)> progress;
    // Polled per frame; when it becomes true the export stops, removes what
    // it wrote and fails with kExportErrorCancelled.
    const std::atomic<bool>* cancelled = nullptr;
};

// What an export wrote.
struct ExportReport {
    std::uint64_t frames = 0;           // pictures in the output
    std::uint64_t mergedPictures = 0;   // identical to the picture before, merged into it
    std::uint64_t droppedPictures = 0;  // too short for the format, their time given to the one before
    std::uint64_t width = 0;            // of the output pictures
    std::uint64_t height = 0;
    MediaTime duration = MediaTime::zero();  // of the output, once through
    std::uint64_t laps = 1;                   // of the file's frames, more when cycling needs them to loop smoothly
    std::uint64_t mergedCycleSteps = 0;       // cycle steps too close to a picture for the format's rate
    unsigned cyclePicturesPerSecond = 0;      // that rate, when colour cycling was baked in
};

// Exports the animation at `source` to `output` (a file path), in
// options.format, reading the frames through the extensions as every host
// does. Writes to a temporary file beside `output` and moves it into place
// only when it is complete: a failed or cancelled export leaves nothing
// behind, and an existing file is never touched unless options.replace.
bool exportAnimation(const std::string& source, const std::string& output, const ExportOptions& options,
                     const ExportObserver& observer, ExportReport* report, Error* error);

}  // namespace velarium::exporter
