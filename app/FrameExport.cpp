#include "app/FrameExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include "export/ExportError.h"
#include "export/MovieSource.h"

namespace velarium::app {
namespace {

QString tr(const char* text) { return QCoreApplication::translate("velarium::app::FrameExport", text); }

// The frame as a PNG at `path`, complete or not at all.
bool writePNG(const QImage& image, const QString& path, Error* error) {
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    if (file.open(QIODevice::WriteOnly) && writer.write(image) && file.commit()) return true;
    const QString reason = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
    return fail(error, exporter::exportError(exporter::kExportErrorCannotWrite,
                                             tr("“%1” could not be written: %2")
                                                 .arg(QFileInfo(path).fileName(), reason)
                                                 .toStdString()));
}

}  // namespace

QStringList frameFileNames(const QString& baseName, std::uint64_t count) {
    const int digits = static_cast<int>(QString::number(count).size());
    QStringList names;
    for (std::uint64_t number = 1; number <= count; ++number)
        names << QStringLiteral("%1_%2.png").arg(baseName).arg(number, digits, 10, QLatin1Char('0'));
    return names;
}

bool exportFramesAsPNG(const std::string& source, const QString& folder, const QString& baseName,
                       const exporter::ExportObserver& observer, std::uint64_t* written, Error* error) {
    if (written) *written = 0;
    const auto movie = exporter::MovieSource::open(source, error);
    if (!movie) return false;
    const QStringList names = frameFileNames(baseName, movie->sampleTimes().size());
    const QDir destination(folder);
    QStringList made;
    const auto failAndClean = [&](const Error& reason) {
        for (const QString& path : made) QFile::remove(path);
        if (written) *written = 0;
        return fail(error, reason);
    };
    std::vector<std::uint8_t> bgra;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (observer.cancelled && *observer.cancelled)
            return failAndClean(exporter::exportError(exporter::kExportErrorCancelled,
                                                      tr("The export was cancelled.").toStdString()));
        Error reason;
        if (!movie->decodeFrame(static_cast<std::uint64_t>(i), bgra, &reason)) return failAndClean(reason);
        // Packed BGRA rows are QImage's ARGB32 on this little-endian byte order, unpremultiplied.
        const QImage image(bgra.data(), static_cast<int>(movie->width()), static_cast<int>(movie->height()),
                           static_cast<qsizetype>(movie->width() * 4), QImage::Format_ARGB32);
        const QString path = destination.filePath(names[i]);
        const bool existed = QFile::exists(path);
        if (!writePNG(image, path, &reason)) return failAndClean(reason);
        if (!existed) made << path;
        if (written) ++*written;
        if (observer.progress) observer.progress(double(i + 1) / double(names.size()));
    }
    return true;
}

}  // namespace velarium::app
