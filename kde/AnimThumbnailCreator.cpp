// The Dolphin thumbnail plugin. KIO's thumbnail worker loads it for files of
// type video/x-anim and asks it for a picture that fits a size; while the
// pointer rests on a file, Dolphin asks for the pictures of a sequence, one
// index after the other, and plays them.
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>
#include <cmath>
#include <cstring>
#include <exception>

#include "kde/ThumbnailSource.h"

namespace velarium::kde {
namespace {

Q_LOGGING_CATEGORY(lcThumbnail, "velarium.thumbnail", QtWarningMsg)

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "the decoder's BGRA bytes are QImage::Format_ARGB32 pixels on little-endian machines");

QImage toImage(const Picture& picture) {
    QImage image(static_cast<int>(picture.width), static_cast<int>(picture.height), QImage::Format_ARGB32);
    const std::size_t rowBytes = picture.width * 4;
    if (image.isNull() || picture.bgra.size() != rowBytes * picture.height) return {};
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), picture.bgra.data() + y * rowBytes, rowBytes);
    return image;
}

// The picture made to fit the size asked for, its proportions kept. Smaller
// pictures are left as they are: an enlarged copy would only be blurred (an
// anim brush of 16×16 pixels stays crisp) and take more room in the cache.
QImage fitted(const QImage& image, const QSize& size) {
    if (size.isEmpty() || (image.width() <= size.width() && image.height() <= size.height())) return image;
    return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// How many frames after the thumbnail's one a sequence index shows, within
// one loop; 0 for index 0, the thumbnail itself, and for indexes that are
// not numbers.
std::uint64_t framesAfterThumbnail(float sequenceIndex, std::uint64_t loopLength) {
    if (!std::isfinite(sequenceIndex) || sequenceIndex < 1.0f) return 0;
    return static_cast<std::uint64_t>(std::fmod(std::floor(double(sequenceIndex)), double(loopLength)));
}

}  // namespace

class AnimThumbnailCreator : public KIO::ThumbnailCreator {
    Q_OBJECT
public:
    AnimThumbnailCreator(QObject* parent, const QVariantList& args) : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override {
        // Nothing thrown may reach the worker: a file that cannot be read,
        // for whatever reason, just has no thumbnail.
        try {
            return createThumbnail(request);
        } catch (const std::exception& failure) {
            qCInfo(lcThumbnail) << request.url() << failure.what();
            return KIO::ThumbnailResult::fail();
        }
    }

private:
    KIO::ThumbnailResult createThumbnail(const KIO::ThumbnailRequest& request) {
        Error error;
        const auto failed = [&] {
            qCInfo(lcThumbnail) << request.url() << QString::fromStdString(error.localizedDescription);
            return KIO::ThumbnailResult::fail();
        };
        const auto source = ThumbnailSource::open(QFile::encodeName(request.url().toLocalFile()).toStdString(), &error);
        if (!source) return failed();
        // The sequence starts at the thumbnail's frame and plays one loop on
        // from there, so that it goes on from the picture Dolphin shows
        // for index 0 without a jump.
        std::uint64_t frame = 0;
        Picture picture;
        if (!source->thumbnail(&frame, picture, &error)) return failed();
        const std::uint64_t loopLength = source->loopLength();
        if (const std::uint64_t after = framesAfterThumbnail(request.sequenceIndex(), loopLength);
            after != 0 && !source->decodeFrame((frame + after) % loopLength, picture, &error))
            return failed();
        const QImage image = toImage(picture);
        if (image.isNull()) return KIO::ThumbnailResult::fail();
        auto result = KIO::ThumbnailResult::pass(fitted(image, request.targetSize()));
        result.setSequenceIndexWraparoundPoint(static_cast<float>(loopLength));
        return result;
    }
};

K_PLUGIN_CLASS_WITH_JSON(AnimThumbnailCreator, "velariumthumbnail.json")

}  // namespace velarium::kde

#include "AnimThumbnailCreator.moc"
