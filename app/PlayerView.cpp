#include "app/PlayerView.h"

#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/LoopStart.h"
#include "app/MainThreadRelay.h"
#include "app/TransportBar.h"
#include "app/VideoSurface.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {

PlayerView::PlayerView(QWidget* parent) : QWidget(parent) {
    surface_ = new VideoSurface;
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setAlignment(Qt::AlignCenter);
    scrollArea_->setBackgroundRole(QPalette::Dark);
    scrollArea_->setFocusPolicy(Qt::NoFocus);
    scrollArea_->setWidget(surface_);
    transport_ = new TransportBar(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scrollArea_, 1);
    layout->addWidget(transport_);

    connect(transport_, &TransportBar::playPauseRequested, this, &PlayerView::togglePlayPause);
    connect(transport_, &TransportBar::stepRequested, this, &PlayerView::stepByCount);
    connect(transport_, &TransportBar::firstFrameRequested, this, &PlayerView::goToFirstFrame);
    connect(transport_, &TransportBar::lastFrameRequested, this, &PlayerView::goToLastFrame);
    connect(transport_, &TransportBar::scrubbedToFrame, this, &PlayerView::scrubTo);
    connect(transport_, &TransportBar::scrubStarted, this, [this] {
        resumeAfterScrub_ = isPlaying();
        if (resumeAfterScrub_) player_->pause();
    });
    connect(transport_, &TransportBar::scrubFinished, this, [this] {
        performPendingScrub();
        if (resumeAfterScrub_ && player_) player_->play();
        resumeAfterScrub_ = false;
        refreshPlayingState();
    });
    applyScale();
}

PlayerView::~PlayerView() { setPlayer(nullptr, nullptr); }

void PlayerView::setPlayer(std::shared_ptr<Player> player, std::shared_ptr<FrameSink> sink) {
    loopSearch_.reset();
    if (sinkConnection_) disconnect(sinkConnection_);
    if (stateRelay_) {
        player_->removeStateObserver(stateObserverToken_);
        stateRelay_->detach();
        stateRelay_.reset();
    }
    player_ = std::move(player);
    sink_ = std::move(sink);
    item_ = player_ ? player_->currentItem() : nullptr;
    itemReadyHandled_ = false;
    loopStartIndex_ = 0;
    shownIndex_.reset();
    pendingScrub_.reset();
    surface_->clear();
    transport_->setControlsEnabled(false);
    transport_->setPlaying(false);
    if (sink_)
        sinkConnection_ = connect(sink_.get(), &FrameSink::frameArrived, this, &PlayerView::frameArrived);
    if (player_) {
        stateRelay_ = MainThreadRelay::create(this, [this] { refreshPlayingState(); });
        stateObserverToken_ = player_->addStateObserver([relay = stateRelay_] { relay->post(); });
    }
    // The speed applies to whatever the user plays next; it never starts playback.
    if (player_) player_->setDefaultRate(rate_);
    playerItemStatusChanged();
}

void PlayerView::playerItemStatusChanged() {
    if (!item_) return;
    if (item_->status() == PlayerItemStatus::readyToPlay && !itemReadyHandled_) itemBecameReady();
    refreshPlayingState();
}

void PlayerView::itemBecameReady() {
    itemReadyHandled_ = true;
    std::vector<MediaTime> durations;
    for (const SampleTime& sample : item_->sampleTimes()) durations.push_back(sample.duration);
    std::sort(durations.begin(), durations.end());
    durations.erase(std::unique(durations.begin(), durations.end()), durations.end());
    transport_->setFrameCount(item_->sampleTimes().size(), item_->duration(), durations);
    transport_->setControlsEnabled(true);
    applyScale();
    // Like any movie view, show the first picture while waiting for the user.
    player_->seekToTime(MediaTime::zero());
    applyLoop();
}

void PlayerView::findLoopStart() {
    // Only looping needs it: the search decodes every frame once, through
    // the item's own reader, and would compete with playback for it.
    if (!looping_ || loopSearch_ || !itemReadyHandled_) return;
    // The search reports on its own thread; the answer is carried to this
    // view, which waits for the search to end before it goes away.
    loopSearch_ = std::make_unique<LoopStartSearch>(item_, [this](std::uint64_t index) {
        QMetaObject::invokeMethod(
            this,
            [this, index] {
                loopStartIndex_ = index;
                applyLoop();
            },
            Qt::QueuedConnection);
    });
}

void PlayerView::frameArrived(const DisplayedFrame& displayed) {
    if (!item_ || displayed.frame.index >= item_->sampleTimes().size()) return;
    const bool firstFrame = !surface_->hasFrame();
    surface_->setFrame(displayed.image, displayed.frame.index);
    shownIndex_ = displayed.frame.index;
    transport_->showFrame(displayed.frame.index, displayed.frame.presentationTime, displayed.frame.duration);
    if (firstFrame) applyScale();
    emit frameShown(displayed.frame.index);
}

bool PlayerView::isPlaying() const { return player_ && player_->rate() > 0; }

void PlayerView::refreshPlayingState() { transport_->setPlaying(isPlaying() || resumeAfterScrub_); }

void PlayerView::togglePlayPause() {
    if (!player_ || !itemReadyHandled_) return;
    if (isPlaying()) {
        player_->pause();
    } else {
        // Play at the end starts again from the beginning, also on the last
        // frame stepped to, unless looping goes on from there anyway.
        const bool onLastFrame = shownIndex_ && *shownIndex_ + 1 == item_->sampleTimes().size();
        if (player_->isAtEnd() || (onLastFrame && !looping_)) player_->seekToTime(MediaTime::zero());
        player_->play();
    }
    refreshPlayingState();
}

void PlayerView::stepByCount(int count) {
    if (!player_ || !itemReadyHandled_) return;
    player_->stepByCount(count);
    refreshPlayingState();
}

void PlayerView::goToFirstFrame() { seekToFrame(0); }

void PlayerView::goToLastFrame() {
    if (item_ && !item_->sampleTimes().empty()) seekToFrame(item_->sampleTimes().size() - 1);
}

void PlayerView::seekToFrame(std::uint64_t index) {
    if (!player_ || !itemReadyHandled_ || index >= item_->sampleTimes().size()) return;
    player_->seekToTime(item_->sampleTimes()[index].presentationTime);
    refreshPlayingState();
}

void PlayerView::scrubTo(std::uint64_t index) {
    // Scrubbing can ask for frames faster than they are made: only the
    // latest request is served, once the events before it are handled.
    const bool scheduled = pendingScrub_.has_value();
    pendingScrub_ = index;
    if (!scheduled) QTimer::singleShot(0, this, &PlayerView::performPendingScrub);
}

void PlayerView::performPendingScrub() {
    if (!pendingScrub_) return;
    const std::uint64_t index = *pendingScrub_;
    pendingScrub_.reset();
    seekToFrame(index);
}

void PlayerView::setLooping(bool looping) {
    looping_ = looping;
    applyLoop();
}

void PlayerView::applyLoop() {
    findLoopStart();
    if (player_) player_->setLoopStartIndex(looping_ ? std::optional<std::uint64_t>(loopStartIndex_) : std::nullopt);
}

void PlayerView::setRate(float rate) {
    rate_ = rate;
    // Changes the pace at once while playing, and leaves a paused player paused.
    if (player_) player_->setDefaultRate(rate);
}

void PlayerView::setViewOptions(const ViewOptions& options) {
    options_ = options;
    if (options_.zoom) zoom_ = std::clamp(*options_.zoom, 1, kMaximumZoom);
    applyScale();
}

void PlayerView::setZoom(int zoom) {
    zoom_ = std::clamp(zoom, 1, kMaximumZoom);
    options_.zoom = zoom_;
    options_.fitToWindow = false;
    applyScale();
}

int PlayerView::zoom() const { return zoom_; }

void PlayerView::zoomIn() {
    if (options_.fitToWindow) {
        // From a fitted picture, the next integer step above its scale.
        const QSize picture = displaySizeAtZoom(1);
        const double scale = picture.isEmpty() ? 1.0 : double(surface_->pictureRect().width()) / picture.width();
        setZoom(static_cast<int>(std::floor(scale)) + 1);
        return;
    }
    setZoom(zoom_ + 1);
}

void PlayerView::zoomOut() {
    if (options_.fitToWindow) {
        const QSize picture = displaySizeAtZoom(1);
        const double scale = picture.isEmpty() ? 1.0 : double(surface_->pictureRect().width()) / picture.width();
        setZoom(static_cast<int>(std::ceil(scale)) - 1);
        return;
    }
    setZoom(zoom_ - 1);
}

void PlayerView::fitToWindow() {
    options_.fitToWindow = true;
    applyScale();
}

void PlayerView::setCorrectPixelAspect(bool correct) {
    options_.correctPixelAspect = correct;
    applyScale();
}

void PlayerView::setPixelAspect(int xAspect, int yAspect) {
    xAspect_ = xAspect;
    yAspect_ = yAspect;
    applyScale();
}

std::pair<double, double> PlayerView::aspectCorrection() const {
    if (!options_.correctPixelAspect || xAspect_ <= 0 || yAspect_ <= 0) return {1.0, 1.0};
    // Stretch the shorter side, so that no picture pixel is lost.
    if (xAspect_ >= yAspect_) return {double(xAspect_) / yAspect_, 1.0};
    return {1.0, double(yAspect_) / xAspect_};
}

QSize PlayerView::pictureSize() const {
    if (surface_->hasFrame()) return surface_->image().size();
    if (!item_ || item_->status() != PlayerItemStatus::readyToPlay) return {};
    const AssetTrack* track = item_->asset()->firstEnabledTrack(kCMMediaType_Video);
    if (!track || track->info->formatDescriptions().empty()) return {};
    const VideoDimensions dimensions = track->info->formatDescriptions().front()->dimensions();
    return {dimensions.width, dimensions.height};
}

QSize PlayerView::displaySizeAtZoom(int zoom) const {
    const QSize picture = pictureSize();
    const auto [horizontal, vertical] = aspectCorrection();
    return {static_cast<int>(std::lround(picture.width() * horizontal * zoom)),
            static_cast<int>(std::lround(picture.height() * vertical * zoom))};
}

void PlayerView::applyScale() {
    const auto [horizontal, vertical] = aspectCorrection();
    if (options_.fitToWindow) {
        surface_->setScale(horizontal, vertical, true);
        scrollArea_->setWidgetResizable(true);
    } else {
        scrollArea_->setWidgetResizable(false);
        surface_->setScale(horizontal * zoom_, vertical * zoom_, false);
        surface_->resize(surface_->sizeHint());
    }
}

QImage PlayerView::currentImage() const { return surface_->image(); }

std::optional<std::uint64_t> PlayerView::currentFrameIndex() const { return shownIndex_; }

}  // namespace velarium::app
