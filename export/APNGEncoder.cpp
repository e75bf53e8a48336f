// APNG: PNG's chunks with the animation's frame-control chunks (acTL, fcTL,
// fdAT), compressed with libdeflate and framed by our own chunk writer,
// since the system's libpng cannot write animations. Every picture after the first stores only
// the rectangle that changed, drawn over the one before (dispose none, blend
// source). While the whole animation has 256 RGBA colours or fewer the file
// is palette based; past that every frame is stored as RGBA.
#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

#include "export/AnimationEncoder.h"
#include "export/ExportError.h"
#include "export/FileOutput.h"
#include "export/PNGChunks.h"

namespace velarium::exporter {
namespace {

constexpr std::uint32_t kMaxDelayPart = 0xFFFF;  // fcTL's delay numerator and denominator are 16 bits
constexpr std::size_t kMaxPaletteColours = 256;
constexpr std::uint8_t kColourTypePalette = 3;
constexpr std::uint8_t kColourTypeRGBA = 6;
constexpr std::uint8_t kDisposeNone = 0;
constexpr std::uint8_t kBlendSource = 0;
// libdeflate's level 5: on the 1280×720 bench animation its streams are a
// fifth smaller than zlib's level 6 in less than half the time; level 8
// saves another sixth at four times the cost.
constexpr int kDeflateLevel = 5;
constexpr std::uint8_t kFilterNone = 0, kFilterSub = 1, kFilterUp = 2;

struct Rect {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
};

struct Delay {
    std::uint16_t numerator = 0;
    std::uint16_t denominator = 1;
};

// One frame as it will be written: where it goes, for how long, and its
// compressed scanlines.
struct StoredFrame {
    Rect rect;
    Delay delay;
    std::vector<std::uint8_t> data;
};

// The fraction closest to value/scale (both positive) whose parts fit in 16
// bits, by the continued fraction of value/scale.
Delay closestDelay(std::int64_t value, std::int64_t scale) {
    if (value <= 0 || scale <= 0) return {0, 1};
    const std::int64_t common = std::gcd(value, scale);
    value /= common;
    scale /= common;
    if (value <= kMaxDelayPart && scale <= kMaxDelayPart) return {std::uint16_t(value), std::uint16_t(scale)};
    // Convergents p/q of value/scale while both fit.
    std::int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0, n = value, d = scale;
    while (d != 0) {
        const std::int64_t a = n / d;
        const std::int64_t p2 = a * p1 + p0, q2 = a * q1 + q0;
        if (p2 > kMaxDelayPart || q2 > kMaxDelayPart) break;
        p0 = p1; q0 = q1; p1 = p2; q1 = q2;
        std::tie(n, d) = std::make_pair(d, n - a * d);
    }
    if (q1 == 0) return {std::uint16_t(kMaxDelayPart), 1};  // longer than 18 hours: as long as it can be
    return {std::uint16_t(p1), std::uint16_t(q1)};
}

// Assigns palette indices to RGBA colours in the order they first appear.
// Open addressing keyed by the colour itself: a lookup that finds its colour
// reads one slot. 1024 slots for at most 256 colours keep probes short and
// the table in the first-level cache.
class ColourTable {
public:
    ColourTable() : slots_(kSlots) {}

    // The index of `colour`, adding it when new; -1 once the table is full.
    int indexOf(std::uint32_t colour) {
        std::size_t slot = (colour * 0x9E3779B1u) >> (32 - kSlotBits);
        while (slots_[slot].index >= 0) {
            if (slots_[slot].colour == colour) return slots_[slot].index;
            slot = (slot + 1) & (kSlots - 1);
        }
        if (colours_.size() == kMaxPaletteColours) return -1;
        slots_[slot] = {colour, static_cast<int>(colours_.size())};
        colours_.push_back(colour);
        return slots_[slot].index;
    }
    const std::vector<std::uint32_t>& colours() const { return colours_; }

private:
    struct Slot {
        std::uint32_t colour = 0;
        int index = -1;  // -1: empty
    };
    static constexpr unsigned kSlotBits = 10;
    static constexpr std::size_t kSlots = std::size_t(1) << kSlotBits;
    std::vector<Slot> slots_;
    std::vector<std::uint32_t> colours_;
};

std::uint32_t pixelAt(const std::uint8_t* rgba, std::size_t index) {
    std::uint32_t pixel;
    std::memcpy(&pixel, rgba + index * 4, 4);
    return pixel;
}

// Copies the rectangle `r` of one width-pixel-wide RGBA picture into another.
void copyRect(const std::vector<std::uint8_t>& from, std::vector<std::uint8_t>& to, std::uint32_t width, const Rect& r) {
    const std::size_t rowBytes = std::size_t(width) * 4;
    for (std::uint32_t y = r.y; y < r.y + r.height; ++y)
        std::memcpy(to.data() + y * rowBytes + r.x * 4, from.data() + y * rowBytes + r.x * 4, std::size_t(r.width) * 4);
}

// How many pixels from the start of rows `a` and `b` are equal, at most
// `limit`: blocks through memcmp, then the pixels of the block that differs.
std::uint32_t equalLead(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    constexpr std::uint32_t kBlock = 16;
    std::uint32_t x = 0;
    while (x + kBlock <= limit && std::memcmp(a + x * 4, b + x * 4, kBlock * 4) == 0) x += kBlock;
    while (x < limit && pixelAt(a, x) == pixelAt(b, x)) ++x;
    return x;
}

// How many pixels before `end` are equal in rows `a` and `b`, at most `limit`.
std::uint32_t equalTail(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t end, std::uint32_t limit) {
    constexpr std::uint32_t kBlock = 16;
    std::uint32_t n = 0;
    while (n + kBlock <= limit && std::memcmp(a + (end - n - kBlock) * 4, b + (end - n - kBlock) * 4, kBlock * 4) == 0)
        n += kBlock;
    while (n < limit && pixelAt(a, end - n - 1) == pixelAt(b, end - n - 1)) ++n;
    return n;
}

// The smallest rectangle holding every pixel that differs; empty when none does.
Rect changedRect(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after, std::uint32_t width,
                 std::uint32_t height) {
    const std::size_t rowBytes = std::size_t(width) * 4;
    auto rowDiffers = [&](std::uint32_t y) {
        return std::memcmp(before.data() + y * rowBytes, after.data() + y * rowBytes, rowBytes) != 0;
    };
    std::uint32_t top = 0;
    while (top < height && !rowDiffers(top)) ++top;
    if (top == height) return {};
    std::uint32_t bottom = height;
    while (!rowDiffers(bottom - 1)) --bottom;
    std::uint32_t left = width, right = 0;
    for (std::uint32_t y = top; y < bottom; ++y) {
        const std::uint8_t* a = before.data() + y * rowBytes;
        const std::uint8_t* b = after.data() + y * rowBytes;
        // Only the columns outside the rectangle found so far can widen it.
        left = std::min(left, equalLead(a, b, left));
        right = std::max(right, width - equalTail(a, b, width, width - right));
    }
    return {left, top, right - left, bottom - top};
}

// The sum of the filtered bytes taken as signed: the usual guess at which
// filter compresses best.
std::uint64_t filterCost(const std::uint8_t* row, std::size_t size) {
    std::uint64_t cost = 0;
    for (std::size_t i = 0; i < size; ++i) cost += row[i] < 128 ? row[i] : 256 - row[i];
    return cost;
}

class APNGEncoder final : public AnimationEncoder {
public:
    bool begin(const EncoderSetup& setup, Error* error) override {
        if (setup.width == 0 || setup.height == 0 || setup.width > 0x7FFFFFFF || setup.height > 0x7FFFFFFF)
            return fail(error, exportError(kExportErrorTooLarge, "APNG cannot hold a picture of this size"));
        setup_ = setup;
        compressor_.reset(libdeflate_alloc_compressor(kDeflateLevel));
        if (!compressor_) return fail(error, exportError(kExportErrorEncoder, "The compressor could not start"));
        return true;
    }

    bool addPicture(const Picture& picture, MediaTime start, MediaTime duration, Error* error) override {
        const auto width = static_cast<std::uint32_t>(setup_.width), height = static_cast<std::uint32_t>(setup_.height);
        if (picture.width != width || picture.height != height)
            return fail(error, exportError(kExportErrorEncoder, "A picture has a different size"));
        Rect rect{0, 0, width, height};
        if (frames_.empty()) {
            previous_ = picture.rgba;
        } else {
            rect = changedRect(previous_, picture.rgba, width, height);
            if (rect.width == 0) rect = {0, 0, 1, 1};  // nothing changed: one pixel, redrawn as it was
            copyRect(picture.rgba, previous_, width, rect);
        }
        StoredFrame frame{rect, delayUntil(start + duration), {}};
        if (palette_ && !storeIndexed(picture.rgba, frame)) switchToRGBA();
        if (!palette_) storeRGBA(picture.rgba.data(), width, frame);
        frames_.push_back(std::move(frame));
        return true;
    }

    bool finish(Error* error) override {
        std::vector<std::uint8_t> out;
        appendPNGSignature(out);
        std::vector<std::uint8_t> header;
        appendU32(header, static_cast<std::uint32_t>(setup_.width));
        appendU32(header, static_cast<std::uint32_t>(setup_.height));
        header.insert(header.end(), {8, palette_ ? kColourTypePalette : kColourTypeRGBA, 0, 0, 0});
        appendPNGChunk(out, "IHDR", header);
        if (palette_) appendPalette(out);
        std::vector<std::uint8_t> control;
        appendU32(control, static_cast<std::uint32_t>(frames_.size()));
        appendU32(control, setup_.loop ? 0 : 1);
        appendPNGChunk(out, "acTL", control);
        if (!writeAll(setup_.fd, out.data(), out.size(), error)) return false;

        std::uint32_t sequence = 0;
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            out.clear();
            const StoredFrame& frame = frames_[i];
            control.clear();
            appendU32(control, sequence++);
            for (std::uint32_t field : {frame.rect.width, frame.rect.height, frame.rect.x, frame.rect.y})
                appendU32(control, field);
            appendU16(control, frame.delay.numerator);
            appendU16(control, frame.delay.denominator);
            control.insert(control.end(), {kDisposeNone, kBlendSource});
            appendPNGChunk(out, "fcTL", control);
            if (i == 0) {
                appendPNGChunk(out, "IDAT", frame.data);
            } else {
                std::vector<std::uint8_t> data;
                data.reserve(frame.data.size() + 4);
                appendU32(data, sequence++);
                data.insert(data.end(), frame.data.begin(), frame.data.end());
                appendPNGChunk(out, "fdAT", data);
            }
            if (!writeAll(setup_.fd, out.data(), out.size(), error)) return false;
        }
        out.clear();
        appendPNGChunk(out, "IEND", nullptr, 0);
        return writeAll(setup_.fd, out.data(), out.size(), error);
    }

private:
    // The delay that brings the frames written so far to `end`, exact when
    // its reduced fraction fits fcTL's 16-bit parts; otherwise the closest
    // that does, with the next delay making up the difference.
    Delay delayUntil(MediaTime end) {
        const MediaTime wanted = end - written_;
        const Delay delay = closestDelay(wanted.value, wanted.timescale);
        written_ = written_ + MediaTime::make(delay.numerator, delay.denominator);
        return delay;
    }

    // Maps the frame's rectangle to palette indices and stores it; false,
    // storing nothing, when the animation has more colours than a palette holds.
    bool storeIndexed(const std::vector<std::uint8_t>& rgba, StoredFrame& frame) {
        const Rect& r = frame.rect;
        std::vector<std::uint8_t>& rows = scanlines_;
        rows.resize(std::size_t(r.height) * (r.width + 1));
        std::uint8_t* out = rows.data();
        for (std::uint32_t y = 0; y < r.height; ++y) {
            *out++ = kFilterNone;  // palette indices compress best unfiltered
            const std::uint8_t* in = rgba.data() + (std::size_t(r.y + y) * setup_.width + r.x) * 4;
            // Runs of one colour are common: the table is asked only when the colour changes.
            std::uint32_t lastColour = pixelAt(in, 0);
            int lastIndex = colours_.indexOf(lastColour);
            if (lastIndex < 0) return false;
            for (std::uint32_t x = 0; x < r.width; ++x) {
                const std::uint32_t colour = pixelAt(in, x);
                if (colour != lastColour) {
                    lastIndex = colours_.indexOf(colour);
                    if (lastIndex < 0) return false;
                    lastColour = colour;
                }
                out[x] = static_cast<std::uint8_t>(lastIndex);
            }
            out += r.width;
        }
        frame.data = compress(rows);
        return true;
    }

    // Stores the frame's rectangle as filtered RGBA rows (the filter of each
    // row chosen by the usual smallest-sum guess).
    void storeRGBA(const std::uint8_t* rgba, std::uint32_t canvasWidth, StoredFrame& frame) {
        const Rect& r = frame.rect;
        const std::size_t rowBytes = std::size_t(r.width) * 4;
        std::vector<std::uint8_t>& rows = scanlines_;
        rows.resize(std::size_t(r.height) * (rowBytes + 1));
        std::vector<std::uint8_t> sub(rowBytes), up(rowBytes);
        for (std::uint32_t y = 0; y < r.height; ++y) {
            const std::uint8_t* line = rgba + (std::size_t(r.y + y) * canvasWidth + r.x) * 4;
            const std::uint8_t* above = y > 0 ? line - std::size_t(canvasWidth) * 4 : nullptr;
            for (std::size_t i = 0; i < rowBytes; ++i) {
                sub[i] = std::uint8_t(line[i] - (i >= 4 ? line[i - 4] : 0));
                up[i] = std::uint8_t(line[i] - (above ? above[i] : 0));
            }
            const std::uint64_t none = filterCost(line, rowBytes), subCost = filterCost(sub.data(), rowBytes),
                                upCost = filterCost(up.data(), rowBytes);
            std::uint8_t* out = rows.data() + y * (rowBytes + 1);
            const std::uint8_t* chosen = line;
            out[0] = kFilterNone;
            if (subCost < none && subCost <= upCost) { chosen = sub.data(); out[0] = kFilterSub; }
            else if (upCost < none) { chosen = up.data(); out[0] = kFilterUp; }
            std::memcpy(out + 1, chosen, rowBytes);
        }
        frame.data = compress(rows);
    }

    // The animation has outgrown a palette: the frames stored so far are
    // inflated and rebuilt as RGBA from their indices, one at a time, so
    // that only compressed frames are ever kept.
    void switchToRGBA() {
        palette_ = false;
        const auto& colours = colours_.colours();
        std::unique_ptr<libdeflate_decompressor, Deleter> decompressor(libdeflate_alloc_decompressor());
        for (StoredFrame& frame : frames_) {
            const Rect& r = frame.rect;
            std::vector<std::uint8_t> indexed(std::size_t(r.height) * (r.width + 1));
            // Our own streams of exactly this size: they inflate.
            libdeflate_zlib_decompress(decompressor.get(), frame.data.data(), frame.data.size(), indexed.data(),
                                       indexed.size(), nullptr);
            std::vector<std::uint8_t> rgba(std::size_t(r.width) * r.height * 4);
            for (std::uint32_t y = 0; y < r.height; ++y)
                for (std::uint32_t x = 0; x < r.width; ++x)
                    std::memcpy(&rgba[(std::size_t(y) * r.width + x) * 4],
                                &colours[indexed[std::size_t(y) * (r.width + 1) + 1 + x]], 4);
            StoredFrame local = frame;
            local.rect = {0, 0, r.width, r.height};
            storeRGBA(rgba.data(), r.width, local);
            frame.data = std::move(local.data);
        }
    }

    void appendPalette(std::vector<std::uint8_t>& out) const {
        std::vector<std::uint8_t> palette, alpha;
        std::size_t lastTranslucent = 0;
        for (std::size_t i = 0; i < colours_.colours().size(); ++i) {
            std::uint8_t rgba[4];
            std::memcpy(rgba, &colours_.colours()[i], 4);
            palette.insert(palette.end(), rgba, rgba + 3);
            alpha.push_back(rgba[3]);
            if (rgba[3] != 255) lastTranslucent = i + 1;
        }
        appendPNGChunk(out, "PLTE", palette);
        if (lastTranslucent > 0) appendPNGChunk(out, "tRNS", alpha.data(), lastTranslucent);
    }

    // A zlib stream of `rows`, in a vector of exactly its size: every frame's
    // is kept until the end, so none may carry the worst case's spare room.
    std::vector<std::uint8_t> compress(const std::vector<std::uint8_t>& rows) {
        compressed_.resize(libdeflate_zlib_compress_bound(compressor_.get(), rows.size()));
        const std::size_t size =
            libdeflate_zlib_compress(compressor_.get(), rows.data(), rows.size(), compressed_.data(), compressed_.size());
        return {compressed_.begin(), compressed_.begin() + std::ptrdiff_t(size)};
    }

    struct Deleter {
        void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
        void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
    };

    EncoderSetup setup_;
    std::unique_ptr<libdeflate_compressor, Deleter> compressor_;
    bool palette_ = true;
    ColourTable colours_;
    std::vector<StoredFrame> frames_;
    std::vector<std::uint8_t> previous_;
    std::vector<std::uint8_t> scanlines_;
    std::vector<std::uint8_t> compressed_;
    MediaTime written_ = MediaTime::zero();
};

}  // namespace

std::unique_ptr<AnimationEncoder> makeAPNGEncoder() { return std::make_unique<APNGEncoder>(); }

}  // namespace velarium::exporter
