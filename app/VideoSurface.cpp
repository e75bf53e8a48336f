#include "app/VideoSurface.h"

#include <QPainter>

#include <chrono>
#include <cmath>

namespace velarium::app {
namespace {

// Sizes that fall within this of a whole device pixel are taken as whole.
constexpr double kPixelTolerance = 1e-6;

qint64 monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int roundedUp(double value) { return static_cast<int>(std::ceil(value - kPixelTolerance)); }

}  // namespace

VideoSurface::VideoSurface(QWidget* parent) : QWidget(parent), backdrop_(Qt::black) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void VideoSurface::setFrame(const QImage& image, std::uint64_t index, const QImage& shown) {
    const bool resized = image.size() != pictureSize_;
    image_ = image;
    override_ = shown;
    index_ = index;
    pictureSize_ = image.size();
    if (resized) updateGeometry();
    // Painted at once rather than at the next scheduled update, so that a
    // frame reaches the screen when the player hands it over.
    if (isVisible() && !resized)
        repaint(pictureRect().toAlignedRect());
    else
        update();
}

void VideoSurface::setOverride(const QImage& shown) {
    override_ = shown;
    if (isVisible())
        repaint(pictureRect().toAlignedRect());
    else
        update();
}

void VideoSurface::clear() {
    image_ = QImage();
    override_ = QImage();
    update();
}

void VideoSurface::setScale(double horizontal, double vertical, bool fitToSurface) {
    horizontal_ = horizontal;
    vertical_ = vertical;
    fit_ = fitToSurface;
    updateGeometry();
    update();
}

void VideoSurface::setBackdrop(const QColor& colour) {
    backdrop_ = colour;
    update();
}

QSize VideoSurface::scaledPictureSize() const {
    return {static_cast<int>(std::lround(pictureSize_.width() * horizontal_)),
            static_cast<int>(std::lround(pictureSize_.height() * vertical_))};
}

QSize VideoSurface::sizeHint() const {
    if (pictureSize_.isEmpty()) return {320, 200};
    const QSize device = scaledPictureSize();
    const double ratio = devicePixelRatio();
    return {roundedUp(device.width() / ratio), roundedUp(device.height() / ratio)};
}

QSize VideoSurface::minimumSizeHint() const { return fit_ ? QSize(0, 0) : sizeHint(); }

QRect VideoSurface::devicePictureRect(QPointF origin) const {
    if (pictureSize_.isEmpty()) return {};
    const QSizeF area = QSizeF(size()) * devicePixelRatio();
    QSize picture = scaledPictureSize();
    if (fit_) picture = picture.scaled(QSize(int(area.width()), int(area.height())), Qt::KeepAspectRatio);
    const QPointF topLeft =
        origin + QPointF((area.width() - picture.width()) / 2, (area.height() - picture.height()) / 2);
    return {QPoint(int(std::lround(topLeft.x())), int(std::lround(topLeft.y()))), picture};
}

QRectF VideoSurface::pictureRect() const {
    const QRect device = devicePictureRect();
    const double ratio = devicePixelRatio();
    return {QPointF(device.topLeft()) / ratio, QSizeF(device.size()) / ratio};
}

void VideoSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), backdrop_);
    const QImage& picture = image();
    if (picture.isNull()) return;
    // Drawn in device coordinates from a whole device pixel: at a display
    // scale of 1.5 the surface itself may start between two, and a picture
    // drawn from there would have pixels alternately 1 and 2 wide.
    const QTransform toDevice = painter.deviceTransform();
    const QRect target = devicePictureRect(toDevice.map(QPointF(0, 0)));
    painter.setWorldTransform(toDevice.inverted());
    // Nearest-neighbour at every scale: enlarged pixels stay blocks, and a
    // picture shrunk to fit costs no more to draw than one at actual size.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, picture);
    emit framePainted(index_, monotonicNanoseconds());
}

}  // namespace velarium::app
