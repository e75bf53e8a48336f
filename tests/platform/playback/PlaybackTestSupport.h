#pragma once

// Playback through the real extension modules: a sink that records what it
// is shown, and registration of the modules built beside the tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "core/ANIMParser.h"
#include "platform/mediaextension/Registration.h"
#include "platform/playback/Player.h"
#include "support/ErrorPrinting.h"
#include "support/Hashing.h"
#include "support/SyntheticAnimations.h"
#include "support/TemporaryFolder.h"

namespace velarium {
inline void PrintTo(const MediaTime& time, std::ostream* out) { *out << time.description(); }
}  // namespace velarium

namespace velarium::testing {

inline void registerBuiltExtensions() {
    Error error;
    ASSERT_TRUE(registerFormatReaders(&error)) << error.localizedDescription;
    ASSERT_TRUE(registerVideoDecoders(&error)) << error.localizedDescription;
}

struct RecordedFrame {
    PresentedFrame frame;
    std::string hash;  // of the packed pixels
    std::size_t bytesPerRow = 0;
    std::thread::id thread;
};

// Records every frame it is shown; `onFrame` lets a test act at a frame
// (pause, advance the clock) from inside the presentation.
class RecordingSink : public VideoSink {
public:
    std::function<void(const PresentedFrame&)> onFrame;

    void presentPixelBuffer(const PixelBufferRef& buffer, const PresentedFrame& frame) override {
        RecordedFrame record{frame, sha256Hex(packedPixels(*buffer)), buffer->bytesPerRow(), std::this_thread::get_id()};
        {
            std::lock_guard<std::mutex> guard(mutex_);
            frames_.push_back(record);
        }
        if (onFrame) onFrame(frame);
    }

    std::vector<RecordedFrame> frames() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return frames_;
    }
    // One field of each frame recorded, from the `from`th on.
    template <typename Field>
    auto each(Field field, std::size_t from = 0) const {
        std::vector<std::decay_t<std::invoke_result_t<Field, const RecordedFrame&>>> out;
        for (const auto& record : frames()) out.push_back(field(record));
        out.erase(out.begin(), out.begin() + std::min(from, out.size()));
        return out;
    }
    auto indices(std::size_t from = 0) const { return each([](const RecordedFrame& r) { return r.frame.index; }, from); }
    auto hostTimes(std::size_t from = 0) const { return each([](const RecordedFrame& r) { return r.frame.hostTime; }, from); }

private:
    mutable std::mutex mutex_;
    std::vector<RecordedFrame> frames_;
};

// Frames shown, late and dropped.
inline std::vector<std::uint64_t> frameCounts(const PlaybackStatistics& statistics) {
    return {statistics.framesShown, statistics.framesLate, statistics.framesDropped};
}

inline std::vector<MediaTime> atSixtieths(const std::vector<std::int64_t>& ticks) {
    std::vector<MediaTime> times;
    for (std::int64_t tick : ticks) times.push_back(sixtieths(tick));
    return times;
}

// SHA-256 of each frame as the core draws it, for comparing what playback shows.
inline std::vector<std::string> coreFrameHashes(const std::vector<std::uint8_t>& file) {
    ANIMParser parser(makeSharedBytes(file));
    std::vector<std::string> hashes;
    if (!parser.parseWithError(nullptr)) return hashes;
    Bytes frame(parser.width() * parser.height() * 4);
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        parser.decodeFrameAtIndex(i, frame, nullptr);
        hashes.push_back(sha256Hex(frame));
    }
    return hashes;
}

}  // namespace velarium::testing
