#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace velarium::app {

// In full screen, the bars above and below the picture hide, and each shows
// again while the pointer is near its edge of the screen, as video players
// do. Out of full screen both bars are shown.
class FullScreenChrome : public QObject {
    Q_OBJECT
public:
    // `picture` is the widget under the pointer between the bars.
    FullScreenChrome(QWidget* window, QWidget* picture, QWidget* top, QWidget* bottom);

    void setActive(bool active);
    bool isActive() const { return active_; }

    // How near its edge the pointer brings a hidden bar back.
    static constexpr int kRevealDistance = 8;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pointerAt(QPoint inWindow);

    QWidget* window_;
    QWidget* picture_;
    QPointer<QWidget> top_;
    QPointer<QWidget> bottom_;
    bool active_ = false;
    bool pictureTracked_ = false;
};

}  // namespace velarium::app
