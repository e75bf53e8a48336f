#include "app/ColourCycler.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/ANIMParser.h"

namespace velarium::app {
namespace {

constexpr qint64 kNanosecondsPerSecond = 1'000'000'000;

MediaTime mediaTimeOfNanoseconds(qint64 nanoseconds) {
    // Held in microseconds: a timescale fits 32 bits, and no range steps
    // faster than a microsecond would tell apart.
    constexpr std::int32_t kMicroseconds = 1'000'000;
    return MediaTime::make(nanoseconds / 1000, kMicroseconds);
}

}  // namespace

ColourCycler::ColourCycler(std::unique_ptr<ANIMParser> parser) : parser_(std::move(parser)) {}

ColourCycler::~ColourCycler() = default;

std::unique_ptr<ColourCycler> ColourCycler::fromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray bytes = file.readAll();
    auto parser = std::make_unique<ANIMParser>(makeSharedBytes(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    if (!parser->parseWithError(nullptr)) return nullptr;
    return std::unique_ptr<ColourCycler>(new ColourCycler(std::move(parser)));
}

bool ColourCycler::cycles() const { return parser_->cyclesColours(); }

QImage ColourCycler::frame(std::uint64_t index, qint64 elapsedNs) {
    // Two pictures taken in turn: the window holds the one shown while the
    // next is drawn into the other, so that a step at 60 a second does not
    // allocate (and fault in) a whole picture each time.
    QImage& image = pictures_[nextPicture_];
    nextPicture_ ^= 1;
    if (image.isNull() || !image.isDetached())
        // Bytes blue, green, red, alpha: QImage's ARGB32, as the player's frames.
        image = QImage(static_cast<int>(parser_->width()), static_cast<int>(parser_->height()), QImage::Format_ARGB32);
    if (image.isNull() ||
        !parser_->decodeFrameAtIndex(index, mediaTimeOfNanoseconds(elapsedNs), image.bits(),
                                     static_cast<std::uint64_t>(image.sizeInBytes()), nullptr))
        return {};
    return image;
}

qint64 ColourCycler::nextStepAfter(qint64 elapsedNs) const {
    qint64 next = std::numeric_limits<qint64>::max();
    for (const ColourRange& range : parser_->colourRanges()) {
        if (!range.cycles()) continue;
        // Step k falls at k × denominator / numerator seconds; the time is
        // rounded up so that the range has taken step k by then.
        const std::uint64_t step = range.stepsAt(mediaTimeOfNanoseconds(elapsedNs)) + 1;
        const long double seconds =
            static_cast<long double>(step) * range.stepsDenominator / range.stepsNumerator;
        const auto at = static_cast<qint64>(std::ceil(seconds * kNanosecondsPerSecond / 1000)) * 1000;
        next = std::min(next, std::max(at, elapsedNs + 1000));
    }
    return next;
}

}  // namespace velarium::app
