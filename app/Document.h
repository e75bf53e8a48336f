#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "app/ViewOptions.h"
#include "platform/foundation/Error.h"

class QAction;

namespace velarium {
class Player;
class PlayerItem;
}  // namespace velarium

namespace velarium::app {

class ANIMInfo;
class ColourCycler;
class DocumentWindow;
class FrameSink;
class InfoPanel;
class MainThreadRelay;

// One open ANIM file: read-only, one window. It never decodes frames itself:
// the file is played through the platform's asset, player item and player,
// which read it with the format reader and video decoder extensions. It owns
// the information panel and the parser that feeds it, and the temporary
// playback copy made when the file's name does not say it is an animation.
class Document : public QObject {
    Q_OBJECT
public:
    explicit Document(QObject* parent = nullptr);
    ~Document() override;

    // Prepares playback of the file; runs on open and again on revert.
    // Always succeeds: a file that cannot be played fails its player item,
    // whose error is presented once.
    bool readFromURL(const QUrl& url, const QString& typeName, Error* error);
    // Copies the file into a fresh temporary folder under a name ending in
    // ".anim"; returns the copy, or an empty URL when it could not be made.
    QUrl makePlaybackCopyOfURL(const QUrl& url);
    void removePlaybackCopy();
    void stopObservingPlayerItem();

    void makeWindowControllers(const ViewOptions& options);
    void showWindows();
    // Closes the window, the information panel and playback, and deletes the
    // playback copy; the document is deleted soon after.
    void close();
    // File ▸ Reload.
    void revertDocumentToSaved();
    // Plays another file of type `typeName` in this document and its window
    // (File ▸ Next Animation): the information panel follows it, and it
    // becomes a recent document.
    void replaceFileURL(const QUrl& url, const QString& typeName);

    // Every command a window offers applies to its document.
    bool validateUserInterfaceItem(const QAction* item) const;

    // Information panel.
    void showDocumentInfo();
    // Shows the panel, or hides it when it is shown.
    void toggleDocumentInfo();
    bool isDocumentInfoShown() const;
    bool prepareANIMInfo();
    QString infoOpcodeString() const;
    QString infoColorCountString() const;
    // The file's colour cycling, read on first use; null when the file
    // cannot be parsed. Presents nothing.
    ColourCycler* colourCycler();
    // Whether the file's first picture has a range that cycles; false until
    // colourCycler() has read the file.
    bool cyclesColours() const;
    // The picture's pixel aspect (xAspect, yAspect) from the file's header;
    // (0, 0) when it cannot be read. Presents nothing.
    std::pair<int, int> pixelAspect() const;

    void presentError(const Error& error, const QString& context = {});
    // Why the file could not be played, on one line; empty unless it failed.
    QString playbackFailureMessage() const;

    const QUrl& fileURL() const { return fileURL_; }
    const QString& fileType() const { return fileType_; }
    QString displayName() const;
    // The URL the player reads: the playback copy or the file itself.
    const QUrl& playbackURL() const { return playbackURL_; }
    const QString& playbackCopyFolder() const { return playbackCopyFolder_; }
    const std::shared_ptr<Player>& player() const { return player_; }
    const std::shared_ptr<PlayerItem>& playerItem() const { return playerItem_; }
    const std::shared_ptr<FrameSink>& frameSink() const { return frameSink_; }
    const ANIMInfo* animInfo() const { return animInfo_.get(); }
    InfoPanel* infoPanel() const;
    DocumentWindow* window() const;
    bool isClosed() const { return closed_; }

signals:
    // A new player replaced the old one (open, revert).
    void playerChanged();
    // The document now plays another file.
    void fileURLChanged();
    void playerItemReady();
    void playerItemFailed();
    void documentInfoShownChanged(bool shown);

private:
    // On the main thread, after the current item's status changed.
    void playerItemStatusChanged();
    QString playbackFailureContext() const;

    QUrl fileURL_;
    QString fileType_;
    QUrl playbackURL_;
    std::shared_ptr<Player> player_;
    std::shared_ptr<PlayerItem> playerItem_;
    std::shared_ptr<FrameSink> frameSink_;
    std::unique_ptr<ANIMInfo> animInfo_;
    std::unique_ptr<ColourCycler> colourCycler_;
    bool colourCyclerRead_ = false;
    QPointer<InfoPanel> infoPanel_;
    QString playbackCopyFolder_;
    QPointer<DocumentWindow> window_;

    // Observation of the current player item's status.
    std::shared_ptr<MainThreadRelay> statusRelay_;
    std::uint64_t observerToken_ = 0;
    bool itemErrorPresented_ = false;
    bool closed_ = false;
};

}  // namespace velarium::app
