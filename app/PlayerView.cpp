#include "app/PlayerView.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <ranges>
#include <vector>

#include "app/LoopStart.h"
#include "app/MainThreadRelay.h"
#include "app/PingPong.h"
#include "app/TransportBar.h"
#include "app/VideoSurface.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

// Around the picture, and through a brush's transparent colour.
const QColor kBackdrop(0x20, 0x20, 0x20);
constexpr int kWheelNotch = 120;

}  // namespace

PlayerView::PlayerView(QWidget* parent) : QWidget(parent) {
    surface_ = new VideoSurface;
    scrollArea_ = new QScrollArea(this);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setAlignment(Qt::AlignCenter);
    scrollArea_->setFocusPolicy(Qt::NoFocus);
    scrollArea_->setWidget(surface_);
    surface_->setBackdrop(kBackdrop);
    surface_->installEventFilter(this);
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
        if (resumeAfterScrub_) pausePlayback();
    });
    connect(transport_, &TransportBar::scrubFinished, this, [this] {
        performPendingScrub();
        if (resumeAfterScrub_ && player_) startPlayback();
        resumeAfterScrub_ = false;
        refreshPlayingState();
    });
    applyScale();
}

PlayerView::~PlayerView() { setPlayer(nullptr, nullptr); }

void PlayerView::setPlayer(std::shared_ptr<Player> player, std::shared_ptr<FrameSink> sink) {
    loopSearch_.reset();
    pingPongPlayback_.reset();
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
    // Only looping and ping-pong need it: the search decodes every frame once, through
    // the item's own reader, and would compete with playback for it.
    if (!(looping_ || pingPong_) || loopSearch_ || !itemReadyHandled_) return;
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
    surface_->setFrame(displayed.image, displayed.frame.index,
                       pictureOverride_ ? pictureOverride_(displayed.frame.index) : QImage());
    shownIndex_ = displayed.frame.index;
    transport_->showFrame(displayed.frame.index, displayed.frame.presentationTime, displayed.frame.duration);
    if (firstFrame) applyScale();
    emit frameShown(displayed.frame.index);
}

bool PlayerView::isPlaying() const {
    return (player_ && player_->rate() > 0) || (pingPongPlayback_ && pingPongPlayback_->isRunning());
}

void PlayerView::refreshPlayingState() { transport_->setPlaying(isPlaying() || resumeAfterScrub_); }

void PlayerView::togglePlayPause() {
    if (!player_ || !itemReadyHandled_) return;
    if (isPlaying())
        pausePlayback();
    else
        startPlayback();
    refreshPlayingState();
}

void PlayerView::startPlayback() {
    if (pingPong_) {
        if (!pingPongPlayback_) pingPongPlayback_ = std::make_unique<PingPongPlayback>(player_);
        pingPongPlayback_->setLastFrame(turnLastFrame());
        pingPongPlayback_->start(shownIndex_.value_or(0));
        return;
    }
    // Play at the end starts again from the beginning, also on the last
    // frame stepped to, unless looping goes on from there anyway.
    const bool onLastFrame = shownIndex_ && *shownIndex_ + 1 == item_->sampleTimes().size();
    if (player_->isAtEnd() || (onLastFrame && !looping_)) player_->seekToTime(MediaTime::zero());
    player_->play();
}

void PlayerView::pausePlayback() {
    if (pingPongPlayback_) pingPongPlayback_->stop();
    player_->pause();
}

std::uint64_t PlayerView::turnLastFrame() const {
    const std::uint64_t count = item_->sampleTimes().size();
    // A loop start past frame 0 means the last two frames rebuild frames 0 and 1.
    return loopStartIndex_ > 0 && count >= 4 ? count - 3 : count - 1;
}

void PlayerView::setPingPong(bool pingPong) {
    if (pingPong == pingPong_) return;
    const bool playing = player_ && itemReadyHandled_ && isPlaying();
    if (playing) pausePlayback();
    pingPong_ = pingPong;
    findLoopStart();
    if (playing) startPlayback();
    refreshPlayingState();
}

void PlayerView::stepByCount(int count) {
    if (!player_ || !itemReadyHandled_) return;
    if (pingPongPlayback_) pingPongPlayback_->stop();
    player_->stepByCount(count);
    refreshPlayingState();
}

void PlayerView::goToFirstFrame() { seekToFrame(0); }

void PlayerView::goToLastFrame() {
    if (item_ && !item_->sampleTimes().empty()) seekToFrame(item_->sampleTimes().size() - 1);
}

void PlayerView::seekToFrame(std::uint64_t index) {
    if (!player_ || !itemReadyHandled_ || index >= item_->sampleTimes().size()) return;
    if (pingPongPlayback_ && pingPongPlayback_->isRunning()) {
        pingPongPlayback_->start(index);  // goes on forth and back from there
        return;
    }
    player_->seekToTime(item_->sampleTimes()[index].presentationTime);
    refreshPlayingState();
}

std::uint64_t PlayerView::frameCount() const { return itemReadyHandled_ ? item_->sampleTimes().size() : 0; }

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
    if (pingPongPlayback_) pingPongPlayback_->setLastFrame(turnLastFrame());
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
    const QWidget* viewport = scrollArea_->viewport();
    zoomAbout(zoom, QPointF(viewport->width(), viewport->height()) / 2);
}

int PlayerView::zoom() const { return zoom_; }

void PlayerView::actualSize() { setZoom(actualSizeZoom()); }

void PlayerView::zoomIn() { setZoom(nextZoomStep(1)); }

void PlayerView::zoomOut() { setZoom(nextZoomStep(-1)); }

int PlayerView::actualSizeZoom() const {
    // Half-way between two steps takes the larger, so that the picture is
    // never shown smaller than its own size.
    const double size = std::max(1.0, std::round(devicePixelRatio()));
    return *std::ranges::min_element(
        kZoomSteps, [size](int a, int b) { return std::abs(a - size) < std::abs(b - size); });
}

int PlayerView::nextZoomStep(int direction) const {
    // From a fitted picture, the steps go on from the scale it is shown at.
    double current = zoom_;
    if (options_.fitToWindow) {
        const QSizeF natural = deviceSizeAtZoom(1);
        if (!natural.isEmpty()) current = surface_->devicePictureRect().width() / natural.width();
    }
    if (direction > 0) {
        const auto step = std::ranges::find_if(kZoomSteps, [current](int z) { return z > current; });
        return step == std::end(kZoomSteps) ? std::max(zoom_, kZoomSteps.back()) : *step;
    }
    const auto steps = kZoomSteps | std::views::reverse;
    const auto step = std::ranges::find_if(steps, [current](int z) { return z < current; });
    return step == steps.end() ? 1 : *step;
}

void PlayerView::zoomAbout(int zoom, QPointF anchor) {
    // The picture's point under `anchor` (in the viewport) stays under it.
    const auto shownRect = [this] { return surface_->pictureRect().translated(surface_->pos()); };
    const QRectF before = shownRect();
    const QPointF share = before.isEmpty() ? QPointF(0.5, 0.5)
                                           : QPointF((anchor.x() - before.left()) / before.width(),
                                                     (anchor.y() - before.top()) / before.height());
    zoom_ = std::clamp(zoom, 1, kMaximumZoom);
    options_.zoom = zoom_;
    options_.fitToWindow = false;
    applyScale();
    const QRectF after = shownRect();
    const QPointF drift = after.topLeft() + QPointF(share.x() * after.width(), share.y() * after.height()) - anchor;
    QScrollBar* horizontal = scrollArea_->horizontalScrollBar();
    QScrollBar* vertical = scrollArea_->verticalScrollBar();
    horizontal->setValue(horizontal->value() + static_cast<int>(std::lround(drift.x())));
    vertical->setValue(vertical->value() + static_cast<int>(std::lround(drift.y())));
    emit zoomChosen();
}

void PlayerView::fitToWindow() {
    options_.fitToWindow = true;
    applyScale();
    emit zoomChosen();
}

int PlayerView::largestZoomFitting(QSize area) const {
    const QSizeF picture = deviceSizeAtZoom(1);
    if (picture.isEmpty()) return 1;
    const QSizeF room = QSizeF(area) * devicePixelRatio();
    const double zoom = std::min(room.width() / picture.width(), room.height() / picture.height());
    return std::min(static_cast<int>(std::floor(zoom + 1e-9)), kMaximumZoom);
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

void PlayerView::setFullScreen(bool fullScreen) {
    if (fullScreen == optionsBeforeFullScreen_.has_value()) return;
    surface_->setBackdrop(fullScreen ? Qt::black : kBackdrop);
    if (fullScreen) {
        optionsBeforeFullScreen_ = options_;
        const QScreen* screen = window()->screen();
        if (!options_.fitToWindow && screen)
            options_.zoom = zoom_ = std::max(1, largestZoomFitting(screen->geometry().size()));
    } else {
        options_ = *optionsBeforeFullScreen_;
        optionsBeforeFullScreen_.reset();
        if (options_.zoom) zoom_ = *options_.zoom;
    }
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

QSizeF PlayerView::deviceSizeAtZoom(int zoom) const {
    const QSize picture = pictureSize();
    const auto [horizontal, vertical] = aspectCorrection();
    return {std::round(picture.width() * horizontal * zoom), std::round(picture.height() * vertical * zoom)};
}

QSize PlayerView::viewSizeAtZoom(int zoom) const {
    const QSizeF logical = deviceSizeAtZoom(zoom) / devicePixelRatio();
    return {static_cast<int>(std::ceil(logical.width() - 1e-6)), static_cast<int>(std::ceil(logical.height() - 1e-6))};
}

void PlayerView::applyScale() {
    const auto [horizontal, vertical] = aspectCorrection();
    if (options_.fitToWindow)
        surface_->setScale(horizontal, vertical, true);
    else
        surface_->setScale(horizontal * zoom_, vertical * zoom_, false);
    // The surface always covers the viewport, so that one backdrop shows
    // around the picture; setting this again lays the surface out at once.
    scrollArea_->setWidgetResizable(true);
    showZoom();
}

void PlayerView::showZoom() {
    QLabel* label = transport_->zoomLabel();
    if (options_.fitToWindow) {
        label->setText(tr("Fit"));
        label->setToolTip(tr("Zoom: the picture fits the window"));
    } else {
        label->setText(tr("%1×").arg(zoom_));
        label->setToolTip(tr("Zoom: each picture pixel is %n screen pixel(s) wide", nullptr, zoom_));
    }
}

bool PlayerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_) return QWidget::eventFilter(watched, event);
    QScrollBar* horizontal = scrollArea_->horizontalScrollBar();
    QScrollBar* vertical = scrollArea_->verticalScrollBar();
    switch (event->type()) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (!(wheel->modifiers() & Qt::ControlModifier)) return false;
            // A notch of a wheel is 120; a touchpad sends it in smaller parts.
            wheelAngle_ += wheel->angleDelta().y();
            const int notches = wheelAngle_ / kWheelNotch;
            wheelAngle_ %= kWheelNotch;
            const QPointF anchor = surface_->mapTo(scrollArea_->viewport(), wheel->position());
            for (int n = 0; n < std::abs(notches); ++n) zoomAbout(nextZoomStep(notches > 0 ? 1 : -1), anchor);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            emit doubleClicked();
            return true;
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            const bool pannable = horizontal->maximum() > 0 || vertical->maximum() > 0;
            if (!pannable || (mouse->modifiers() & Qt::ControlModifier)) {
                if (surface_->hasFrame()) dragFrom_ = mouse->position().toPoint();
                return false;  // a click, or a double click, all the same
            }
            panFrom_ = mouse->globalPosition().toPoint();
            panStartScroll_ = {horizontal->value(), vertical->value()};
            surface_->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        case QEvent::MouseMove:
            if (dragFrom_) {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (!(mouse->buttons() & Qt::LeftButton)) {
                    dragFrom_.reset();
                } else if ((mouse->position().toPoint() - *dragFrom_).manhattanLength() >=
                           QApplication::startDragDistance()) {
                    dragFrom_.reset();
                    emit dragOutStarted();
                }
                return true;
            }
            if (!panFrom_) return false;
            {
                const QPoint moved = static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - *panFrom_;
                horizontal->setValue(panStartScroll_.x() - moved.x());
                vertical->setValue(panStartScroll_.y() - moved.y());
            }
            return true;
        case QEvent::MouseButtonRelease:
            dragFrom_.reset();
            if (!panFrom_) return false;
            panFrom_.reset();
            surface_->unsetCursor();
            return true;
        default:
            return false;
    }
}

void PlayerView::setPictureOverride(PictureOverride pictureOverride) {
    pictureOverride_ = std::move(pictureOverride);
    if (pictureOverride_)
        refreshPictureOverride();
    else
        surface_->setOverride({});
}

void PlayerView::refreshPictureOverride() {
    if (pictureOverride_ && shownIndex_ && surface_->hasFrame())
        surface_->setOverride(pictureOverride_(*shownIndex_));
}

QImage PlayerView::currentImage() const { return surface_->image(); }

std::optional<std::uint64_t> PlayerView::currentFrameIndex() const { return shownIndex_; }

}  // namespace velarium::app
