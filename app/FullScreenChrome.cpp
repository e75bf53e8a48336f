#include "app/FullScreenChrome.h"

#include <QMouseEvent>
#include <QWidget>

namespace velarium::app {

FullScreenChrome::FullScreenChrome(QWidget* window, QWidget* picture, QWidget* top, QWidget* bottom)
    : QObject(window), window_(window), picture_(picture), top_(top), bottom_(bottom) {
    picture_->installEventFilter(this);
}

void FullScreenChrome::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    // Moves of the pointer without a button pressed reach the picture only
    // while it tracks the mouse.
    if (active) {
        pictureTracked_ = picture_->hasMouseTracking();
        picture_->setMouseTracking(true);
    } else {
        picture_->setMouseTracking(pictureTracked_);
    }
    for (QWidget* bar : {top_.data(), bottom_.data()})
        if (bar) bar->setVisible(!active);
}

bool FullScreenChrome::eventFilter(QObject* watched, QEvent* event) {
    if (active_ && watched == picture_ && event->type() == QEvent::MouseMove)
        pointerAt(picture_->mapTo(window_, static_cast<QMouseEvent*>(event)->position().toPoint()));
    return false;
}

void FullScreenChrome::pointerAt(QPoint inWindow) {
    // A bar shows when the pointer nears its edge and hides once the pointer
    // is back on the picture beyond it, so that it does not flicker while
    // the pointer crosses its border.
    const auto follow = [](QWidget* bar, int distanceFromEdge) {
        if (!bar) return;
        if (distanceFromEdge <= kRevealDistance)
            bar->show();
        else if (distanceFromEdge > bar->sizeHint().height() + kRevealDistance)
            bar->hide();
    };
    follow(top_, inWindow.y());
    follow(bottom_, window_->height() - 1 - inWindow.y());
}

}  // namespace velarium::app
