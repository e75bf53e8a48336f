#pragma once

// A GStreamer pipeline driven from a test: built from a gst-launch style
// description that ends in an appsink named "sink", run as fast as it goes
// (the sink does not sync to the clock). The test's thread takes every
// picture from the sink, hashes and times it; every wait is bounded, and an
// error on the bus ends it.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "gstreamer/GstHandles.h"

namespace velarium::gsttest {

using namespace std::chrono_literals;
using namespace velarium::gst;

// How long a whole small file may take before the test calls it hung.
inline constexpr std::chrono::milliseconds kPipelineTimeout = 20s;

// How upstream hands the file to the demuxer.
enum class Scheduling { pull, push };

struct Frame {
    std::string sha256;  // of width × height × 4 bytes, row by row, without the rows' padding
    GstClockTime pts = GST_CLOCK_TIME_NONE;
    GstClockTime duration = GST_CLOCK_TIME_NONE;
};

struct BusError {
    std::string sourceFactory;    // the factory of the element that posted it, empty for bins
    std::string message;          // the error's text
    std::string extensionDomain;  // what our elements add in the message's details
};

struct StreamFormat {
    std::string format = "BGRA";
    int width = 0, height = 0;
    int framerateNumerator = 0, framerateDenominator = 1;
    bool operator==(const StreamFormat&) const = default;
};
inline void PrintTo(const StreamFormat& f, std::ostream* os) {
    *os << f.format << " " << f.width << "x" << f.height << " at " << f.framerateNumerator << "/"
        << f.framerateDenominator;
}

class Pipeline {
public:
    // Without `hashFrames` the frames are timed but not hashed.
    explicit Pipeline(const std::string& description, bool hashFrames = true);
    ~Pipeline();

    // Null (and the test failed) when the description does not parse.
    GstElement* get() const { return pipeline_.get(); }

    void play();
    // Takes frames until `count` arrived since the last seek, the end of the
    // stream or an error; false when none of them came in time.
    bool takeFrames(std::size_t count = SIZE_MAX, std::chrono::milliseconds timeout = kPipelineTimeout);
    // To PLAYING, then takes every frame until the end of the stream or an error.
    bool runToEnd(std::chrono::milliseconds timeout = kPipelineTimeout) {
        play();
        return takeFrames(SIZE_MAX, timeout);
    }
    // To PAUSED (where it is not), then the picture prerolled: the first one,
    // or the one after a flushing seek while paused (it counts as a frame
    // taken). None on error or time out.
    std::optional<Frame> preroll(std::chrono::milliseconds timeout = kPipelineTimeout);

    // A flushing seek sent to the pipeline: the frames taken so far are
    // forgotten, as the sink forgets what it held.
    bool seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop = GST_CLOCK_TIME_NONE);

    const std::vector<Frame>& frames() const { return frames_; }
    std::optional<BusError> error() const;
    // The format of the last picture taken, and its segment's start.
    const StreamFormat& format() const { return format_; }
    GstClockTime segmentStart() const { return segmentStart_; }

    // How velariumdemux has the file, read while the pipeline runs; none
    // when the pipeline has no velariumdemux.
    std::optional<Scheduling> demuxerScheduling() const;

private:
    // Takes pictures (or the prerolled one) from the sink until `done` or an
    // error; false on time out.
    template <typename Done>
    bool takeUntil(std::chrono::milliseconds timeout, bool preroll, Done done);
    Frame describe(GstSample* sample);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    ElementRef pipeline_;
    ElementRef sink_;
    bool hashFrames_;

    std::vector<Frame> frames_;
    StreamFormat format_;
    GstClockTime segmentStart_ = GST_CLOCK_TIME_NONE;

    mutable std::mutex mutex_;  // the error arrives on a streaming thread
    std::optional<BusError> error_;
};

// The first of GStreamer's own elements the tests use that is not installed.
std::optional<std::string> missingElement();
// Whether the registry holds our plugin from this build's file, rather than
// none or one installed elsewhere.
bool pluginFromThisBuild();

// Skips the test when GStreamer lacks an element of its own; ours are never
// skipped: they come from this build.
#define VELARIUM_REQUIRE_GST_ELEMENTS()                                                                   \
    do {                                                                                                  \
        if (const auto missing = ::velarium::gsttest::missingElement())                                   \
            GTEST_SKIP() << "GStreamer element " << *missing << " is not installed";                      \
        ASSERT_TRUE(::velarium::gsttest::pluginFromThisBuild()) << "the plugin did not load from this build"; \
    } while (0)

inline const char* name(Scheduling scheduling) { return scheduling == Scheduling::pull ? "pull" : "push"; }

// filesrc ! decodebin ! videoconvert ! BGRA ! appsink. A queue after the
// source offers no random access, so the demuxer has the stream pushed.
std::string decodingPipeline(const std::filesystem::path& file, Scheduling scheduling);

std::string describe(const std::optional<BusError>& error);

}  // namespace velarium::gsttest
