#include "app/ExportWorkflow.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

#include "app/Document.h"
#include "app/ErrorPresentation.h"
#include "app/ExportDialog.h"
#include "app/FrameExport.h"
#include "app/MenuActions.h"
#include "export/ExportError.h"
#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/FileManagerReveal.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

bool isCancellation(const Error& error) {
    return error.domain == exporter::kExportErrorDomain && error.code == exporter::kExportErrorCancelled;
}

}  // namespace

ExportWorkflow::ExportWorkflow(Document* document, QWidget* window)
    : QObject(window), document_(document), window_(window) {}

ExportWorkflow::~ExportWorkflow() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

std::uint64_t ExportWorkflow::frameCount() const {
    const auto& item = document_->playerItem();
    return item && item->status() == PlayerItemStatus::readyToPlay ? item->sampleTimes().size() : 0;
}

QString ExportWorkflow::baseName() const { return QFileInfo(document_->fileURL().toLocalFile()).completeBaseName(); }

QString ExportWorkflow::sourceFolder() const { return QFileInfo(document_->fileURL().toLocalFile()).absolutePath(); }

// The file the player reads: a playback copy when the file's own name does
// not say it is an animation.
std::string ExportWorkflow::sourcePath() const {
    return QFile::encodeName(document_->playbackURL().toLocalFile()).toStdString();
}

void ExportWorkflow::exportAnimation() {
    const std::uint64_t frames = frameCount();
    if (isBusy() || frames == 0) return;
    QAction* aspect = window_->findChild<QAction*>(QString::fromLatin1(kCorrectPixelAspectAction));
    QAction* cycle = window_->findChild<QAction*>(QString::fromLatin1(kCycleColoursAction));
    const std::optional<bool> cycling =
        document_->cyclesColours() ? std::optional<bool>(cycle && cycle->isChecked()) : std::nullopt;
    ExportDialog dialog(frames, aspect && aspect->isChecked(), cycling, window_);
    if (dialog.exec() != QDialog::Accepted) return;
    exporter::ExportOptions options = dialog.options();
    // The extensions do not carry the pixel aspect; the document reads it from the file's header.
    const auto [xAspect, yAspect] = document_->pixelAspect();
    options.xAspect = static_cast<unsigned>(std::max(xAspect, 0));
    options.yAspect = static_cast<unsigned>(std::max(yAspect, 0));

    const QString extension = QString::fromLatin1(exporter::fileExtension(options.format));
    QFileDialog save(window_, tr("Export Animation"));
    save.setAcceptMode(QFileDialog::AcceptSave);
    save.setNameFilter(tr("%1 files (*.%2)").arg(dialog.formatBox()->currentText(), extension));
    save.setDefaultSuffix(extension);
    save.setDirectory(sourceFolder());
    save.selectFile(baseName() + '.' + extension);
    if (save.exec() != QDialog::Accepted || save.selectedFiles().isEmpty()) return;
    const QString path = save.selectedFiles().first();
    // The dialog has asked before choosing a file that is there.
    options.replace = QFileInfo::exists(path);

    Job job = [source = sourcePath(), output = QFile::encodeName(path).toStdString(), options](
                  const exporter::ExportObserver& observer, QString* summary, Error* error) {
        exporter::ExportReport report;
        if (!exporter::exportAnimation(source, output, options, observer, &report, error)) return false;
        *summary = tr("%n frames of %1 × %2 pixels.", nullptr, static_cast<int>(report.frames))
                       .arg(report.width)
                       .arg(report.height);
        return true;
    };
    start(tr("Exporting “%1”").arg(shownFileName(path)), std::move(job),
          {tr("“%1” was exported.").arg(shownFileName(path)), path, path});
}

void ExportWorkflow::exportFrames() {
    const std::uint64_t frames = frameCount();
    if (isBusy() || frames == 0) return;
    const QString folder = QFileDialog::getExistingDirectory(window_, tr("Export Frames"), sourceFolder());
    if (folder.isEmpty()) return;
    const QString base = baseName();
    QStringList existing;
    for (const QString& name : frameFileNames(base, frames))
        if (QFileInfo::exists(QDir(folder).filePath(name))) existing << name;
    if (!existing.isEmpty() &&
        !ExportAlerts::confirmReplacingFrames(existing.first(), static_cast<int>(existing.size()), folder, window_))
        return;

    Job job = [source = sourcePath(), folder, base](const exporter::ExportObserver& observer, QString* summary,
                                                    Error* error) {
        std::uint64_t written = 0;
        if (!exportFramesAsPNG(source, folder, base, observer, &written, error)) return false;
        *summary = tr("%n PNG files, from “%1”.", nullptr, static_cast<int>(written))
                       .arg(shownFileName(frameFileNames(base, written).value(0)));
        return true;
    };
    start(tr("Exporting the frames of “%1”").arg(shownFileName(document_->displayName())), std::move(job),
          {tr("The frames of “%1” were exported to “%2”.")
               .arg(shownFileName(document_->displayName()), shownFileName(folder)),
           folder, document_->displayName()});
}

void ExportWorkflow::start(const QString& title, Job job, Outcome outcome) {
    outcome_ = std::move(outcome);
    cancelled_ = false;
    sheet_ = std::make_unique<BW_ProgressSheet>();
    sheet_->setDelegate(this);
    const QVariantMap settings{
        {QString::fromLatin1(kProgSheetTitleKey), title},
        {QString::fromLatin1(kProgSheetDetailsKey), tr("Reading frames…")},
        {QString::fromLatin1(kProgSheetIndeterminateKey), false},
        {QString::fromLatin1(kProgSheetMinValueKey), 0.0},
        {QString::fromLatin1(kProgSheetMaxValueKey), 1.0},
        {QString::fromLatin1(kProgSheetStartValueKey), 0.0},
        {QString::fromLatin1(kProgSheetCancellableKey), true},
    };
    sheet_->progSheetEntryWithDict(settings, window_);

    // Everything the worker tells the main thread is posted. The sheet
    // outlives the worker: finished joins it before letting the sheet go.
    worker_ = std::thread([this, sheet = sheet_.get(), job = std::move(job)] {
        exporter::ExportObserver observer;
        observer.cancelled = &cancelled_;
        observer.progress = [sheet](double fraction) {
            QMetaObject::invokeMethod(sheet, [sheet, fraction] { sheet->setProgressValue(fraction); },
                                      Qt::QueuedConnection);
        };
        Error error;
        QString summary;
        const bool success = job(observer, &summary, &error);
        QMetaObject::invokeMethod(
            this, [this, success, error, summary] { finished(success, error, summary); }, Qt::QueuedConnection);
    });
}

void ExportWorkflow::progressCancelled() { cancelled_ = true; }

void ExportWorkflow::finished(bool success, const Error& error, const QString& summary) {
    if (worker_.joinable()) worker_.join();
    if (sheet_) {
        sheet_->progSheetExit();
        sheet_.reset();
    }
    if (success) {
        if (ExportAlerts::showExported(outcome_.text, summary, window_))
            revealInFileManager(QUrl::fromLocalFile(outcome_.revealed));
    } else if (!isCancellation(error)) {
        ExportAlerts::showFailed(outcome_.name, error, window_);
    }
}

}  // namespace velarium::app
