#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace velarium::app {

// Paints the shown frame: nearest-neighbour at integer zooms, so that every
// Amiga pixel stays a sharp block, centred on a dark backdrop that also
// shows through a brush's transparent colour.
class VideoSurface : public QWidget {
    Q_OBJECT
public:
    explicit VideoSurface(QWidget* parent = nullptr);

    void setFrame(const QImage& image, std::uint64_t index);
    void clear();
    const QImage& image() const { return image_; }
    bool hasFrame() const { return !image_.isNull(); }
    std::uint64_t frameIndex() const { return index_; }

    // Display scale per axis: zoom times the pixel aspect correction. When
    // fitting, the picture is scaled to fit the surface instead, keeping the
    // corrected proportions.
    void setScale(double horizontal, double vertical, bool fitToSurface);
    // Where the picture is drawn inside the surface.
    QRect pictureRect() const;

    QSize sizeHint() const override;

signals:
    // After a frame was drawn, with the monotonic time of drawing in ns.
    void framePainted(std::uint64_t index, qint64 paintedAtNs);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    std::uint64_t index_ = 0;
    QSize pictureSize_;
    double horizontal_ = 1;
    double vertical_ = 1;
    bool fit_ = false;
};

}  // namespace velarium::app
