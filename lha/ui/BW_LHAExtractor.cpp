#include "lha/ui/BW_LHAExtractor.h"

#include <QApplication>
#include <QDir>
#include <QEventLoopLocker>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <utility>

#include "lha/ANIMSignature.h"
#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/ExtractionDialogs.h"
#include "lha/ui/FileManagerReveal.h"

namespace velarium {
namespace {

// Holds the application open (a quit lock) while archives wait or are worked
// on, so that closing a dialog with no document window open does not end
// the application half-way; letting go of it ends an application that has
// nothing left to show.
class ApplicationKeeper : public QObject {
public:
    using QObject::QObject;

private:
    QEventLoopLocker lock_;
};

// Class-level state; main thread only.
struct Queue {
    QList<QUrl> pending;
    BW_LHAExtractor* current = nullptr;
    QPointer<ApplicationKeeper> keeper;
    BW_LHAExtractor::URLHandler opener;
    BW_LHAExtractor::URLHandler revealer;
    std::function<void(ArchiveExtractor&)> engineSetup;
    bool watchingQuit = false;
};

Queue& queue() {
    static Queue state;
    return state;
}

// The application is ending: nothing more is started, and a running
// extraction stops after its current entry.
void abandonQueue() {
    Queue& state = queue();
    state.pending.clear();
    delete std::exchange(state.current, nullptr);
    delete state.keeper.data();
}

std::filesystem::path fileSystemPath(const QUrl& url) {
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

QString lastPathComponent(const QUrl& url) { return QFileInfo(QDir::cleanPath(url.toLocalFile())).fileName(); }

// A relative path of the engine's (UTF-8) as the user reads it.
QString shownPath(const std::string& path) { return ExtractionDialogs::shown(QString::fromStdString(path)); }

}  // namespace

bool BW_LHAExtractor::isANIMFileAtURL(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    return hasANIMSignature(fileSystemPath(url));
}

void BW_LHAExtractor::extractArchiveAtURL(const QUrl& archiveURL) {
    Queue& state = queue();
    if (!state.watchingQuit) {
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, &abandonQueue);
        state.watchingQuit = true;
    }
    if (!state.keeper) state.keeper = new ApplicationKeeper(qApp);
    state.pending.append(archiveURL);
    QMetaObject::invokeMethod(qApp, &BW_LHAExtractor::startNextArchive, Qt::QueuedConnection);
}

void BW_LHAExtractor::startNextArchive() {
    Queue& state = queue();
    if (state.current) return;
    if (state.pending.isEmpty()) {
        delete state.keeper.data();
        return;
    }
    auto* extractor = new BW_LHAExtractor(state.pending.takeFirst());
    state.current = extractor;
    extractor->begin();
}

BW_LHAExtractor* BW_LHAExtractor::currentExtractor() { return queue().current; }

bool BW_LHAExtractor::isBusy() { return queue().current || !queue().pending.isEmpty(); }

void BW_LHAExtractor::setAnimationOpener(URLHandler opener) { queue().opener = std::move(opener); }

void BW_LHAExtractor::setRevealer(URLHandler revealer) { queue().revealer = std::move(revealer); }

void BW_LHAExtractor::setEngineSetupForTesting(std::function<void(ArchiveExtractor&)> setup) {
    queue().engineSetup = std::move(setup);
}

QUrl BW_LHAExtractor::folderContainingAnimations(const QList<QUrl>& animURLs, const QUrl& destinationURL) {
    if (animURLs.isEmpty()) return destinationURL;
    QStringList shared;
    for (qsizetype i = 0; i < animURLs.size(); ++i) {
        const QStringList components =
            QDir::cleanPath(QFileInfo(animURLs[i].toLocalFile()).path()).split(QLatin1Char('/'));
        if (i == 0) {
            shared = components;
            continue;
        }
        qsizetype common = 0;
        while (common < shared.size() && common < components.size() && shared[common] == components[common]) ++common;
        shared.resize(common);
    }
    const QString folder = shared.join(QLatin1Char('/'));
    const QString destination = QDir::cleanPath(destinationURL.toLocalFile());
    // Whole components only: "/x/out" does not hold "/x/outer".
    if (folder == destination || folder.startsWith(destination + QLatin1Char('/'))) return QUrl::fromLocalFile(folder);
    return destinationURL;
}

BW_LHAExtractor::BW_LHAExtractor(QUrl archiveURL) : archiveURL_(std::move(archiveURL)) {}

BW_LHAExtractor::~BW_LHAExtractor() {
    if (engine_) engine_->cancel();
    if (worker_.joinable()) worker_.join();
    if (queue().current == this) queue().current = nullptr;
}

QString BW_LHAExtractor::archiveName() const { return lastPathComponent(archiveURL_); }

void BW_LHAExtractor::begin() {
    const QString chosen = ExtractionDialogs::chooseDestination(archiveURL_.toLocalFile());
    if (chosen.isEmpty()) {
        finish();
        return;
    }
    destinationURL_ = QUrl::fromLocalFile(chosen);
    Error error;
    if (!prepareDestination(fileSystemPath(destinationURL_), &error)) {
        ExtractionDialogs::showError(error, ExtractionDialogs::Step::PreparingDestination, archiveName(),
                                     destinationPath());
        finish();
        return;
    }
    startExtraction();
}

void BW_LHAExtractor::startExtraction() {
    progressSheet_ = std::make_unique<BW_ProgressSheet>();
    progressSheet_->setDelegate(this);
    const QVariantMap settings{
        {QString::fromLatin1(kProgSheetTitleKey), tr("Extracting “%1”").arg(ExtractionDialogs::shown(archiveName()))},
        {QString::fromLatin1(kProgSheetDetailsKey), tr("Reading archive…")},
        {QString::fromLatin1(kProgSheetIndeterminateKey), false},
        {QString::fromLatin1(kProgSheetMinValueKey), 0.0},
        {QString::fromLatin1(kProgSheetMaxValueKey), 1.0},
        {QString::fromLatin1(kProgSheetStartValueKey), 0.0},
        {QString::fromLatin1(kProgSheetCancellableKey), true},
    };
    progressSheet_->progSheetEntryWithDict(settings, nullptr);

    engine_ = std::make_unique<ArchiveExtractor>(fileSystemPath(archiveURL_), fileSystemPath(destinationURL_));
    if (queue().engineSetup) queue().engineSetup(*engine_);
    // The worker is given everything it needs from the main thread up front.
    worker_ = std::thread(&BW_LHAExtractor::runExtraction, this, progressSheet_.get(), tr("%1 (%2 of %3)"));
}

// The worker thread. Everything it tells the main thread is posted; the
// sheet outlives the worker (it goes in extractionFinished, which is posted
// last), and calls posted to an object that has gone are dropped.
void BW_LHAExtractor::runExtraction(BW_ProgressSheet* sheet, const QString& fileFormat) {
    ExtractionObserver observer;
    observer.currentFile = [sheet, &fileFormat](const std::string& path, std::uint64_t index, std::uint64_t count) {
        const QString details = fileFormat.arg(shownPath(path), QString::number(index), QString::number(count));
        QMetaObject::invokeMethod(sheet, [sheet, details] { sheet->setDetailsValue(details); }, Qt::QueuedConnection);
    };
    observer.progress = [sheet](double value) {
        QMetaObject::invokeMethod(sheet, [sheet, value] { sheet->setProgressValue(value); }, Qt::QueuedConnection);
    };
    Error error;
    const bool success = engine_->extractArchive(observer, &error);
    QMetaObject::invokeMethod(this, [this, success, error] { extractionFinished(success, error); }, Qt::QueuedConnection);
}

void BW_LHAExtractor::progressCancelled() {
    cancelled_ = true;
    if (engine_) engine_->cancel();
}

void BW_LHAExtractor::extractionFinished(bool success, const Error& error) {
    if (worker_.joinable()) worker_.join();
    if (progressSheet_) {
        progressSheet_->setProgressValue(1.0);
        progressSheet_->progSheetExit();
        progressSheet_.reset();
    }
    if (!success) {
        ExtractionDialogs::showError(error, ExtractionDialogs::Step::Extracting, archiveName(), destinationPath());
    } else if (!cancelled_) {
        const ExtractionReport& report = engine_->report();
        ExtractionDialogs::showProblems(archiveName(), report);
        if (!report.animPaths.empty()) {
            chooseAnimations();
        } else if (ExtractionDialogs::showNoAnimations(archiveName(), destinationPath())) {
            const URLHandler& revealer = queue().revealer;
            if (revealer) revealer(destinationURL_);
            else revealInFileManager(destinationURL_);
        }
    }
    finish();
}

void BW_LHAExtractor::chooseAnimations() {
    const QDir destination(destinationPath());
    QList<QUrl> animURLs;
    for (const std::string& path : engine_->report().animPaths)
        animURLs << QUrl::fromLocalFile(destination.filePath(QString::fromStdString(path)));
    const QList<QUrl> chosen = ExtractionDialogs::chooseAnimations(
        archiveName(), folderContainingAnimations(animURLs, destinationURL_).toLocalFile());
    const URLHandler opener = queue().opener;
    if (!opener) return;
    for (const QUrl& url : chosen) opener(url);
}

void BW_LHAExtractor::finish() {
    if (queue().current == this) queue().current = nullptr;
    deleteLater();
    QMetaObject::invokeMethod(qApp, &BW_LHAExtractor::startNextArchive, Qt::QueuedConnection);
}

}  // namespace velarium
