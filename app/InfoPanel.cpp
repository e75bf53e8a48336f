#include "app/InfoPanel.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace velarium::app {

namespace {

constexpr int kMargin = 16;
constexpr int kRowSpacing = 6;
constexpr int kColumnSpacing = 10;
// Between the panel and the document window beside it, or, when it has to
// lie over the window, between the panel and the window's corner.
constexpr int kGapBesideWindow = 12;

// Where the platform names no smaller "smallest readable" font than the
// application's, small text is this fraction of the regular size (close to
// the 11-on-13 points of desktops that have a small system font).
constexpr double kSmallFontScale = 0.85;

QFont smallFont(QFont::Weight weight) {
    QFont font = QApplication::font();
    const QFont smallest = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
    if (font.pointSizeF() > 0) {
        const bool platformHasSmaller = smallest.pointSizeF() > 0 && smallest.pointSizeF() < font.pointSizeF();
        font.setPointSizeF(platformHasSmaller ? smallest.pointSizeF() : font.pointSizeF() * kSmallFontScale);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * kSmallFontScale)));
    }
    font.setWeight(weight);
    return font;
}

}  // namespace

InfoPanel::InfoPanel(const QString& displayName, const std::vector<InfoRow>& rows, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    // A tool window stays above the application's windows (X11: transient
    // for the application's group). Closing hides it; the document keeps it,
    // and it never decides whether the application quits.
    setWindowTitle(QStringLiteral("%1 Info").arg(displayName));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->setVerticalSpacing(kRowSpacing);
    grid->setHorizontalSpacing(kColumnSpacing);
    // The panel is exactly as large as its rows need.
    grid->setSizeConstraint(QLayout::SetFixedSize);

    const QFont labelFont = smallFont(QFont::DemiBold);
    const QFont valueFont = smallFont(QFont::Normal);
    int line = 0;
    for (const InfoRow& row : rows) {
        auto* label = new QLabel(row.label, this);
        label->setTextFormat(Qt::PlainText);
        label->setFont(labelFont);
        // Painted in the palette's secondary text colour, following theme changes.
        label->setForegroundRole(QPalette::PlaceholderText);

        auto* value = new QLabel(row.value, this);
        value->setTextFormat(Qt::PlainText);
        value->setFont(valueFont);
        // A file's own long annotation wraps rather than widening the panel.
        value->setWordWrap(true);
        // Users copy figures out of the panel.
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);

        grid->addWidget(label, line, 0, Qt::AlignTrailing | Qt::AlignVCenter);
        grid->addWidget(value, line, 1, Qt::AlignLeading | Qt::AlignVCenter);
        ++line;
    }
    grid->activate();
}

void InfoPanel::placeBeside(QWidget* documentWindow) {
    documentWindow_ = documentWindow ? documentWindow->window() : nullptr;
    placed_ = true;
    framePlaced_ = false;
    place();
}

void InfoPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) emit shownChanged(true);
    if (!placed_ || framePlaced_) return;
    framePlaced_ = true;
    // Once the window system has framed the panel.
    QTimer::singleShot(0, this, &InfoPanel::place);
}

void InfoPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;  // minimised with its window
    emit shownChanged(false);
    // The keyboard, when the panel had it, goes back to the window it describes.
    const QWidget* active = QApplication::activeWindow();
    if (documentWindow_ && (!active || active == this)) documentWindow_->activateWindow();
}

void InfoPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    // The panel has no commands of its own: a key the labels left unused is
    // the document window's, whose shortcuts only answer in that window.
    if (documentWindow_) {
        const QKeySequence pressed(event->keyCombination());
        for (QAction* action : documentWindow_->findChildren<QAction*>())
            if (action->isEnabled() && action->shortcuts().contains(pressed)) {
                action->trigger();
                return;
            }
    }
    QWidget::keyPressEvent(event);
}

QSize InfoPanel::frameSize(const QWidget* documentWindow) const {
    if (isVisible()) return frameGeometry().size();
    QMargins frame;
    if (documentWindow && documentWindow->windowHandle()) frame = documentWindow->windowHandle()->frameMargins();
    return sizeHint().grownBy(frame);
}

void InfoPanel::place() {
    const QWidget* window = documentWindow_ && documentWindow_->isVisible() ? documentWindow_.data() : nullptr;
    QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QSize size = frameSize(window);

    QPoint at;
    if (!window) {
        QRect centred({}, size);
        centred.moveCenter(area.center());
        at = centred.topLeft();
    } else {
        const QRect beside = window->frameGeometry();
        const int right = beside.right() + 1 + kGapBesideWindow;
        const int left = beside.left() - kGapBesideWindow - size.width();
        if (right + size.width() <= area.right() + 1)
            at = {right, beside.top()};
        else if (left >= area.left())
            at = {left, beside.top()};
        else  // no room on either side: over the window, inside its top-right corner
            at = {beside.right() + 1 - kGapBesideWindow - size.width(), beside.top() + kGapBesideWindow};
    }
    // Wholly on the screen; a panel larger than the screen shows its top-left.
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - size.height())));
    move(at);
}

void InfoPanel::bringToFront() {
    show();
    raise();
}

void InfoPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Some platforms activate every window they show, whatever it asks. The
    // panel keeps the keyboard only when the user clicked into it: activated
    // with the pointer elsewhere, it hands the keyboard back to its window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && documentWindow_ &&
        documentWindow_->isVisible() && !frameGeometry().contains(QCursor::pos(screen())))
        documentWindow_->activateWindow();
}

}  // namespace velarium::app
