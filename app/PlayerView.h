#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/FrameSink.h"
#include "app/ViewOptions.h"

class QScrollArea;

namespace velarium {
class Player;
class PlayerItem;
}  // namespace velarium

namespace velarium::app {

class LoopStartSearch;
class PingPongPlayback;
class MainThreadRelay;
class TransportBar;
class VideoSurface;

// The movie view of a document window: shows the frames its player presents
// and drives the player from the transport controls. Frames arrive from the
// player through a FrameSink and are painted as the decoder made them.
class PlayerView : public QWidget {
    Q_OBJECT
public:
    explicit PlayerView(QWidget* parent = nullptr);
    ~PlayerView() override;

    // Shows `player`'s frames (none: an empty view). The view shows the
    // first frame once the item is ready; it never starts playing by itself.
    void setPlayer(std::shared_ptr<Player> player, std::shared_ptr<FrameSink> sink);
    const std::shared_ptr<Player>& player() const { return player_; }
    // Called when the player's item has become ready or failed.
    void playerItemStatusChanged();

    // Transport.
    void togglePlayPause();
    bool isPlaying() const;
    void stepByCount(int count);
    void goToFirstFrame();
    void goToLastFrame();
    void seekToFrame(std::uint64_t index);
    // The item's frame count; 0 until it is ready.
    std::uint64_t frameCount() const;
    void setLooping(bool looping);
    bool isLooping() const { return looping_; }
    // The frame looping continues at; known once looping or ping-pong is on
    // and the file has been looked at.
    std::uint64_t loopStartIndex() const { return loopStartIndex_; }
    // Plays forth and back instead of once or round; the wrap-up frames of
    // an animation that has them (see loopStartIndex) are left out.
    void setPingPong(bool pingPong);
    bool isPingPong() const { return pingPong_; }
    void setRate(float rate);
    float rate() const { return rate_; }

    // View. Zooms count device (screen) pixels per picture pixel, so that
    // every zoom is sharp at any display scale.
    void setViewOptions(const ViewOptions& options);
    const ViewOptions& viewOptions() const { return options_; }
    // Zooms that keep the centre of the view.
    void setZoom(int zoom);
    int zoom() const;
    void actualSize();
    void zoomIn();
    void zoomOut();
    void fitToWindow();
    void setCorrectPixelAspect(bool correct);
    void setPixelAspect(int xAspect, int yAspect);
    // In full screen the backdrop is black and the picture takes the largest
    // whole zoom that fits (or stays fitted); the zoom from before comes
    // back afterwards.
    void setFullScreen(bool fullScreen);
    // The room the picture takes at `zoom` with the current aspect setting,
    // in logical pixels rounded up to whole device pixels.
    QSize viewSizeAtZoom(int zoom) const;
    QSize pictureSize() const;

    // Gives the picture shown for each frame instead of the player's own
    // (colour cycling); none shows the player's pictures again as they are.
    using PictureOverride = std::function<QImage(std::uint64_t index)>;
    void setPictureOverride(PictureOverride pictureOverride);
    // Asks the override again for the shown frame's picture.
    void refreshPictureOverride();

    // The shown frame as painted, unscaled; null before the first frame.
    QImage currentImage() const;
    std::optional<std::uint64_t> currentFrameIndex() const;

    VideoSurface* surface() const { return surface_; }
    QScrollArea* scrollArea() const { return scrollArea_; }
    TransportBar* transportBar() const { return transport_; }

    static constexpr int kMaximumZoom = 64;
    // Zoom In and Zoom Out go through these, as image viewers do.
    static constexpr std::array kZoomSteps = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32};

signals:
    // A frame from the player has been handed to the surface.
    void frameShown(std::uint64_t index);
    // The picture was double-clicked.
    void doubleClicked();
    // The picture is being dragged out of the view: with the left button
    // when it fits the view, with Ctrl held too when a plain drag pans it.
    void dragOutStarted();
    // The user chose a zoom or Fit to Window.
    void zoomChosen();

protected:
    // The pointer on the picture: Ctrl+wheel zooms about it, a drag pans a
    // picture larger than the view or else drags it out, a double click is
    // announced.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void zoomAbout(int zoom, QPointF anchor);
    // The step nearest the picture's own size, one device pixel per logical pixel.
    int actualSizeZoom() const;
    // The largest whole zoom at which the picture fits `area` (logical
    // pixels); 0 when even one device pixel per picture pixel does not.
    int largestZoomFitting(QSize area) const;
    int nextZoomStep(int direction) const;
    QSizeF deviceSizeAtZoom(int zoom) const;
    void showZoom();
    void frameArrived(const DisplayedFrame& frame);
    void scrubTo(std::uint64_t index);
    void performPendingScrub();
    void refreshPlayingState();
    void startPlayback();
    void pausePlayback();
    // The last frame ping-pong turns at.
    std::uint64_t turnLastFrame() const;
    void applyScale();
    void applyLoop();
    void findLoopStart();
    void itemBecameReady();
    std::pair<double, double> aspectCorrection() const;

    std::shared_ptr<Player> player_;
    std::shared_ptr<PlayerItem> item_;
    std::shared_ptr<FrameSink> sink_;
    QMetaObject::Connection sinkConnection_;
    // The player announces its state changes (the end, a failure) on its
    // own threads; this carries them to the view.
    std::shared_ptr<MainThreadRelay> stateRelay_;
    std::uint64_t stateObserverToken_ = 0;
    bool itemReadyHandled_ = false;

    VideoSurface* surface_;
    QScrollArea* scrollArea_;
    TransportBar* transport_;

    ViewOptions options_;
    int zoom_ = 1;
    // The options before full screen, restored after it.
    std::optional<ViewOptions> optionsBeforeFullScreen_;
    std::optional<QPoint> panFrom_;
    std::optional<QPoint> dragFrom_;
    QPoint panStartScroll_;
    int wheelAngle_ = 0;
    int xAspect_ = 0;
    int yAspect_ = 0;
    bool looping_ = false;
    std::uint64_t loopStartIndex_ = 0;
    std::unique_ptr<LoopStartSearch> loopSearch_;
    bool pingPong_ = false;
    std::unique_ptr<PingPongPlayback> pingPongPlayback_;
    float rate_ = 1.0f;
    std::optional<std::uint64_t> pendingScrub_;
    bool resumeAfterScrub_ = false;
    std::optional<std::uint64_t> shownIndex_;
    PictureOverride pictureOverride_;
};

}  // namespace velarium::app
