// Animated WebP through libwebp's animation encoder: lossless and exact, so
// that every picture reads back RGBA for RGBA, transparent pixels included.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <webp/encode.h>
#include <webp/mux.h>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"

namespace velarium::exporter {
namespace {

// The largest side a WebP picture can have.
constexpr std::uint64_t kMaxWebPSide = WEBP_MAX_DIMENSION;
// Lossless effort. Method 0 with a low quality keeps the palette and the
// predictors that suit indexed pictures, and is several times faster than the
// defaults for a file barely larger; see the measurements in the export notes
// of the test.
constexpr int kLosslessMethod = 0;
constexpr float kLosslessQuality = 10.0f;

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

class WebPEncoder final : public AnimationEncoder {
public:
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
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        WebPPicture frame;
        if (!WebPPictureInit(&frame)) return fail(error, exportError(kExportErrorEncoder, "WebP picture setup failed."));
        frame.use_argb = 1;
        frame.width = static_cast<int>(picture.width);
        frame.height = static_cast<int>(picture.height);
        const bool imported =
            WebPPictureImportRGBA(&frame, picture.rgba.data(), static_cast<int>(picture.width * 4)) != 0;
        const bool added = imported && WebPAnimEncoderAdd(encoder_.get(), &frame, roundedMilliseconds(start), &config_);
        WebPPictureFree(&frame);
        if (!added) return fail(error, encoderError());
        end_ = start + duration;
        return true;
    }

    bool finish(Error* error) override {
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
    Error encoderError() const {
        const char* reason = encoder_ ? WebPAnimEncoderGetError(encoder_.get()) : nullptr;
        return exportError(kExportErrorEncoder,
                           std::string("The WebP encoder failed") + (reason && *reason ? ": " + std::string(reason) : "."));
    }

    EncoderSetup setup_;
    WebPConfig config_{};
    std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter> encoder_;
    MediaTime end_ = MediaTime::zero();
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeWebPEncoder() { return std::make_unique<WebPEncoder>(); }

}  // namespace velarium::exporter
