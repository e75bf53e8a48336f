// Animated WebP through libwebp's animation encoder: lossless and exact, so
// that every picture reads back RGBA for RGBA, transparent pixels included.
// libwebp works on a thread of its own, one picture behind, so that the
// decoding of the next frame runs alongside it.

#include <unistd.h>

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
// convert, file size): method 0 q10 1.7 s 953 KB; method 1 q24 2.9 s 717 KB;
// method 1 q25 4.0 s 641 KB; method 3 q25 4.3 s 637 KB; higher qualities
// and methods cost more for under 2 KB.
constexpr int kLosslessMethod = 3;
constexpr float kLosslessQuality = 25.0f;
// Pictures waiting for the encoding thread: enough to keep it busy.
constexpr std::size_t kQueuedPictures = 2;

struct AnimEncoderDeleter {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
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

// A picture copied for the encoding thread, with its start in milliseconds.
struct QueuedPicture {
    std::vector<std::uint8_t> rgba;
    int startMs = 0;
};

class WebPEncoder final : public AnimationEncoder {
public:
    ~WebPEncoder() override { stopWorker(); }

    bool begin(const EncoderSetup& setup, Error* error) override {
        if (setup.width == 0 || setup.height == 0 || setup.width > kMaxWebPSide || setup.height > kMaxWebPSide)
            return fail(error, exportError(kExportErrorTooLarge, "WebP pictures can be at most 16383 pixels on a side."));
        setup_ = setup;

        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config_))
            return fail(error, exportError(kExportErrorEncoder, "The WebP encoder does not match its headers."));
        options.anim_params.loop_count = setup.loop ? 0 : 1;
        // One key frame, then sub-rectangles only: trying a full key frame as
        // well as each difference roughly doubles the work for a file that
        // only a seek would profit from.
        options.kmin = 0;
        options.kmax = 0;
        options.minimize_size = 0;
        options.allow_mixed = 0;

        config_.lossless = 1;
        config_.exact = 1;
        config_.method = kLosslessMethod;
        config_.quality = kLosslessQuality;
        if (!WebPValidateConfig(&config_))
            return fail(error, exportError(kExportErrorEncoder, "The WebP encoder refused its settings."));

        encoder_.reset(WebPAnimEncoderNew(static_cast<int>(setup.width), static_cast<int>(setup.height), &options));
        if (!encoder_) return fail(error, exportError(kExportErrorEncoder, "The WebP encoder could not be started."));
        worker_ = std::thread([this] { encodeQueued(); });
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < kQueuedPictures || failed_; });
        if (failed_) return fail(error, encoderError());
        QueuedPicture queued{std::move(spare_), roundedMilliseconds(start)};
        lock.unlock();
        queued.rgba.assign(picture.rgba.begin(), picture.rgba.end());
        lock.lock();
        queue_.push_back(std::move(queued));
        changed_.notify_all();
        end_ = start + duration;
        return true;
    }

    bool finish(Error* error) override {
        stopWorker();
        if (failed_) return fail(error, encoderError());
        if (!WebPAnimEncoderAdd(encoder_.get(), nullptr, roundedMilliseconds(end_), nullptr))
            return fail(error, encoderError());
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(encoder_.get(), &data)) return fail(error, encoderError());
        const bool written = writeAll(setup_.fd, data.bytes, data.size);
        WebPDataClear(&data);
        encoder_.reset();
        if (!written)
            return fail(error, exportError(kExportErrorCannotWrite, std::string("The WebP file could not be written: ") +
                                                                        std::strerror(errno)));
        return true;
    }

private:
    // The encoding thread: adds the queued pictures in order until told to
    // stop with the queue empty, or until libwebp fails.
    void encodeQueued() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) return;
            QueuedPicture queued = std::move(queue_.front());
            lock.unlock();
            const bool added = addToEncoder(queued);
            lock.lock();
            queue_.pop_front();
            spare_ = std::move(queued.rgba);
            failed_ = !added;
            changed_.notify_all();
            if (failed_) return;
        }
    }

    bool addToEncoder(const QueuedPicture& queued) {
        WebPPicture frame;
        if (!WebPPictureInit(&frame)) return false;
        frame.use_argb = 1;
        frame.width = static_cast<int>(setup_.width);
        frame.height = static_cast<int>(setup_.height);
        const bool imported =
            WebPPictureImportRGBA(&frame, queued.rgba.data(), static_cast<int>(setup_.width * 4)) != 0;
        const bool added = imported && WebPAnimEncoderAdd(encoder_.get(), &frame, queued.startMs, &config_);
        WebPPictureFree(&frame);
        return added;
    }

    void stopWorker() {
        if (!worker_.joinable()) return;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    Error encoderError() const {
        const char* reason = encoder_ ? WebPAnimEncoderGetError(encoder_.get()) : nullptr;
        return exportError(kExportErrorEncoder,
                           std::string("The WebP encoder failed") + (reason && *reason ? ": " + std::string(reason) : "."));
    }

    EncoderSetup setup_;
    WebPConfig config_{};
    std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter> encoder_;
    MediaTime end_ = MediaTime::zero();

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QueuedPicture> queue_;  // the front one is being encoded
    std::vector<std::uint8_t> spare_;  // a picture buffer to reuse
    bool stopping_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeWebPEncoder() { return std::make_unique<WebPEncoder>(); }

}  // namespace velarium::exporter
