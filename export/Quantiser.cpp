#include "export/Quantiser.h"

#include <leptonica/allheaders.h>

#include <memory>
#include <mutex>

namespace velarium::exporter {
namespace {

struct PixDeleter {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixHolder = std::unique_ptr<PIX, PixDeleter>;

// Leptonica reports to stderr by default; its failures come back as null
// results here, which the caller turns into an export error.
void quietenLeptonica() {
    static std::once_flag once;
    std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
}

// Median cut on the full 5 bits per channel histogram, sampling every pixel.
constexpr l_int32 kSignificantBits = 5;
constexpr l_int32 kNoSubsampling = 1;

}  // namespace

bool quantise(const std::uint8_t* rgba, std::size_t stride, std::uint32_t width, std::uint32_t height,
              unsigned maxColours, IndexedPicture* out) {
    quietenLeptonica();
    PixHolder source(pixCreate(static_cast<l_int32>(width), static_cast<l_int32>(height), 32));
    if (!source) return false;
    l_uint32* data = pixGetData(source.get());
    const l_int32 wordsPerLine = pixGetWpl(source.get());
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba + y * stride;
        l_uint32* line = data + static_cast<std::size_t>(y) * wordsPerLine;
        for (std::uint32_t x = 0; x < width; ++x, row += 4)
            line[x] = static_cast<l_uint32>(row[0]) << L_RED_SHIFT | static_cast<l_uint32>(row[1]) << L_GREEN_SHIFT |
                      static_cast<l_uint32>(row[2]) << L_BLUE_SHIFT;
    }

    PixHolder reduced(pixMedianCutQuantGeneral(source.get(), 1, 8, static_cast<l_int32>(maxColours), kSignificantBits,
                                               kNoSubsampling, 0));
    if (!reduced || pixGetDepth(reduced.get()) != 8) return false;
    PIXCMAP* colourMap = pixGetColormap(reduced.get());
    if (!colourMap) return false;

    out->colours.clear();
    for (l_int32 i = 0; i < pixcmapGetCount(colourMap); ++i) {
        l_int32 r, g, b;
        pixcmapGetColor(colourMap, i, &r, &g, &b);
        out->colours.push_back(static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 |
                               static_cast<std::uint32_t>(b) << 16);
    }
    out->indices.resize(static_cast<std::size_t>(width) * height);
    const l_uint32* reducedData = pixGetData(reduced.get());
    const l_int32 reducedWords = pixGetWpl(reduced.get());
    for (std::uint32_t y = 0; y < height; ++y) {
        const l_uint32* line = reducedData + static_cast<std::size_t>(y) * reducedWords;
        for (std::uint32_t x = 0; x < width; ++x)
            out->indices[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
    }
    return true;
}

}  // namespace velarium::exporter
