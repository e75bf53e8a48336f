#include "app/InfoPanel.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace velarium::app {

namespace {

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
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      rows_(rows) {
    // A tool window stays above the application's windows (X11: transient
    // for the application's group). Closing hides it; the document keeps it,
    // and it never decides whether the application quits.
    setWindowTitle(QStringLiteral("%1 Info").arg(displayName));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->setVerticalSpacing(kRowSpacing);
    grid->setHorizontalSpacing(kColumnSpacing);
    // The panel is exactly as large as its rows need.
    grid->setSizeConstraint(QLayout::SetFixedSize);

    const QFont labelFont = smallFont(QFont::DemiBold);
    const QFont valueFont = smallFont(QFont::Normal);
    for (const InfoRow& row : rows_) {
        const int line = static_cast<int>(labels_.size());
        auto* label = new QLabel(row.label, this);
        label->setTextFormat(Qt::PlainText);
        label->setFont(labelFont);
        // Painted in the palette's secondary text colour, following theme changes.
        label->setForegroundRole(QPalette::PlaceholderText);

        auto* value = new QLabel(row.value, this);
        value->setTextFormat(Qt::PlainText);
        value->setFont(valueFont);
        // Users copy figures out of the panel.
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);

        grid->addWidget(label, line, 0, Qt::AlignTrailing | Qt::AlignVCenter);
        grid->addWidget(value, line, 1, Qt::AlignLeading | Qt::AlignVCenter);
        labels_.push_back(label);
        values_.push_back(value);
    }
    grid->activate();
}

void InfoPanel::placeBeside(const QWidget* documentWindow) {
    const QWidget* window = documentWindow ? documentWindow->window() : nullptr;
    if (window && window->isVisible()) {
        const QRect frame = window->frameGeometry();
        move(frame.x() + frame.width() + kGapBesideWindow, frame.y());
        return;
    }
    QScreen* screen = window ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // Before the first showing the frame is not known yet; the panel itself is centred.
    QRect area = frameGeometry();
    area.moveCenter(screen->availableGeometry().center());
    move(area.topLeft());
}

void InfoPanel::bringToFront() {
    show();
    raise();
    activateWindow();
}

}  // namespace velarium::app
