#pragma once

// A GStreamer pipeline driven from a test: a gst-launch description ending in
// an appsink named "sink", run as fast as it goes, the test's thread taking
// every picture; every wait is bounded, and an error on the bus ends it.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
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
inline const char* name(Scheduling scheduling) { return scheduling == Scheduling::pull ? "pull" : "push"; }

struct Frame {
    std::string sha256;  // of width × height × 4 bytes, row by row, without the rows' padding
    GstClockTime pts = GST_CLOCK_TIME_NONE, duration = GST_CLOCK_TIME_NONE;
    int firstByte = -1;
};

struct BusError {
    std::string sourceFactory;  // of the element that posted it, empty for bins
    std::string message;
    std::string extensionDomain;  // what our elements add in the message's details
    long extensionCode = 0;
};

class Pipeline {
public:
    // Without `hashFrames` the frames are timed but not hashed.
    explicit Pipeline(const std::string& description, bool hashFrames = true);
    ~Pipeline();

    // Null (and the test failed) when the description does not parse.
    GstElement* get() const { return pipeline_.get(); }

    void play() { gst_element_set_state(get(), GST_STATE_PLAYING); }
    // Takes frames until `count` arrived since the last seek, the end of the
    // stream or an error (then every frame the sink still holds); false when
    // none of them came in time.
    bool takeFrames(std::size_t count = SIZE_MAX, std::chrono::milliseconds timeout = kPipelineTimeout);
    bool runToEnd(std::chrono::milliseconds timeout = kPipelineTimeout) {
        play();
        return takeFrames(SIZE_MAX, timeout);
    }
    // To PAUSED, then the picture prerolled: the first one, or the one after
    // a flushing seek while paused. None on error or time out.
    std::optional<Frame> preroll(std::chrono::milliseconds timeout = kPipelineTimeout);
    // A flushing seek: the frames taken so far are forgotten, as the sink forgets them.
    bool seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop = GST_CLOCK_TIME_NONE);

    const std::vector<Frame>& frames() const { return frames_; }
    std::optional<BusError> error() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }
    // The format of the last picture taken ("BGRA 320x200 at 25/1"), and its segment's start.
    const std::string& format() const { return format_; }
    GstClockTime segmentStart() const { return segmentStart_; }
    // How velariumdemux has the file while the pipeline runs; none without one.
    std::optional<Scheduling> demuxerScheduling() const;

private:
    template <typename Done>
    bool takeUntil(std::chrono::milliseconds timeout, bool preroll, Done done);
    Frame describe(GstSample* sample);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    ElementRef pipeline_;
    ElementRef sink_;
    bool hashFrames_;
    std::vector<Frame> frames_;
    std::string format_;
    GstClockTime segmentStart_ = GST_CLOCK_TIME_NONE;
    mutable std::mutex mutex_;  // the error arrives on a streaming thread
    std::optional<BusError> error_;
};

// filesrc ! ELEMENTS ! appsink. A queue after the source offers no random
// access, so the demuxer has the stream pushed.
std::string decodingPipeline(const std::filesystem::path& file, Scheduling scheduling,
                             const char* elements = "decodebin ! videoconvert ! video/x-raw,format=BGRA");

std::string describe(const std::optional<BusError>& error);

}  // namespace velarium::gsttest
