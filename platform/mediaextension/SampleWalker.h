#pragma once

#include <cstdint>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "platform/coremedia/PixelBuffer.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/MEFormatReader.h"
#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium {

// When one sample of a track is shown, and for how long.
struct SampleTime {
    MediaTime presentationTime;
    MediaTime duration;
};

// The one way a host steps through a track: a sample cursor of the track,
// moved by count to the sample asked for. Every host (player, loop search,
// command-line tool, GStreamer demuxer, exporter) walks with it, so that all
// of them see the same samples and fail the same way on a track whose
// reader misbehaves:
// - an error the extension gives is handed on unchanged;
// - an extension that does not answer, or answers with nothing, is a
//   kHostErrorExtensionFailed;
// - a listing is all or nothing: a track with no samples, a sample whose
//   time is not a number or that starts before the one before it has ended,
//   or more than kMaxSamples samples fails the whole listing. So the samples
//   of a listing never overlap: starts and ends both rise.
// Not thread-safe: one walker per thread of work.
class SampleWalker {
public:
    // Far above any real track (it is over four hours at 60 frames a
    // second), and low enough that a reader that never stops stepping cannot
    // exhaust memory with the list of its times.
    static constexpr std::uint64_t kMaxSamples = std::uint64_t(1) << 20;

    explicit SampleWalker(METrackReaderRef track) : track_(std::move(track)) {}

    // The time of every sample, in decode order from the first.
    bool listSampleTimes(std::vector<SampleTime>* times, Error* error);

    // Moves to sample `index` (counted from the first).
    bool moveToSample(std::uint64_t index, Error* error);
    // Moves to sample `index` and loads it; null with the error when either fails.
    SampleBufferRef loadSample(std::uint64_t index, Error* error);

    // The sample the cursor is at.
    std::uint64_t sampleIndex() const { return index_; }

private:
    bool makeCursor(Error* error);
    // Steps the cursor by `count`; `taken` is how far it went.
    bool step(std::int64_t count, std::int64_t* taken, Error* error);

    METrackReaderRef track_;
    MESampleCursorRef cursor_;
    std::uint64_t index_ = 0;
};

// The picture a video decoder makes of one sample; null with the error when
// it makes none.
PixelBufferRef decodeSample(MEVideoDecoder& decoder, const SampleBufferRef& sample, Error* error);

// Loads sample `index` and decodes it to a picture of width × height pixels
// with rows of at least width × 4 bytes; null with the error when a step
// fails or the picture is not of that size.
PixelBufferRef decodeSampleAt(SampleWalker& walker, MEVideoDecoder& decoder, std::uint64_t index,
                              std::uint64_t width, std::uint64_t height, Error* error);

}  // namespace velarium
