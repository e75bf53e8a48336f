// Animated WebP, lossless and exact: every picture reads back RGBA for RGBA,
// transparent pixels included. Each picture after the first is stored as the
// rectangle that changed since the one before, and the rectangles are
// encoded on a small pool of threads, several at a time, then put together
// in order by libwebp's muxer.

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <webp/encode.h>
#include <webp/mux.h>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"

namespace velarium::exporter {
namespace {

// The largest side a WebP picture can have.
constexpr std::uint64_t kMaxWebPSide = WEBP_MAX_DIMENSION;
// Lossless effort. In lossless mode the quality sets the effort of the
// backward references; from 25 on libwebp also tries the ones that suit
// indexed pictures. On the 1280x720 bench animation (CPU time of the whole
// convert, file size): method 0 q25 0.9 s 956 KB; method 3 q20 2.2 s 709 KB;
// method 1 q25 3.0 s 641 KB; method 3 q25 3.1 s 637 KB; method 4 q25 3.6 s
// 638 KB; higher qualities cost more for no smaller file.
constexpr int kLosslessMethod = 3;
constexpr float kLosslessQuality = 25.0f;
// Pictures waiting or being encoded, per encoding thread: enough to keep
// every thread busy while the muxer waits for the oldest.
constexpr std::size_t kPicturesPerThread = 2;
// The colour a player may clear the canvas to (libwebp's default).
constexpr std::uint32_t kBackgroundColour = 0xffffffff;
// WebP stores frame offsets halved.
constexpr int kOffsetAlignment = 2;

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

// Milliseconds from the start, rounded on the running total so that no
// picture drifts more than half a millisecond from its exact start.
int roundedMilliseconds(MediaTime time) { return static_cast<int>(time.convertScale(1000).value); }

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// A rectangle of the canvas, in pixels.
struct Area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// An RGBA pixel as one word: R in the low byte, A in the high one.
static_assert(std::endian::native == std::endian::little);
constexpr std::uint32_t kAlphaMask = 0xff000000;

std::uint32_t loadPixel(const std::uint8_t* rgba) {
    std::uint32_t pixel;
    std::memcpy(&pixel, rgba, sizeof pixel);
    return pixel;
}

// The same pixel as libwebp holds it, A R G B from the high byte down.
std::uint32_t argbWord(std::uint32_t rgba) {
    return (rgba & 0xff00ff00) | (rgba >> 16 & 0xff) | (rgba & 0xff) << 16;
}

// Two RGBA pictures of the same size, walked row by row.
class PicturePair {
public:
    PicturePair(const std::uint8_t* previous, const std::uint8_t* current, int width)
        : previous_(previous), current_(current), width_(width) {}

    const std::uint8_t* previousRow(int y) const { return previous_ + rowOffset(y); }
    const std::uint8_t* currentRow(int y) const { return current_ + rowOffset(y); }
    bool sameRow(int y) const { return std::memcmp(previousRow(y), currentRow(y), std::size_t(width_) * 4) == 0; }

private:
    std::size_t rowOffset(int y) const { return std::size_t(y) * std::size_t(width_) * 4; }

    const std::uint8_t* previous_;
    const std::uint8_t* current_;
    int width_;
};

// The smallest rectangle holding every changed pixel, its corner moved up
// and left onto even offsets; empty when nothing changed.
Area changedArea(const PicturePair& pair, int width, int height) {
    int top = 0;
    while (top < height && pair.sameRow(top)) ++top;
    if (top == height) return {};
    int bottom = height;
    while (pair.sameRow(bottom - 1)) --bottom;
    int left = width, right = 0;
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* previous = pair.previousRow(y);
        const std::uint8_t* current = pair.currentRow(y);
        const auto same = [&](int x) { return loadPixel(previous + x * 4) == loadPixel(current + x * 4); };
        int x = 0;
        while (x < left && same(x)) ++x;
        left = x;
        x = width;
        while (x > right && same(x - 1)) --x;
        right = x;
    }
    const int x = left / kOffsetAlignment * kOffsetAlignment, y = top / kOffsetAlignment * kOffsetAlignment;
    return {x, y, right - x, bottom - y};
}

// Whether the changed pixels of `area` can be blended over the previous
// picture: only opaque pixels replace what is under them exactly.
bool changesAreOpaque(const PicturePair& pair, const Area& area) {
    for (int y = area.y; y < area.y + area.height; ++y) {
        const std::uint8_t* previous = pair.previousRow(y) + std::size_t(area.x) * 4;
        const std::uint8_t* current = pair.currentRow(y) + std::size_t(area.x) * 4;
        bool seeThrough = false;  // no early exit, so that the loop vectorises
        for (int x = 0; x < area.width; ++x) {
            const std::uint32_t now = loadPixel(current + x * 4);
            seeThrough |= (now & kAlphaMask) != kAlphaMask && now != loadPixel(previous + x * 4);
        }
        if (seeThrough) return false;
    }
    return true;
}

// One picture's frame: where it goes, its pixels as libwebp holds them
// (ARGB words), and once encoded, its bitstream.
struct Frame {
    Frame() { WebPMemoryWriterInit(&encoded); }
    ~Frame() { WebPMemoryWriterClear(&encoded); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    Area area;
    bool blend = false;
    int durationMs = 0;
    std::vector<std::uint32_t> argb;
    WebPMemoryWriter encoded;
    bool done = false;
    WebPEncodingError result = VP8_ENC_OK;
};

// Cuts the frame for `current` out of it: the changed rectangle, or all of
// it for the first picture. When blending gives the same picture, the
// unchanged pixels become transparent black, which costs next to nothing.
void cutFrame(Frame& frame, const std::uint8_t* previous, const std::uint8_t* current, int width, int height) {
    const PicturePair pair(previous, current, width);
    if (!previous) {
        frame.area = {0, 0, width, height};
    } else {
        frame.area = changedArea(pair, width, height);
        // The engine merges identical pictures; should one come, a corner
        // copied as it is keeps the file valid.
        if (frame.area.width == 0) frame.area = {0, 0, std::min(width, 2), std::min(height, 2)};
        frame.blend = changesAreOpaque(pair, frame.area);
    }
    const Area& area = frame.area;
    frame.argb.resize(std::size_t(area.width) * std::size_t(area.height));
    std::uint32_t* out = frame.argb.data();
    for (int y = area.y; y < area.y + area.height; ++y, out += area.width) {
        const std::uint8_t* now = pair.currentRow(y) + std::size_t(area.x) * 4;
        if (frame.blend) {
            const std::uint8_t* before = pair.previousRow(y) + std::size_t(area.x) * 4;
            for (int x = 0; x < area.width; ++x) {
                const std::uint32_t pixel = loadPixel(now + x * 4);
                out[x] = pixel == loadPixel(before + x * 4) ? 0 : argbWord(pixel);
            }
        } else {
            for (int x = 0; x < area.width; ++x) out[x] = argbWord(loadPixel(now + x * 4));
        }
    }
}

class WebPEncoder final : public AnimationEncoder {
public:
    ~WebPEncoder() override { stopWorkers(); }

    bool begin(const EncoderSetup& setup, Error* error) override {
        if (setup.width == 0 || setup.height == 0 || setup.width > kMaxWebPSide || setup.height > kMaxWebPSide)
            return fail(error, exportError(kExportErrorTooLarge, "WebP pictures can be at most 16383 pixels on a side."));
        setup_ = setup;
        if (!WebPConfigInit(&config_))
            return fail(error, exportError(kExportErrorEncoder, "The WebP encoder does not match its headers."));
        config_.lossless = 1;
        config_.exact = 1;
        config_.method = kLosslessMethod;
        config_.quality = kLosslessQuality;
        if (!WebPValidateConfig(&config_))
            return fail(error, exportError(kExportErrorEncoder, "The WebP encoder refused its settings."));
        mux_.reset(WebPMuxNew());
        if (!mux_) return fail(error, exportError(kExportErrorEncoder, "The WebP muxer could not be started."));

        const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
        maxInFlight_ = threads * kPicturesPerThread;
        for (std::size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { encodeFrames(); });
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        auto frame = std::make_unique<Frame>();
        frame->durationMs = roundedMilliseconds(start + duration) - roundedMilliseconds(start);
        const int width = static_cast<int>(setup_.width), height = static_cast<int>(setup_.height);
        cutFrame(*frame, previous_.empty() ? nullptr : previous_.data(), picture.rgba.data(), width, height);
        previous_.assign(picture.rgba.begin(), picture.rgba.end());

        std::unique_lock lock(mutex_);
        if (!muxFinished(lock, maxInFlight_ - 1, error)) return false;
        waiting_.push_back(frame.get());
        inOrder_.push_back(std::move(frame));
        changed_.notify_all();
        return true;
    }

    bool finish(Error* error) override {
        {
            std::unique_lock lock(mutex_);
            if (!muxFinished(lock, 0, error)) return false;
        }
        stopWorkers();
        const WebPMuxAnimParams params{kBackgroundColour, setup_.loop ? 0 : 1};
        if (WebPMuxSetAnimationParams(mux_.get(), &params) != WEBP_MUX_OK ||
            WebPMuxSetCanvasSize(mux_.get(), static_cast<int>(setup_.width), static_cast<int>(setup_.height)) !=
                WEBP_MUX_OK)
            return fail(error, muxError());
        WebPData data;
        WebPDataInit(&data);
        if (WebPMuxAssemble(mux_.get(), &data) != WEBP_MUX_OK) return fail(error, muxError());
        mux_.reset();
        const bool written = writeAll(setup_.fd, data.bytes, data.size);
        WebPDataClear(&data);
        if (!written)
            return fail(error, exportError(kExportErrorCannotWrite, std::string("The WebP file could not be written: ") +
                                                                        std::strerror(errno)));
        return true;
    }

private:
    // An encoding thread: takes the oldest frame no thread has taken, until
    // told to stop with none left or until an encoding fails.
    void encodeFrames() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !waiting_.empty() || stopping_ || failure_ != VP8_ENC_OK; });
            if (waiting_.empty() || failure_ != VP8_ENC_OK) return;
            Frame* frame = waiting_.front();
            waiting_.pop_front();
            lock.unlock();
            encode(*frame);
            lock.lock();
            frame->done = true;
            if (failure_ == VP8_ENC_OK) failure_ = frame->result;
            changed_.notify_all();
        }
    }

    void encode(Frame& frame) const {
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) {
            frame.result = VP8_ENC_ERROR_INVALID_CONFIGURATION;
            return;
        }
        // A view of the frame's own words: libwebp neither copies nor frees them.
        picture.use_argb = 1;
        picture.width = frame.area.width;
        picture.height = frame.area.height;
        picture.argb = frame.argb.data();
        picture.argb_stride = frame.area.width;
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &frame.encoded;
        if (!WebPEncode(&config_, &picture)) frame.result = picture.error_code;
        WebPPictureFree(&picture);
        frame.argb = {};
    }

    // Hands the encoded frames at the head of the line to the muxer, waiting
    // until at most `inFlight` frames are left behind them.
    bool muxFinished(std::unique_lock<std::mutex>& lock, std::size_t inFlight, Error* error) {
        for (;;) {
            if (failure_ != VP8_ENC_OK) return fail(error, encoderError(failure_));
            while (!inOrder_.empty() && inOrder_.front()->done) {
                std::unique_ptr<Frame> frame = std::move(inOrder_.front());
                inOrder_.pop_front();
                lock.unlock();
                const bool pushed = pushFrame(*frame);
                lock.lock();
                if (!pushed) return fail(error, muxError());
            }
            if (inOrder_.size() <= inFlight) return true;
            changed_.wait(lock);
        }
    }

    bool pushFrame(const Frame& frame) {
        WebPMuxFrameInfo info{};
        info.bitstream = {frame.encoded.mem, frame.encoded.size};
        info.x_offset = frame.area.x;
        info.y_offset = frame.area.y;
        info.duration = frame.durationMs;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = frame.blend ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        return WebPMuxPushFrame(mux_.get(), &info, 1) == WEBP_MUX_OK;
    }

    // Lets the threads finish the frame each holds, and drops the others.
    void stopWorkers() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            waiting_.clear();
        }
        changed_.notify_all();
        for (std::thread& worker : workers_) worker.join();
        workers_.clear();
    }

    static Error encoderError(WebPEncodingError code) {
        return exportError(kExportErrorEncoder,
                           "The WebP encoder failed (error " + std::to_string(static_cast<int>(code)) + ").");
    }
    static Error muxError() { return exportError(kExportErrorEncoder, "The WebP frames could not be put together."); }

    EncoderSetup setup_;
    WebPConfig config_{};
    std::unique_ptr<WebPMux, MuxDeleter> mux_;
    std::vector<std::uint8_t> previous_;  // the last picture, RGBA

    std::vector<std::thread> workers_;
    std::size_t maxInFlight_ = 1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Frame>> inOrder_;  // frames not yet muxed, oldest first
    std::deque<Frame*> waiting_;                  // those of them no thread has taken
    bool stopping_ = false;
    WebPEncodingError failure_ = VP8_ENC_OK;  // the first encoding that failed
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeWebPEncoder() { return std::make_unique<WebPEncoder>(); }

}  // namespace velarium::exporter
