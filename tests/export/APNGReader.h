#pragma once

// Reads an APNG back: our reading of its frame-control chunks (acTL, fcTL,
// fdAT), and libpng for the pixels of each frame, drawn onto the canvas.

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/coremedia/MediaTime.h"
#include "support/Corpus.h"

namespace velarium::testing {

struct APNGFrame {
    std::vector<std::uint8_t> rgba;  // the whole canvas after this frame
    std::uint16_t delayNumerator = 0, delayDenominator = 0;
};

struct APNGFile {
    std::uint32_t width = 0, height = 0;
    std::uint32_t plays = 0;
    std::uint8_t colourType = 0;
    std::vector<APNGFrame> frames;
    std::string failure;  // empty when the file read well
};

inline std::uint32_t be32(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
inline std::uint16_t be16(const std::uint8_t* p) { return std::uint16_t(p[0] << 8 | p[1]); }

inline std::vector<std::uint8_t> pngChunk(const char* type, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out = {std::uint8_t(size >> 24), std::uint8_t(size >> 16), std::uint8_t(size >> 8),
                                     std::uint8_t(size)};
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data, static_cast<uInt>(size));
    for (int shift : {24, 16, 8, 0}) out.push_back(std::uint8_t(crc >> shift));
    return out;
}

// Decodes a PNG to RGBA with libpng's transformations, which keep the colour
// of fully transparent pixels (the simplified API may not).
inline bool decodePNG(const std::vector<std::uint8_t>& png, std::uint32_t width, std::uint32_t height,
                      std::vector<std::uint8_t>& rgba) {
    png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(reader);
    struct Cursor { const std::vector<std::uint8_t>* bytes; std::size_t at; } cursor{&png, 0};
    if (setjmp(png_jmpbuf(reader))) {
        png_destroy_read_struct(&reader, &info, nullptr);
        return false;
    }
    png_set_read_fn(reader, &cursor, [](png_structp r, png_bytep out, png_size_t size) {
        auto* c = static_cast<Cursor*>(png_get_io_ptr(r));
        if (c->at + size > c->bytes->size()) png_error(r, "short");
        std::memcpy(out, c->bytes->data() + c->at, size);
        c->at += size;
    });
    png_read_info(reader, info);
    if (png_get_image_width(reader, info) != width || png_get_image_height(reader, info) != height) png_error(reader, "size");
    png_set_expand(reader);
    png_set_filler(reader, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(reader, info);
    rgba.assign(std::size_t(width) * height * 4, 0);
    std::vector<png_bytep> rows(height);
    for (std::uint32_t y = 0; y < height; ++y) rows[y] = rgba.data() + std::size_t(y) * width * 4;
    png_read_image(reader, rows.data());
    png_destroy_read_struct(&reader, &info, nullptr);
    return true;
}

inline APNGFile readAPNG(const std::filesystem::path& path) {
    APNGFile file;
    const auto bytes = readFileBytes(path);
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0) return {.failure = "no PNG signature"};
    std::vector<std::uint8_t> header, palette;  // IHDR and PLTE/tRNS chunks, whole
    struct Pending { std::uint32_t w, h, x, y; std::uint16_t num, den; std::vector<std::uint8_t> data; };
    std::vector<Pending> pending;
    std::uint32_t expectedSequence = 0;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t size = be32(&bytes[at]);
        const std::string type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        const std::uint8_t* data = &bytes[at + 8];
        if (at + 12 + size > bytes.size()) return {.failure = "chunk runs past the end"};
        const std::vector<std::uint8_t> whole(bytes.begin() + at, bytes.begin() + at + 12 + size);
        if (type == "IHDR") {
            header = whole;
            file.width = be32(data);
            file.height = be32(data + 4);
            file.colourType = data[9];
        } else if (type == "PLTE" || type == "tRNS") {
            palette.insert(palette.end(), whole.begin(), whole.end());
        } else if (type == "acTL") {
            file.plays = be32(data + 4);
        } else if (type == "fcTL") {
            if (be32(data) != expectedSequence++) return {.failure = "fcTL out of sequence"};
            pending.push_back({be32(data + 4), be32(data + 8), be32(data + 12), be32(data + 16), be16(data + 20),
                               be16(data + 22), {}});
        } else if (type == "IDAT" && !pending.empty()) {
            pending.back().data.insert(pending.back().data.end(), data, data + size);
        } else if (type == "fdAT") {
            if (pending.empty() || be32(data) != expectedSequence++) return {.failure = "fdAT out of sequence"};
            pending.back().data.insert(pending.back().data.end(), data + 4, data + size);
        }
        at += 12 + size;
    }
    std::vector<std::uint8_t> canvas(std::size_t(file.width) * file.height * 4, 0);
    for (const Pending& frame : pending) {
        if (frame.x + frame.w > file.width || frame.y + frame.h > file.height) return {.failure = "frame off canvas"};
        // A PNG of its own for the frame: its size in the header, its data as IDAT.
        std::vector<std::uint8_t> png(kSignature, kSignature + 8);
        std::vector<std::uint8_t> ihdr(header.begin() + 8, header.end() - 4);
        for (int i = 0; i < 4; ++i) {
            ihdr[i] = std::uint8_t(frame.w >> (24 - 8 * i));
            ihdr[4 + i] = std::uint8_t(frame.h >> (24 - 8 * i));
        }
        for (const auto& part : {pngChunk("IHDR", ihdr.data(), ihdr.size()), palette,
                                 pngChunk("IDAT", frame.data.data(), frame.data.size()), pngChunk("IEND", nullptr, 0)})
            png.insert(png.end(), part.begin(), part.end());
        std::vector<std::uint8_t> pixels;
        if (!decodePNG(png, frame.w, frame.h, pixels)) return {.failure = "libpng could not read a frame"};
        for (std::uint32_t y = 0; y < frame.h; ++y)
            std::memcpy(&canvas[(std::size_t(frame.y + y) * file.width + frame.x) * 4], &pixels[std::size_t(y) * frame.w * 4],
                        std::size_t(frame.w) * 4);
        file.frames.push_back({canvas, frame.num, frame.den});
    }
    return file;
}

}  // namespace velarium::testing
