#pragma once

// A GStreamer pipeline driven from a test: built from a gst-launch style
// description that ends in an appsink named "sink", run as fast as it goes
// (the sink does not sync to the clock). The test's thread takes every
// picture from the sink, hashes and times it; every wait is bounded, and an
// error on the bus ends it.

#include <gst/gst.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velarium::gsttest {

using namespace std::chrono_literals;

// How long a whole small file may take before the test calls it hung.
inline constexpr std::chrono::milliseconds kPipelineTimeout = 20s;

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
    int width = 0, height = 0;
    int framerateNumerator = -1, framerateDenominator = -1;
    std::string format;
};

class Pipeline {
public:
    struct Options {
        bool hashFrames = true;
    };

    explicit Pipeline(const std::string& description) : Pipeline(description, Options{}) {}
    Pipeline(const std::string& description, Options options);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Null when the description does not parse.
    GstElement* get() const { return pipeline_; }
    const std::string& parseError() const { return parseError_; }

    // To PLAYING, then takes every frame until the end of the stream or an
    // error. False when neither came in time.
    bool runToEnd(std::chrono::milliseconds timeout = kPipelineTimeout);

    // To PAUSED, waiting for the first picture; false on error or time out.
    bool preroll(std::chrono::milliseconds timeout = kPipelineTimeout);
    void play();
    // Takes frames until the end of the stream (or an error).
    bool waitForEnd(std::chrono::milliseconds timeout = kPipelineTimeout);
    // Takes frames until at least `count` arrived since the last seek.
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout = kPipelineTimeout);
    // The picture prerolled after a flushing seek while paused.
    std::optional<Frame> waitForPreroll(std::chrono::milliseconds timeout = kPipelineTimeout);

    // A flushing seek sent to the pipeline: the frames taken so far are
    // forgotten, as the sink forgets what it held.
    bool seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop = GST_CLOCK_TIME_NONE);

    const std::vector<Frame>& frames() const { return frames_; }
    std::optional<BusError> error() const;
    // The format of the last picture taken, and its segment's start.
    const StreamFormat& format() const { return format_; }
    GstClockTime segmentStart() const { return segmentStart_; }

    // The first element of the pipeline (at any depth) made by `factory`.
    GstElement* find(const char* factory) const;  // borrowed, may be null
    // The mode velariumdemux's sink pad runs in, read while the pipeline runs.
    GstPadMode demuxerSinkMode() const;

private:
    // Takes pictures from the sink until `done` or an error; false on time out.
    enum class Taking { frames, preroll };
    template <typename Done>
    bool takeUntil(std::chrono::milliseconds timeout, Taking taking, Done done);
    Frame describe(GstSample* sample);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    Options options_;
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    std::string parseError_;

    std::vector<Frame> frames_;
    std::optional<Frame> preroll_;
    StreamFormat format_;
    GstClockTime segmentStart_ = GST_CLOCK_TIME_NONE;

    mutable std::mutex mutex_;  // the error arrives on a streaming thread
    std::optional<BusError> error_;
};

// Every element factory named is registered; names the first missing one otherwise.
std::optional<std::string> missingElement(std::initializer_list<const char*> factories);

}  // namespace velarium::gsttest
