// Animated GIF through giflib. Pictures of 256 colours or fewer are stored
// exactly; each frame holds only the rectangle that changed, with the
// transparent index standing for pixels the canvas already shows. Pictures
// with more colours are reduced with dithering (see Quantiser).

#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"
#include "export/Quantiser.h"

namespace velarium::exporter {
namespace {

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian RGBA words");

constexpr std::uint64_t kMaxGIFSide = 65535;
constexpr unsigned kMaxColours = 256;
// Browsers play a delay of 1 cs or less as 10 cs; nothing shorter is written.
constexpr std::int64_t kShortestDelay = 2;
constexpr std::uint32_t kAlphaMask = 0xff000000u;
constexpr std::uint32_t kRGBMask = 0x00ffffffu;

// A pixel as one word: R in the low byte, alpha in the high one.
using Pixel = std::uint32_t;

Pixel pixelAt(const std::uint8_t* rgba, std::size_t index) {
    Pixel pixel;
    std::memcpy(&pixel, rgba + index * 4, 4);
    return pixel;
}

bool opaque(Pixel pixel) { return (pixel & kAlphaMask) != 0; }

// Two pixels look the same when both are transparent or both are the same colour.
bool sameLook(Pixel a, Pixel b) { return a == b || (!opaque(a) && !opaque(b)); }

GifColorType gifColour(Pixel rgb) {
    return {static_cast<GifByteType>(rgb & 0xff), static_cast<GifByteType>(rgb >> 8 & 0xff),
            static_cast<GifByteType>(rgb >> 16 & 0xff)};
}

struct Rect {
    std::uint32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    bool empty() const { return right <= left || bottom <= top; }
    std::uint32_t width() const { return right - left; }
    std::uint32_t height() const { return bottom - top; }
    void include(std::uint32_t x, std::uint32_t y) {
        if (empty()) {
            *this = {x, y, x + 1, y + 1};
            return;
        }
        left = std::min(left, x), top = std::min(top, y);
        right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
    }
    void include(const Rect& other) {
        if (other.empty()) return;
        include(other.left, other.top);
        include(other.right - 1, other.bottom - 1);
    }
};

// Up to 256 colours and their indices, in the order they were first seen.
class ColourIndex {
public:
    ColourIndex() { clear(); }

    void clear() {
        keys_.fill(kEmpty);
        colours_.clear();
        last_ = kEmpty;
        overflowed_ = false;
    }
    // Adds the colour if it is new; beyond 256 colours only remembers that
    // there were more.
    void add(Pixel rgb) {
        rgb &= kRGBMask;
        if (rgb == last_) return;
        std::size_t slot = hash(rgb);
        while (keys_[slot] != kEmpty) {
            if (keys_[slot] == rgb) {
                last_ = rgb;
                return;
            }
            slot = (slot + 1) % kSlots;
        }
        if (colours_.size() == kMaxColours) {
            overflowed_ = true;
            return;
        }
        keys_[slot] = rgb;
        values_[slot] = static_cast<std::uint8_t>(colours_.size());
        colours_.push_back(rgb);
        last_ = rgb;
    }
    // The colour's index, or -1.
    int find(Pixel rgb) const {
        rgb &= kRGBMask;
        for (std::size_t slot = hash(rgb); keys_[slot] != kEmpty; slot = (slot + 1) % kSlots)
            if (keys_[slot] == rgb) return values_[slot];
        return -1;
    }
    bool contains(const ColourIndex& other) const {
        return !other.overflowed_ && std::all_of(other.colours_.begin(), other.colours_.end(),
                                                 [&](Pixel rgb) { return find(rgb) >= 0; });
    }
    std::size_t size() const { return colours_.size(); }
    bool overflowed() const { return overflowed_; }
    const std::vector<Pixel>& colours() const { return colours_; }

private:
    static constexpr std::size_t kSlots = 1024;  // a quarter full at most
    static constexpr Pixel kEmpty = 0xffffffffu;
    static std::size_t hash(Pixel rgb) { return (rgb * 2654435761u) >> 22; }

    std::array<Pixel, kSlots> keys_;
    std::array<std::uint8_t, kSlots> values_{};
    std::vector<Pixel> colours_;
    Pixel last_ = kEmpty;
    bool overflowed_ = false;
};

// A colour map as giflib wants it: a power of two of entries, at least two.
struct ColourMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, ColourMapDeleter>;

ColourMap makeColourMap(const std::vector<Pixel>& colours, std::size_t entries) {
    std::vector<GifColorType> table(std::max<std::size_t>(std::bit_ceil(std::max<std::size_t>(entries, 2)), 2),
                                    GifColorType{0, 0, 0});
    std::transform(colours.begin(), colours.end(), table.begin(), gifColour);
    return ColourMap(GifMakeMapObject(static_cast<int>(table.size()), table.data()));
}

// A picture waiting for its delay, with its start in centiseconds.
struct HeldPicture {
    std::vector<std::uint8_t> rgba;
    std::int64_t start = 0;
};

class GIFEncoder final : public AnimationEncoder {
public:
    ~GIFEncoder() override {
        if (!gif_) return;
        dropLocalMap();
        EGifCloseFile(gif_, nullptr);
    }

    bool begin(const EncoderSetup& setup, Error* error) override {
        if (setup.width == 0 || setup.height == 0 || setup.width > kMaxGIFSide || setup.height > kMaxGIFSide)
            return fail(error, exportError(kExportErrorTooLarge, "GIF pictures can be at most 65535 pixels on a side."));
        setup_ = setup;
        const int fd = ::dup(setup.fd);
        int code = 0;
        gif_ = fd >= 0 ? EGifOpenFileHandle(fd, &code) : nullptr;
        if (!gif_) {
            if (fd >= 0) ::close(fd);
            return fail(error, exportError(kExportErrorCannotWrite, "The GIF file could not be opened for writing."));
        }
        EGifSetGifVersion(gif_, true);
        const std::size_t pixels = setup.width * setup.height;
        canvas_.assign(pixels, 0);
        shown_.assign(pixels * 4, 0);
        indices_.reserve(pixels);
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        end_ = start + duration;
        const std::int64_t startCs = centiseconds(start);
        if (pending_) {
            if (startCs - pending_->start >= kShortestDelay) {
                if (!keepPending(error)) return false;
            } else {
                // Too short to be shown: its time goes to the picture before it
                // (or, for the very first picture, to the one after).
                ++dropped_;
                spare_ = std::move(pending_->rgba);
                const std::int64_t inheritedStart = pending_->start;
                pending_.reset();
                if (!kept_) return hold(picture, inheritedStart);
            }
        }
        return hold(picture, startCs);
    }

    bool finish(Error* error) override {
        const std::int64_t endCs = centiseconds(end_);
        if (pending_ && (endCs - pending_->start >= kShortestDelay || !kept_)) {
            if (!keepPending(error)) return false;
        } else if (pending_) {
            ++dropped_;
            pending_.reset();
        }
        if (kept_ && !writeFrame(kept_->rgba, std::max(endCs - kept_->start, kShortestDelay), nullptr, error))
            return false;
        kept_.reset();
        int code = 0;
        dropLocalMap();
        GifFileType* gif = std::exchange(gif_, nullptr);
        if (EGifCloseFile(gif, &code) == GIF_ERROR)
            return fail(error, writeError(code));
        return true;
    }

    std::uint64_t droppedPictures() const override { return dropped_; }

private:
    // giflib keeps a copy of the last frame's local colour map and frees it
    // neither when the next frame brings its own nor when the file closes.
    void dropLocalMap() {
        GifFreeMapObject(gif_->Image.ColorMap);
        gif_->Image.ColorMap = nullptr;
    }

    static std::int64_t centiseconds(MediaTime time) { return time.convertScale(100).value; }

    bool hold(const Picture& picture, std::int64_t startCs) {
        pending_.emplace();
        pending_->rgba = std::move(spare_);
        pending_->rgba.assign(picture.rgba.begin(), picture.rgba.end());
        pending_->start = startCs;
        return true;
    }

    // The pending picture will be shown: the kept one before it now knows its
    // delay and what follows it, and is written.
    bool keepPending(Error* error) {
        if (kept_) {
            if (!writeFrame(kept_->rgba, pending_->start - kept_->start, &pending_->rgba, error)) return false;
            spare_ = std::move(kept_->rgba);
        }
        kept_ = std::move(pending_);
        pending_.reset();
        return true;
    }

    Error gifError() const { return writeError(gif_->Error); }

    static Error writeError(int code) {
        const char* reason = GifErrorString(code);
        return exportError(kExportErrorCannotWrite,
                           std::string("The GIF file could not be written: ") + (reason ? reason : "unknown failure"));
    }

    // The rectangle of the pixels that the picture shows differently from the canvas.
    Rect changedRect(const std::uint8_t* rgba) const {
        Rect rect;
        const std::uint32_t width = static_cast<std::uint32_t>(setup_.width);
        for (std::uint32_t y = 0; y < setup_.height; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * width;
            std::uint32_t x = 0;
            while (x < width && sameLook(pixelAt(rgba, row + x), canvas_[row + x])) ++x;
            if (x == width) continue;
            std::uint32_t last = width - 1;
            while (sameLook(pixelAt(rgba, row + last), canvas_[row + last])) --last;
            rect.include(x, y);
            rect.include(last, y);
        }
        return rect;
    }

    // The rectangle of the pixels opaque now and transparent in the next
    // picture: this frame must be cleared afterwards, since a GIF frame can
    // only cover what is shown, never uncover it.
    Rect uncoveredRect(const std::uint8_t* rgba, const std::uint8_t* next) const {
        Rect rect;
        for (std::uint32_t y = 0; y < setup_.height; ++y)
            for (std::uint32_t x = 0; x < setup_.width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * setup_.width + x;
                if (opaque(pixelAt(rgba, i)) && !opaque(pixelAt(next, i))) rect.include(x, y);
            }
        return rect;
    }

    bool writeHeader(const ColourIndex& firstColours, bool needsTransparency, Error* error) {
        ColourMap globalMap;
        if (!firstColours.overflowed() && firstColours.size() + (needsTransparency ? 1 : 0) <= kMaxColours) {
            global_ = firstColours;
            globalTransparent_ =
                global_.size() < kMaxColours ? static_cast<int>(global_.size()) : -1;
            globalMap = makeColourMap(global_.colours(), global_.size() + (globalTransparent_ >= 0 ? 1 : 0));
            haveGlobal_ = true;
        }
        if (EGifPutScreenDesc(gif_, static_cast<int>(setup_.width), static_cast<int>(setup_.height), 8, 0,
                              globalMap.get()) == GIF_ERROR)
            return fail(error, gifError());
        if (!setup_.loop) return true;
        // NETSCAPE2.0: repeat forever. Without it the animation plays once.
        static const GifByteType kApplication[] = "NETSCAPE2.0";
        static const GifByteType kRepeatForever[] = {1, 0, 0};
        if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 11, kApplication) == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 3, kRepeatForever) == GIF_ERROR || EGifPutExtensionTrailer(gif_) == GIF_ERROR)
            return fail(error, gifError());
        return true;
    }

    bool writeFrame(const std::vector<std::uint8_t>& picture, std::int64_t delay, const std::vector<std::uint8_t>* next,
                    Error* error) {
        const std::uint8_t* rgba = picture.data();
        const std::uint32_t width = static_cast<std::uint32_t>(setup_.width);
        const bool first = frames_ == 0;
        Rect rect = first ? Rect{0, 0, width, static_cast<std::uint32_t>(setup_.height)} : changedRect(rgba);
        const Rect uncovered = next ? uncoveredRect(rgba, next->data()) : Rect{};
        rect.include(uncovered);
        if (rect.empty()) rect = {0, 0, 1, 1};

        // What each pixel of the rectangle needs: drawn (a new colour), kept
        // (already on the canvas: drawn, or transparent when the map has room)
        // or transparent (the picture's transparent colour).
        changed_.clear();
        unchanged_.clear();
        bool anyTransparent = false;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            for (std::uint32_t x = rect.left; x < rect.right; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                const Pixel pixel = pixelAt(rgba, i);
                if (!opaque(pixel))
                    anyTransparent = true;
                else if (pixel == canvas_[i])
                    unchanged_.add(pixel);
                else
                    changed_.add(pixel);
            }
        if (first && !writeHeader(changed_, anyTransparent, error)) return false;

        // The colour map: the global one where it holds every colour, else one
        // of this frame's own.
        const ColourIndex* map = nullptr;
        int transparent = -1;
        bool keptAsTransparent = false;
        if (haveGlobal_ && global_.contains(changed_) && globalTransparent_ >= 0) {
            map = &global_, transparent = globalTransparent_, keptAsTransparent = true;
        } else if (haveGlobal_ && !anyTransparent && global_.contains(changed_) && global_.contains(unchanged_)) {
            map = &global_;
        } else if (!changed_.overflowed() && changed_.size() < kMaxColours) {
            map = &changed_, transparent = static_cast<int>(changed_.size()), keptAsTransparent = true;
        } else if (!anyTransparent && !changed_.overflowed() && !unchanged_.overflowed()) {
            for (Pixel rgb : unchanged_.colours()) changed_.add(rgb);
            if (!changed_.overflowed()) map = &changed_;
        }

        ColourMap localMap;
        indices_.resize(static_cast<std::size_t>(rect.width()) * rect.height());
        if (map) {
            if (map != &global_) localMap = makeColourMap(map->colours(), map->size() + (transparent >= 0 ? 1 : 0));
            indexExactly(rgba, rect, *map, transparent, keptAsTransparent);
        } else {
            transparent = kMaxColours - 1;
            if (!indexReduced(rgba, rect, transparent, &localMap))
                return fail(error, exportError(kExportErrorEncoder, "A picture could not be reduced to 256 colours."));
        }

        GraphicsControlBlock control{};
        control.DisposalMode = uncovered.empty() ? DISPOSE_DO_NOT : DISPOSE_BACKGROUND;
        control.UserInputFlag = false;
        control.DelayTime = static_cast<int>(std::min<std::int64_t>(delay, 0xffff));
        control.TransparentColor = transparent >= 0 ? transparent : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        const std::size_t extensionSize = EGifGCBToExtension(&control, extension);
        dropLocalMap();
        if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extensionSize), extension) == GIF_ERROR ||
            EGifPutImageDesc(gif_, static_cast<int>(rect.left), static_cast<int>(rect.top),
                             static_cast<int>(rect.width()), static_cast<int>(rect.height()), false,
                             localMap.get()) == GIF_ERROR ||
            EGifPutLine(gif_, indices_.data(), static_cast<int>(indices_.size())) == GIF_ERROR)
            return fail(error, gifError());

        // The canvas as a reader shows it after this frame and its disposal.
        const auto& colours = map ? map->colours() : reducedColours_;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            for (std::uint32_t x = rect.left; x < rect.right; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width + x;
                const int index = indices_[static_cast<std::size_t>(y - rect.top) * rect.width() + (x - rect.left)];
                if (index != transparent) canvas_[i] = colours[static_cast<std::size_t>(index)] | kAlphaMask;
                if (!uncovered.empty()) canvas_[i] = 0;
            }
        std::copy(picture.begin(), picture.end(), shown_.begin());
        ++frames_;
        return true;
    }

    void indexExactly(const std::uint8_t* rgba, const Rect& rect, const ColourIndex& map, int transparent,
                      bool keptAsTransparent) {
        std::uint8_t* out = indices_.data();
        // The last colour looked up and its index. It starts transparent,
        // which is never looked up: opaque white is 0xffffffff.
        Pixel lastColour = 0;
        std::uint8_t lastIndex = 0;
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            for (std::uint32_t x = rect.left; x < rect.right; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * setup_.width + x;
                const Pixel pixel = pixelAt(rgba, i);
                if (!opaque(pixel) || (keptAsTransparent && pixel == canvas_[i])) {
                    *out++ = static_cast<std::uint8_t>(transparent);
                    continue;
                }
                if (pixel != lastColour) lastColour = pixel, lastIndex = static_cast<std::uint8_t>(map.find(pixel));
                *out++ = lastIndex;
            }
    }

    // Dithers the rectangle to 255 colours and the transparent index, which
    // also stands for every pixel the source did not change since the last
    // frame, so that unchanged areas do not shimmer from frame to frame.
    bool indexReduced(const std::uint8_t* rgba, const Rect& rect, int transparent, ColourMap* localMap) {
        IndexedPicture reduced;
        const std::size_t stride = setup_.width * 4;
        if (!quantise(rgba + (static_cast<std::size_t>(rect.top) * setup_.width + rect.left) * 4, stride, rect.width(),
                      rect.height(), kMaxColours - 1, &reduced))
            return false;
        reducedColours_ = reduced.colours;
        *localMap = makeColourMap(reducedColours_, kMaxColours);
        std::uint8_t* out = indices_.data();
        const std::uint8_t* reducedIndex = reduced.indices.data();
        for (std::uint32_t y = rect.top; y < rect.bottom; ++y)
            for (std::uint32_t x = rect.left; x < rect.right; ++x, ++reducedIndex) {
                const std::size_t i = static_cast<std::size_t>(y) * setup_.width + x;
                const Pixel pixel = pixelAt(rgba, i);
                const bool unchanged = opaque(canvas_[i]) && (pixel == canvas_[i] || pixel == pixelAt(shown_.data(), i));
                *out++ = !opaque(pixel) || unchanged ? static_cast<std::uint8_t>(transparent) : *reducedIndex;
            }
        return *localMap != nullptr;
    }

    EncoderSetup setup_;
    GifFileType* gif_ = nullptr;
    std::optional<HeldPicture> kept_;     // shown, waiting for the picture after it to be kept
    std::optional<HeldPicture> pending_;  // waiting for its delay
    std::vector<std::uint8_t> spare_;     // a picture buffer to reuse
    MediaTime end_ = MediaTime::zero();

    std::vector<Pixel> canvas_;           // what a reader shows after the last frame written
    std::vector<std::uint8_t> shown_;     // the source picture of the last frame written
    std::vector<std::uint8_t> indices_;
    ColourIndex global_;
    int globalTransparent_ = -1;
    bool haveGlobal_ = false;
    ColourIndex changed_, unchanged_;
    std::vector<Pixel> reducedColours_;
    std::uint64_t frames_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeGIFEncoder() { return std::make_unique<GIFEncoder>(); }

}  // namespace velarium::exporter
