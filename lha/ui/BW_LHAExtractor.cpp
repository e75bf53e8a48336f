#include "lha/ui/BW_LHAExtractor.h"

#include <QApplication>
#include <QDir>
#include <QEventLoopLocker>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include <utility>
#include <vector>

#include "lha/ANIMSignature.h"
#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/FileManagerReveal.h"

namespace velarium {
namespace {

// The alerts list this many items of a list, then say how many more there are.
constexpr qsizetype kListedItems = 8;

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

// QFileDialog has no message line: the message goes above everything else
// in the (non-native) dialog's grid.
void addMessage(QFileDialog& dialog, const QString& message) {
    auto* label = new QLabel(message, &dialog);
    label->setObjectName(QStringLiteral("message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) {
        if (dialog.layout()) dialog.layout()->addWidget(label);
        return;
    }
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    for (int i = grid->count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        grid->getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(i);
        placed.push_back(p);
    }
    std::vector<int> stretches;
    for (int row = 0; row < grid->rowCount(); ++row) stretches.push_back(grid->rowStretch(row));
    for (int row = 0; row < grid->rowCount(); ++row) grid->setRowStretch(row, 0);
    for (std::size_t row = 0; row < stretches.size(); ++row) grid->setRowStretch(int(row) + 1, stretches[row]);
    grid->addWidget(label, 0, 0, 1, grid->columnCount());
    for (auto it = placed.rbegin(); it != placed.rend(); ++it)
        grid->addItem(it->item, it->row + 1, it->column, it->rowSpan, it->columnSpan);
}

// The save dialog for the destination. A name that is an existing folder
// chooses that folder (the entries then go into it) where Qt's dialog would
// move into it.
class DestinationDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    QString chosenPath() const { return chosen_.isEmpty() ? selectedFiles().value(0) : chosen_; }

    void accept() override {
        const QStringList files = selectedFiles();
        const auto* nameField = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (files.size() == 1 && nameField && !nameField->text().isEmpty() && QFileInfo(files.first()).isDir()) {
            chosen_ = files.first();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    QString chosen_;
};

// The Open dialog for the animations found: a name typed in that is neither
// a folder nor an ANIM file is not accepted either.
class AnimationsDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        for (const QString& path : selectedFiles())
            if (!BW_LHAExtractor::panelShouldEnableURL(QUrl::fromLocalFile(path))) return;
        QFileDialog::accept();
    }
};

// Shows every file of the Open dialog but lets only folders and ANIM files
// be chosen. Each file's signature is read once.
class AnimationsOnlyModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files || !index.isValid()) return flags;
        const QModelIndex source = mapToSource(index);
        if (files->isDir(source)) return flags;
        const QString path = files->filePath(source);
        auto known = enabled_.constFind(path);
        if (known == enabled_.cend())
            known = enabled_.insert(path, BW_LHAExtractor::panelShouldEnableURL(QUrl::fromLocalFile(path)));
        if (!known.value()) flags &= ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        return flags;
    }

private:
    mutable QHash<QString, bool> enabled_;
};

// Alerts are application-modal and show names as they are, never as markup.
void runAlert(QMessageBox& alert) {
    alert.setTextFormat(Qt::PlainText);
    if (auto* informative = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    alert.setWindowModality(Qt::ApplicationModal);
    alert.exec();
}

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
    auto* extractor = new BW_LHAExtractor;
    extractor->setArchiveURL(state.pending.takeFirst());
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

QString BW_LHAExtractor::listText(const QStringList& items) {
    QString text = items.mid(0, kListedItems).join(QLatin1Char('\n'));
    if (items.size() > kListedItems) text += QLatin1Char('\n') + tr("…and %1 more").arg(items.size() - kListedItems);
    return text;
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

bool BW_LHAExtractor::panelShouldEnableURL(const QUrl& url) {
    return QFileInfo(url.toLocalFile()).isDir() || isANIMFileAtURL(url);
}

BW_LHAExtractor::BW_LHAExtractor(QObject* parent) : QObject(parent) {}

BW_LHAExtractor::~BW_LHAExtractor() {
    if (engine_) engine_->cancel();
    if (worker_.joinable()) worker_.join();
    if (queue().current == this) queue().current = nullptr;
}

QString BW_LHAExtractor::archiveName() const { return lastPathComponent(archiveURL_); }

void BW_LHAExtractor::begin() {
    const QString name = archiveName();
    QString base = QFileInfo(name).completeBaseName();
    if (base.isEmpty()) base = name;

    DestinationDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // A file of that name is for prepareDestination to refuse, not to replace.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setWindowTitle(tr("Extract “%1”").arg(name));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::Accept, tr("Extract"));
    dialog.setLabelText(QFileDialog::FileName, tr("Folder Name:"));
    dialog.setDirectory(QFileInfo(archiveURL_.toLocalFile()).absolutePath());
    dialog.selectFile(base);
    addMessage(dialog, tr("Choose where to create a folder for the contents of “%1”.").arg(name));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenPath().isEmpty()) {
        finish();
        return;
    }
    destinationURL_ = QUrl::fromLocalFile(dialog.chosenPath());
    Error error;
    if (!prepareDestination(&error)) {
        presentError(error);
        finish();
        return;
    }
    startExtraction();
}

bool BW_LHAExtractor::prepareDestination(Error* error) {
    return velarium::prepareDestination(fileSystemPath(destinationURL_), error);
}

void BW_LHAExtractor::startExtraction() {
    failedPaths_.clear();
    skippedLinks_.clear();
    animURLs_.clear();
    stoppedEarly_ = false;
    lastEntryPath_.clear();

    progressSheet_ = std::make_unique<BW_ProgressSheet>();
    progressSheet_->setDelegate(this);
    const QVariantMap settings{
        {QString::fromLatin1(kProgSheetTitleKey), tr("Extracting “%1”").arg(archiveName())},
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
        const QString relativePath = QFile::decodeName(QByteArray::fromStdString(path));
        const QString details = fileFormat.arg(relativePath, QString::number(index), QString::number(count));
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
    if (engine_) {
        const ExtractionReport& report = engine_->report();
        const QDir destination(destinationURL_.toLocalFile());
        for (const std::string& path : report.failedPaths) failedPaths_ << QFile::decodeName(QByteArray::fromStdString(path));
        for (const std::string& path : report.skippedLinks) skippedLinks_ << QFile::decodeName(QByteArray::fromStdString(path));
        for (const std::string& path : report.animPaths)
            animURLs_ << QUrl::fromLocalFile(destination.filePath(QFile::decodeName(QByteArray::fromStdString(path))));
        stoppedEarly_ = report.stoppedEarly;
        lastEntryPath_ = QFile::decodeName(QByteArray::fromStdString(report.lastEntryPath));
    }

    if (!success) {
        presentError(error);
    } else if (!cancelled_) {
        if (!failedPaths_.isEmpty() || !skippedLinks_.isEmpty() || stoppedEarly_) presentProblems();
        if (!animURLs_.isEmpty()) chooseAnimations();
        else presentNoAnimations();
    }
    finish();
}

// The engine's own errors are shown in the user's language; the file
// system's come as they are.
Error BW_LHAExtractor::translatedError(const Error& error) const {
    if (error.domain != kLHAErrorDomain) return error;
    switch (error.code) {
        case kLHAErrorDestinationIsAFile:
            return Error(error.domain, error.code, tr("The folder could not be created.").toStdString(),
                         tr("A file named “%1” already exists there. Choose a different name for the folder.")
                             .arg(lastPathComponent(destinationURL_))
                             .toStdString());
        case kLHAErrorArchiveUnreadable:
            return Error(error.domain, error.code, tr("The archive could not be read.").toStdString(),
                         tr("“%1” is not an LHA archive, or it is damaged.").arg(archiveName()).toStdString());
        default:
            return error;
    }
}

void BW_LHAExtractor::presentError(const Error& error) {
    const Error shown = translatedError(error);
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(),
                      QString::fromStdString(shown.localizedDescription), QMessageBox::Ok);
    alert.setInformativeText(QString::fromStdString(shown.recoverySuggestion));
    runAlert(alert);
}

void BW_LHAExtractor::presentProblems() {
    QStringList sections;
    if (!failedPaths_.isEmpty())
        sections << tr("These items could not be extracted, or failed their checksum:\n%1").arg(listText(failedPaths_));
    if (!skippedLinks_.isEmpty())
        sections << tr("These symbolic links were not extracted:\n%1").arg(listText(skippedLinks_));
    if (stoppedEarly_) {
        sections << (lastEntryPath_.isEmpty()
                         ? tr("The archive is damaged: entries after the last one read are missing.")
                         : tr("The archive is damaged: entries after “%1” are missing.").arg(lastEntryPath_));
    }

    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(),
                      tr("Some of “%1” was not extracted.").arg(archiveName()), QMessageBox::Ok);
    alert.setInformativeText(sections.join(QStringLiteral("\n\n")));
    runAlert(alert);
}

void BW_LHAExtractor::presentNoAnimations() {
    QMessageBox alert(QMessageBox::Information, QCoreApplication::applicationName(),
                      tr("“%1” contains no ANIM files.").arg(archiveName()));
    alert.setInformativeText(tr("Its contents were extracted to “%1”.").arg(lastPathComponent(destinationURL_)));
    QPushButton* show = alert.addButton(tr("Show in Finder"), QMessageBox::AcceptRole);
    QPushButton* ok = alert.addButton(tr("OK"), QMessageBox::RejectRole);
    alert.setDefaultButton(show);
    alert.setEscapeButton(ok);
    runAlert(alert);
    if (alert.clickedButton() != show) return;
    const URLHandler& revealer = queue().revealer;
    if (revealer) revealer(destinationURL_);
    else revealInFileManager(destinationURL_);
}

void BW_LHAExtractor::chooseAnimations() {
    AnimationsDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(tr("Open ANIM Files"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setLabelText(QFileDialog::Accept, tr("Open"));
    dialog.setProxyModel(new AnimationsOnlyModel(&dialog));
    dialog.setDirectory(folderContainingAnimations().toLocalFile());
    addMessage(dialog, tr("“%1” has been extracted. Choose the animations to open.").arg(archiveName()));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return;
    const URLHandler opener = queue().opener;
    if (!opener) return;
    for (const QUrl& url : dialog.selectedUrls()) opener(url);
}

QUrl BW_LHAExtractor::folderContainingAnimations() const {
    return folderContainingAnimations(animURLs_, destinationURL_);
}

void BW_LHAExtractor::finish() {
    if (queue().current == this) queue().current = nullptr;
    deleteLater();
    QMetaObject::invokeMethod(qApp, &BW_LHAExtractor::startNextArchive, Qt::QueuedConnection);
}

}  // namespace velarium
