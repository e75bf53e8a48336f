// The export: frames read through the extensions, laid out on the export's
// timeline, scaled, merged where nothing changed, and handed to the format's
// encoder, which writes into a staged file placed only when complete.
#include "export/Exporter.h"

#include <utility>
#include <vector>

#include "export/AnimationEncoder.h"
#include "export/AnimationFile.h"
#include "export/CycledTimeline.h"
#include "export/ExportError.h"
#include "export/MovieSource.h"
#include "export/PictureScale.h"
#include "export/StagedOutput.h"
#include "export/Timeline.h"

namespace velarium::exporter {
namespace {

// Whether the last two frames equal frames 0 and 1 byte for byte. A frame
// that cannot be decoded means no: the damage is dealt with on export.
// The frames are read in order, opening ones first: a step back to a delta
// frame would make the parser keep checkpoints of its buffers for the rest
// of the export, tens of megabytes that reading in order never uses.
bool endsWithWrapUpFrames(MovieSource& source) {
    const std::uint64_t total = source.sampleTimes().size();
    if (total < 2 * kWrapUpFrames) return false;
    Picture opening[kWrapUpFrames], closing;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i)
        if (!source.decodePicture(i, {}, opening[i], nullptr)) return false;
    for (std::uint64_t i = 0; i < kWrapUpFrames; ++i)
        if (!source.decodePicture(total - kWrapUpFrames + i, {}, closing, nullptr) ||
            closing.rgba != opening[i].rgba)
            return false;
    return true;
}

// A frame as it looks at the picture's start, cycling having begun at 0.
bool decodeCycled(ANIMParser& parser, const CycledEntry& entry, ScaleFactors factors, std::vector<std::uint8_t>& bgra,
                  Picture& picture, Error* error) {
    bgra.resize(parser.width() * parser.height() * 4);
    if (!parser.decodeFrameAtIndex(entry.frame, entry.start, bgra.data(), bgra.size(), error)) return false;
    scaleToRGBA(bgra.data(), parser.width() * 4, parser.width(), parser.height(), factors, picture);
    return true;
}

bool cancelled(const ExportObserver& observer) { return observer.cancelled && observer.cancelled->load(); }

// Hands pictures to the encoder one behind, so that a following picture
// identical to it can still lengthen it.
class PictureQueue {
public:
    explicit PictureQueue(AnimationEncoder& encoder) : encoder_(encoder) {}

    // Takes the next picture and how long it shows; `next` may be left
    // holding an earlier picture, to be decoded into afresh.
    bool add(Picture& next, MediaTime duration, Error* error) {
        if (held_ && next.rgba == picture_.rgba) {
            heldDuration_ = heldDuration_ + duration;
            ++merged_;
            return true;
        }
        if (held_ && !flush(error)) return false;
        std::swap(picture_, next);
        heldDuration_ = duration;
        held_ = true;
        return true;
    }

    // Hands on the picture still held.
    bool flush(Error* error) {
        if (!held_) return true;
        held_ = false;
        if (!encoder_.addPicture(picture_, start_, heldDuration_, error)) return false;
        start_ = start_ + heldDuration_;
        ++pictures_;
        return true;
    }

    std::uint64_t pictures() const { return pictures_; }
    std::uint64_t merged() const { return merged_; }
    MediaTime end() const { return start_; }

private:
    AnimationEncoder& encoder_;
    bool held_ = false;
    Picture picture_;
    MediaTime heldDuration_ = MediaTime::zero();
    MediaTime start_ = MediaTime::zero();
    std::uint64_t pictures_ = 0;
    std::uint64_t merged_ = 0;
};

// The most pictures a second an export with colour cycling makes: GIF
// cannot show a picture for less than 2 centiseconds.
unsigned maxCycledPicturesPerSecond(ExportFormat format) { return format == ExportFormat::gif ? 50 : 60; }

// The export's pictures: each frame of the timeline, or with colour cycling
// the frames and the cycle steps between them. Without cycling, `parser`
// stays null and frames come through the extensions.
bool planPictures(const std::string& source, const ExportOptions& options, const std::vector<TimelineEntry>& frames,
                  std::uint64_t frameCount, std::unique_ptr<ANIMParser>& parser, CycledTimeline* pictures,
                  Error* error) {
    if (options.cycleColours) {
        parser = openAnimation(source, error);
        if (!parser) return false;
        if (parser->numFrames() != frameCount)
            return fail(error, exportError(kExportErrorEncoder, "The animation's frames could not all be read"));
    }
    if (parser && parser->cyclesColours()) {
        *pictures = planCycledTimeline(frames, parser->colourRanges(), maxCycledPicturesPerSecond(options.format),
                                       options.once);
        return true;
    }
    parser.reset();
    MediaTime start = MediaTime::zero();
    for (const TimelineEntry& entry : frames) {
        pictures->entries.push_back({entry.frame, start, entry.duration});
        start = start + entry.duration;
    }
    return true;
}

Error encoderMissing(ExportFormat format) {
    return exportError(kExportErrorEncoder, std::string("This build cannot write ") + formatName(format));
}

}  // namespace

bool exportAnimation(const std::string& source, const std::string& output, const ExportOptions& options,
                     const ExportObserver& observer, ExportReport* report, Error* error) {
    // Nothing is read or written while the output's name is taken.
    auto staged = StagedOutput::create(output, options.replace, error);
    if (!staged) return false;
    auto movie = MovieSource::open(source, error);
    if (!movie) return false;

    std::vector<TimelineEntry> timeline;
    const bool wrapUp = exportsWholeFile(options) && endsWithWrapUpFrames(*movie);
    if (!planTimeline(movie->sampleTimes(), options, wrapUp, &timeline, error)) return false;
    std::unique_ptr<ANIMParser> parser;
    CycledTimeline pictures;
    if (!planPictures(source, options, timeline, movie->sampleTimes().size(), parser, &pictures, error)) return false;

    const ScaleFactors factors = scaleFactors(options, movie->width(), movie->height());
    const std::uint64_t width = movie->width() * factors.x, height = movie->height() * factors.y;
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return fail(error, exportError(kExportErrorTooLarge, "The scaled picture (" + std::to_string(width) + "×" +
                                                                 std::to_string(height) + ") is too large"));

    auto encoder = makeEncoder(options.format);
    if (!encoder) return fail(error, encoderMissing(options.format));
    EncoderSetup setup;
    setup.fd = staged->fd();
    setup.path = staged->path();
    setup.width = width;
    setup.height = height;
    setup.pictureCount = pictures.entries.size();
    setup.loop = !options.once;
    if (!encoder->begin(setup, error)) return false;

    PictureQueue queue(*encoder);
    Picture picture;
    std::vector<std::uint8_t> bgra;
    std::uint64_t done = 0;
    for (const CycledEntry& entry : pictures.entries) {
        if (cancelled(observer)) return fail(error, exportError(kExportErrorCancelled, "The export was cancelled"));
        Error decodeError;
        const bool decoded =
            parser ? decodeCycled(*parser, entry, factors, bgra, picture, &decodeError)
                   : movie->decodePicture(entry.frame, factors, picture, &decodeError);
        if (!decoded) {
            // A damaged animation gives what it has before the damage.
            if (done == 0) return fail(error, decodeError);
            break;
        }
        if (!queue.add(picture, entry.duration, error)) return false;
        ++done;
        if (observer.progress) observer.progress(double(done) / double(pictures.entries.size()));
    }
    if (cancelled(observer)) return fail(error, exportError(kExportErrorCancelled, "The export was cancelled"));
    if (!queue.flush(error) || !encoder->finish(error)) return false;
    if (!staged->place(error)) return false;

    if (report) {
        report->frames = queue.pictures();
        report->mergedPictures = queue.merged();
        report->droppedPictures = encoder->droppedPictures();
        report->width = width;
        report->height = height;
        report->duration = queue.end();
        report->laps = pictures.laps;
        report->mergedCycleSteps = pictures.mergedSteps;
        report->cyclePicturesPerSecond = parser ? maxCycledPicturesPerSecond(options.format) : 0;
    }
    return true;
}

}  // namespace velarium::exporter
