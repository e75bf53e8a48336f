#include "app/ErrorPresentation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "core/ANIMParser.h"
#include "export/ExportError.h"
#include "lha/ArchiveExtractor.h"
#include "lha/ui/PlainTextAlert.h"
#include "platform/foundation/EscapedText.h"
#include "platform/foundation/SystemError.h"
#include "platform/mediaextension/ExtensionManifest.h"
#include "platform/playback/PlaybackError.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium::app {
namespace {

std::function<void(const Error&)>& presenterOverride() {
    static std::function<void(const Error&)> presenter;
    return presenter;
}

QString tr(const char* text) { return QCoreApplication::translate("Velarium", text); }

std::string utf8(const QString& text) { return text.toStdString(); }

bool in(const Error& error, const char* domain) { return error.domain == domain; }

// The plain sentence for a failure of the format reader, the parser or the
// playback machinery.
QString plainReason(const Error& error, const QString& path) {
    if (in(error, kANIMFormatReaderErrorDomain)) {
        switch (error.code) {
            case kANIMFormatReaderErrorInvalidFileSize:
                return QFileInfo(path).size() == 0 ? tr("The file is empty.") : tr("The file is too large to open.");
            case kANIMFormatReaderErrorReadFailed: return tr("The file could not be read.");
            default: return tr("The file is not an IFF ANIM animation.");
        }
    }
    if (in(error, kANIMParserErrorDomain)) {
        if (error.code == kANIMParserErrorPictureTooLarge) return tr("The picture is too large to show.");
        return tr("The file is not an IFF ANIM animation.");
    }
    if (in(error, kExtensionLoaderErrorDomain) || (in(error, kPlaybackErrorDomain) &&
                                                    (error.code == kPlaybackErrorNoFormatReader ||
                                                     error.code == kPlaybackErrorNoVideoDecoder)))
        return tr("Velarium’s ANIM support could not be loaded. Installing Velarium again should mend it.");
    return tr("The animation could not be decoded.");
}

}  // namespace

QString shownFileName(const QString& path) {
    return QString::fromStdString(escapedText(QFileInfo(path).fileName().toStdString()));
}

Error noSuchFileError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadNoSuchFileError,
                 utf8(tr("The file “%1” couldn’t be opened because there is no such file.")
                          .arg(shownFileName(path))),
                 utf8(tr("Check the file name and whether it was moved or deleted.")));
}

Error noPermissionError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadNoPermissionError,
                 utf8(tr("The file “%1” couldn’t be opened because you don’t have permission to view it.")
                          .arg(shownFileName(path))),
                 utf8(tr("Check the file’s permissions, or ask its owner to let you read it.")));
}

Error cannotOpenTypeError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadUnknownError,
                 utf8(tr("The document “%1” could not be opened.").arg(shownFileName(path))),
                 utf8(QFileInfo(path).isDir() ? tr("This is a folder, not an animation.")
                                              : tr("The file is not an IFF ANIM animation.")));
}

Error endsEarlyError(const QString& path, quint64 frameCount) {
    return Error(kCocoaErrorDomain, kFileReadUnknownError,
                 utf8(tr("Part of “%1” is missing.").arg(shownFileName(path))),
                 utf8(tr("The file ends early: frames after %1 are missing.").arg(frameCount)));
}

Error errorForUser(const Error& error, const QString& path) {
    for (const char* spoken : {kCocoaErrorDomain, kPOSIXErrorDomain, exporter::kExportErrorDomain, kLHAErrorDomain})
        if (in(error, spoken)) return error;
    return Error(error.domain, error.code, utf8(plainReason(error, path)));
}

Error userCancelledError() {
    return Error(kCocoaErrorDomain, kUserCancelledError, utf8(tr("The operation was cancelled.")));
}

bool isUserCancelled(const Error& error) {
    return error.domain == kCocoaErrorDomain && error.code == kUserCancelledError;
}

namespace {

std::pair<QString, QString> alertTexts(const Error& error, const QString& context) {
    const QString description = QString::fromStdString(error.localizedDescription);
    QStringList details;
    if (!context.isEmpty() && !description.isEmpty()) details << description;
    if (!error.recoverySuggestion.empty()) details << QString::fromStdString(error.recoverySuggestion);
    return {context.isEmpty() ? description : context, details.join(QStringLiteral("\n\n"))};
}

}  // namespace

QString oneLineMessage(const Error& error, const QString& context) {
    const auto [text, details] = alertTexts(error, context);
    return (text + ' ' + details).simplified();
}

void presentError(const Error& error, QWidget* parent, const QString& context) {
    if (presenterOverride()) {
        presenterOverride()(error);
        return;
    }
    const auto [text, details] = alertTexts(error, context);
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                      parent ? parent->window() : nullptr);
    if (!details.isEmpty()) alert.setInformativeText(details);
    showTextsPlainly(alert);
    alert.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    alert.exec();
}

void setErrorPresenter(std::function<void(const Error&)> presenter) { presenterOverride() = std::move(presenter); }

}  // namespace velarium::app

