#include "app/Document.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

#include "app/ANIMInfo.h"
#include "app/ColourCycler.h"
#include "app/BW_DocumentController.h"
#include "app/DocumentTypes.h"
#include "app/DocumentWindow.h"
#include "app/ErrorPresentation.h"
#include "app/FrameSink.h"
#include "app/InfoPanel.h"
#include "app/MainThreadRelay.h"
#include "app/MenuActions.h"
#include "platform/foundation/SystemLog.h"
#include "platform/mediaextension/MetadataItem.h"
#include "platform/playback/Asset.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {

namespace {

std::filesystem::path filesystemPath(const QUrl& url) {
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

Error readError(const QString& path, const QFile& file) {
    const long code = file.error() == QFileDevice::PermissionsError ? kFileReadNoPermissionError
                      : QFileInfo::exists(path)                     ? kFileReadUnknownError
                                                                    : kFileReadNoSuchFileError;
    if (code == kFileReadNoSuchFileError) return noSuchFileError(path);
    if (code == kFileReadNoPermissionError) return noPermissionError(path);
    const QString text = QObject::tr("The file “%1” couldn’t be read.").arg(shownFileName(path));
    return Error(kCocoaErrorDomain, code, text.toStdString(), file.errorString().toStdString());
}

// The number of frames read from a file that ends early, as its format
// reader says; none for a whole file.
std::optional<quint64> framesBeforeEarlyEnd(const PlayerItem& item) {
    for (const MetadataItemRef& metadata : item.asset()->metadata())
        if (metadata->identifier() == kMetadataIdentifierFileEndsEarly) return item.sampleTimes().size();
    return std::nullopt;
}

}  // namespace

Document::Document(QObject* parent) : QObject(parent) {}

Document::~Document() {
    stopObservingPlayerItem();
    removePlaybackCopy();
    if (infoPanel_) delete infoPanel_.data();
}

QString Document::displayName() const { return fileURL_.fileName(); }

InfoPanel* Document::infoPanel() const { return infoPanel_; }

DocumentWindow* Document::window() const { return window_; }

bool Document::readFromURL(const QUrl& url, const QString& typeName, Error*) {
    fileURL_ = url;
    fileType_ = typeName;
    animInfo_.reset();
    colourCycler_.reset();
    colourCyclerRead_ = false;
    removePlaybackCopy();

    playbackURL_ = url;
    if (!conformsToIdentifier(mimeTypeForFileName(url.fileName()), kANIMTypeIdentifier)) {
        const QUrl copy = makePlaybackCopyOfURL(url);
        if (!copy.isEmpty()) playbackURL_ = copy;
    }

    // The document knows its type, so the reader that serves ANIM files is
    // asked for whatever the file is called.
    AssetOptions options;
    options.typeIdentifier = kANIMTypeIdentifier;
    auto asset = Asset::assetWithPath(filesystemPath(playbackURL_), options);

    stopObservingPlayerItem();
    player_.reset();  // the old player stops before its replacement starts
    playerItem_ = PlayerItem::playerItemWithAsset(asset);
    itemErrorPresented_ = false;
    // Status changes may happen on any thread; the document hears of them on its own.
    statusRelay_ = MainThreadRelay::create(this, [this] { playerItemStatusChanged(); });
    observerToken_ = playerItem_->addStatusObserver([relay = statusRelay_](PlayerItemStatus) { relay->post(); });

    frameSink_ = std::make_shared<FrameSink>();
    player_ = std::make_shared<Player>(playerItem_, frameSink_);
    // Observation started before the player readied the item, so a file
    // that fails at once is reported too.
    emit playerChanged();
    return true;
}

QUrl Document::makePlaybackCopyOfURL(const QUrl& url) {
    const QString folder = QDir::tempPath() + '/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString copy = folder + '/' + url.fileName() + QStringLiteral(".anim");
    if (!QDir().mkpath(folder) || !QFile::copy(url.toLocalFile(), copy)) {
        QDir(folder).removeRecursively();
        return {};
    }
    playbackCopyFolder_ = folder;
    return QUrl::fromLocalFile(copy);
}

void Document::removePlaybackCopy() {
    if (playbackCopyFolder_.isEmpty()) return;
    QDir(playbackCopyFolder_).removeRecursively();
    playbackCopyFolder_.clear();
}

void Document::stopObservingPlayerItem() {
    if (!playerItem_) return;
    playerItem_->removeStatusObserver(observerToken_);
    statusRelay_->detach();
    statusRelay_.reset();
    playerItem_.reset();
}

void Document::playerItemStatusChanged() {
    if (!playerItem_) return;
    switch (playerItem_->status()) {
        case PlayerItemStatus::readyToPlay: {
            emit playerItemReady();
            // A cut-off file plays the frames it has, and says once what is missing.
            const std::optional<quint64> frames = framesBeforeEarlyEnd(*playerItem_);
            if (!frames || itemErrorPresented_) return;
            itemErrorPresented_ = true;
            presentError(endsEarlyError(fileURL_.toLocalFile(), *frames));
            break;
        }
        case PlayerItemStatus::failed: {
            if (itemErrorPresented_) return;
            itemErrorPresented_ = true;
            const std::optional<Error> error = playerItem_->error();
            emit playerItemFailed();
            if (!error) return;
            systemLog("Velarium: %s could not be played: %s (%s %ld)", qPrintable(fileURL_.toLocalFile()),
                      error->localizedDescription.c_str(), error->domain.c_str(), error->code);
            presentError(errorForUser(*error, fileURL_.toLocalFile()), playbackFailureContext());
            break;
        }
        case PlayerItemStatus::unknown:
            break;
    }
}

void Document::makeWindowControllers(const ViewOptions& options) {
    if (window_) return;
    window_ = new DocumentWindow(this, options);
}

void Document::showWindows() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void Document::close() {
    if (closed_) return;
    closed_ = true;
    if (infoPanel_) {
        infoPanel_->close();
        delete infoPanel_.data();
    }
    if (player_) player_->pause();
    stopObservingPlayerItem();
    removePlaybackCopy();
    if (window_) window_->documentClosing();
    player_.reset();  // joins the playback thread
    frameSink_.reset();
    if (window_) window_->close();
    if (auto* controller = qobject_cast<BW_DocumentController*>(parent())) controller->removeDocument(this);
    deleteLater();
}

void Document::revertDocumentToSaved() {
    Error ignored;
    readFromURL(fileURL_, fileType_, &ignored);
}

void Document::replaceFileURL(const QUrl& url, const QString& typeName) {
    const bool infoShown = isDocumentInfoShown();
    if (infoPanel_) delete infoPanel_.data();  // it names the old file and shows its rows
    Error ignored;
    readFromURL(url, typeName, &ignored);
    if (auto* controller = qobject_cast<BW_DocumentController*>(parent())) controller->noteNewRecentDocumentURL(url);
    emit fileURLChanged();
    if (infoShown) showDocumentInfo();
}

bool Document::validateUserInterfaceItem(const QAction* item) const {
    // Cycle Colours only for a picture whose colours cycle.
    if (item->objectName() == QLatin1String(kCycleColoursAction)) return cyclesColours();
    return true;
}

ColourCycler* Document::colourCycler() {
    if (!colourCyclerRead_) {
        colourCyclerRead_ = true;
        colourCycler_ = ColourCycler::fromFile(fileURL_.toLocalFile());
    }
    return colourCycler_.get();
}

bool Document::cyclesColours() const { return colourCycler_ && colourCycler_->cycles(); }

QString Document::playbackFailureContext() const {
    return tr("“%1” could not be played.").arg(shownFileName(fileURL_.toLocalFile()));
}

QString Document::playbackFailureMessage() const {
    const std::optional<Error> error = playerItem_ ? playerItem_->error() : std::nullopt;
    if (!error) return {};
    return oneLineMessage(errorForUser(*error, fileURL_.toLocalFile()), playbackFailureContext());
}

void Document::presentError(const Error& error, const QString& context) {
    app::presentError(error, window_, context);
}

bool Document::prepareANIMInfo() {
    if (animInfo_) return true;
    const QString path = fileURL_.toLocalFile();
    QFile file(path);
    QByteArray contents;
    if (file.open(QIODevice::ReadOnly)) contents = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        presentError(readError(path, file));
        return false;
    }
    Error error;
    animInfo_ = ANIMInfo::fromBytes(contents, displayName(), &error);
    if (!animInfo_) presentError(error);
    return animInfo_ != nullptr;
}

QString Document::infoOpcodeString() const { return animInfo_ ? animInfo_->opcodeString() : QString(); }

QString Document::infoColorCountString() const {
    return animInfo_ ? animInfo_->colorCountString(QLocale()) : QString();
}

std::pair<int, int> Document::pixelAspect() const {
    return animInfo_ ? animInfo_->pixelAspect() : ANIMInfo::pixelAspectOfFile(fileURL_.toLocalFile());
}

void Document::showDocumentInfo() {
    if (!prepareANIMInfo()) return;
    if (!infoPanel_) {
        infoPanel_ = new InfoPanel(displayName(), animInfo_->rows(QLocale()));
        connect(infoPanel_, &InfoPanel::shownChanged, this, &Document::documentInfoShownChanged);
        infoPanel_->placeBeside(window_);
    }
    infoPanel_->bringToFront();
}

void Document::toggleDocumentInfo() {
    if (isDocumentInfoShown())
        infoPanel_->hide();
    else
        showDocumentInfo();
}

bool Document::isDocumentInfoShown() const { return infoPanel_ && infoPanel_->isVisible(); }

}  // namespace velarium::app
