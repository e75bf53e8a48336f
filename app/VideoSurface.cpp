#include "app/VideoSurface.h"

#include <QPainter>

#include <chrono>
#include <cmath>

namespace velarium::app {
namespace {

const QColor kBackdrop(0x20, 0x20, 0x20);

qint64 monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void VideoSurface::setFrame(const QImage& image, std::uint64_t index) {
    const bool resized = image.size() != pictureSize_;
    image_ = image;
    index_ = index;
    pictureSize_ = image.size();
    if (resized) updateGeometry();
    // Painted at once rather than at the next scheduled update, so that a
    // frame reaches the screen when the player hands it over.
    if (isVisible() && !resized)
        repaint(pictureRect());
    else
        update();
}

void VideoSurface::clear() {
    image_ = QImage();
    update();
}

void VideoSurface::setScale(double horizontal, double vertical, bool fitToSurface) {
    horizontal_ = horizontal;
    vertical_ = vertical;
    fit_ = fitToSurface;
    updateGeometry();
    update();
}

QSize VideoSurface::sizeHint() const {
    if (pictureSize_.isEmpty()) return {320, 200};
    return {static_cast<int>(std::lround(pictureSize_.width() * horizontal_)),
            static_cast<int>(std::lround(pictureSize_.height() * vertical_))};
}

QRect VideoSurface::pictureRect() const {
    if (pictureSize_.isEmpty()) return {};
    QSize size = sizeHint();
    if (fit_) size = size.scaled(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void VideoSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackdrop);
    if (image_.isNull()) return;
    const QRect target = pictureRect();
    // Nearest-neighbour at every scale: enlarged pixels stay blocks, and a
    // picture shrunk to fit costs no more to draw than one at actual size.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image_);
    emit framePainted(index_, monotonicNanoseconds());
}

}  // namespace velarium::app
