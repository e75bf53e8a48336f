#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>

namespace velarium::app {

// Paints the shown frame, nearest-neighbour, centred on a backdrop that also
// shows through a brush's transparent colour. Scales are counted in device
// (screen) pixels, and the picture is drawn from a whole device pixel, so
// that at a whole zoom every Amiga pixel is the same sharp block at any
// display scale.
class VideoSurface : public QWidget {
    Q_OBJECT
public:
    explicit VideoSurface(QWidget* parent = nullptr);

    // `shown`, when given, is painted instead of the frame's own picture
    // until the next frame or setOverride (colour cycling's turned colours).
    void setFrame(const QImage& image, std::uint64_t index, const QImage& shown = {});
    // Paints `shown` instead of the frame's picture; a null image paints the
    // frame's own again.
    void setOverride(const QImage& shown);
    void clear();
    // The picture painted: the override while there is one.
    const QImage& image() const { return override_.isNull() ? image_ : override_; }
    bool hasFrame() const { return !image_.isNull(); }
    std::uint64_t frameIndex() const { return index_; }

    // Device pixels per picture pixel on each axis: the zoom times the pixel
    // aspect correction. When fitting, the picture is scaled to fit the
    // surface instead, keeping the corrected proportions.
    void setScale(double horizontal, double vertical, bool fitToSurface);
    void setBackdrop(const QColor& colour);
    const QColor& backdrop() const { return backdrop_; }

    // Where the picture is drawn, in device pixels of a paint device on which
    // the surface's top-left corner lies at `origin`.
    QRect devicePictureRect(QPointF origin = {}) const;
    // The same in the surface's own (logical) coordinates.
    QRectF pictureRect() const;

    // The picture at its scale, in logical pixels rounded up to hold every
    // device pixel; nothing when fitting, which takes whatever room there is.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // After a frame was drawn, with the monotonic time of drawing in ns.
    void framePainted(std::uint64_t index, qint64 paintedAtNs);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize scaledPictureSize() const;

    QImage image_;
    QImage override_;
    std::uint64_t index_ = 0;
    QSize pictureSize_;
    double horizontal_ = 1;
    double vertical_ = 1;
    bool fit_ = false;
    QColor backdrop_;
};

}  // namespace velarium::app
