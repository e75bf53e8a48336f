#pragma once

// A GStreamer pipeline driven from a test: built from a gst-launch style
// description that ends in an appsink named "sink", run as fast as it goes
// (the sink does not sync to the clock), every frame it delivers hashed and
// timed, every wait bounded. Errors on the bus end the waits.

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
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
    std::string source;            // the name of the element that posted it
    std::string sourceFactory;     // its factory's name, empty for bins
    std::string message;           // the error's text
    std::string extensionDomain;   // what our elements add in the message's details
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

    // To PLAYING, then waits for the end of the stream or an error. False
    // when neither came in time.
    bool runToEnd(std::chrono::milliseconds timeout = kPipelineTimeout);

    // To PAUSED, waiting for the first picture; false on error or time out.
    bool preroll(std::chrono::milliseconds timeout = kPipelineTimeout);
    void play();
    // Waits until the end of the stream (or an error) reached the sink.
    bool waitForEnd(std::chrono::milliseconds timeout = kPipelineTimeout);
    // Waits until at least `count` frames arrived since the last flush.
    bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout = kPipelineTimeout);
    // Waits for the picture prerolled after a flushing seek while paused.
    std::optional<Frame> waitForPreroll(std::chrono::milliseconds timeout = kPipelineTimeout);

    // A seek sent to the pipeline. What the sink receives after the flush
    // the seek causes replaces what it had received before.
    bool seek(GstSeekFlags flags, GstClockTime start, GstClockTime stop = GST_CLOCK_TIME_NONE);

    std::vector<Frame> frames() const;
    std::optional<BusError> error() const;
    bool endOfStream() const;
    // The format of the last picture that arrived, and its segment's start.
    StreamFormat format() const;
    GstClockTime segmentStart() const;

    // The first element of the pipeline (at any depth) made by `factory`.
    GstElement* find(const char* factory) const;  // borrowed, may be null
    // The mode velariumdemux's sink pad runs in, read while the pipeline runs.
    GstPadMode demuxerSinkMode() const;

private:
    static GstFlowReturn onSample(GstElement* sink, gpointer self);
    static GstFlowReturn onPreroll(GstElement* sink, gpointer self);
    static void onEndOfStream(GstElement* sink, gpointer self);
    static GstPadProbeReturn onFlush(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    Frame describe(GstSample* sample);
    template <typename Done>
    bool waitFor(std::chrono::milliseconds timeout, Done done);

    Options options_;
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    std::string parseError_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Frame> frames_;
    std::optional<Frame> preroll_;
    std::optional<BusError> error_;
    bool endOfStream_ = false;
    StreamFormat format_;
    GstClockTime segmentStart_ = GST_CLOCK_TIME_NONE;
};

// Every element factory named is registered; names the first missing one otherwise.
std::optional<std::string> missingElement(std::initializer_list<const char*> factories);

}  // namespace velarium::gsttest
