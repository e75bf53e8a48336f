#include "app/TransportBar.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace velarium::app {
namespace {

constexpr int kJiffiesPerSecond = 60;
// Narrower than this, a scrubber over a few dozen frames cannot be aimed.
constexpr int kScrubberMinimumWidth = 120;

QString seconds(const MediaTime& time) {
    return QString::number(time.isValid() ? time.seconds() : 0.0, 'f', 3) + QStringLiteral(" s");
}

// A figure with at most one decimal, without a trailing ".0".
QString shortNumber(double value) {
    const double rounded = std::round(value * 10) / 10;
    return QString::number(rounded, 'f', rounded == std::round(rounded) ? 0 : 1);
}

// A click on a slider's track moves the handle there and grabs it, rather
// than paging towards the click: a frame is chosen by pointing at it.
class JumpToClickStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton | Qt::MiddleButton;
        if (hint == SH_Slider_PageSetButtons) return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

TransportBar::TransportBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    QToolButton* first = addButton(QStyle::SP_MediaSkipBackward, tr("First Frame (Home)"));
    QToolButton* back = addButton(QStyle::SP_MediaSeekBackward, tr("Step Backward (Left)"));
    playPause_ = addButton(QStyle::SP_MediaPlay, tr("Play (Space)"));
    QToolButton* forward = addButton(QStyle::SP_MediaSeekForward, tr("Step Forward (Right)"));
    QToolButton* last = addButton(QStyle::SP_MediaSkipForward, tr("Last Frame (End)"));
    for (QToolButton* button : {first, back, playPause_, forward, last}) layout->addWidget(button);

    scrubber_ = new QSlider(Qt::Horizontal, this);
    scrubber_->setFocusPolicy(Qt::NoFocus);
    scrubber_->setRange(0, 0);
    scrubber_->setTracking(true);
    scrubber_->setMinimumWidth(kScrubberMinimumWidth);
    // A copy of the application's style, which the proxy owns.
    auto* jumpStyle = new JumpToClickStyle(QStyleFactory::create(style()->name()));
    jumpStyle->setParent(scrubber_);
    scrubber_->setStyle(jumpStyle);
    layout->addWidget(scrubber_, 1);

    const QFont figures = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    counter_ = new QLabel(this);
    counter_->setFont(figures);
    duration_ = new QLabel(this);
    duration_->setFont(figures);
    duration_->setForegroundRole(QPalette::PlaceholderText);
    zoom_ = new QLabel(this);
    zoom_->setFont(figures);
    zoom_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    reserveWidth(zoom_, tr("%1×").arg(88));
    layout->addWidget(counter_);
    layout->addWidget(duration_);
    layout->addWidget(zoom_);

    connect(first, &QToolButton::clicked, this, &TransportBar::firstFrameRequested);
    connect(back, &QToolButton::clicked, this, [this] { emit stepRequested(-1); });
    connect(playPause_, &QToolButton::clicked, this, &TransportBar::playPauseRequested);
    connect(forward, &QToolButton::clicked, this, [this] { emit stepRequested(1); });
    connect(last, &QToolButton::clicked, this, &TransportBar::lastFrameRequested);
    connect(scrubber_, &QSlider::sliderPressed, this, &TransportBar::scrubStarted);
    connect(scrubber_, &QSlider::sliderReleased, this, &TransportBar::scrubFinished);
    // Dragging, clicking into the groove and the wheel all move the value.
    connect(scrubber_, &QSlider::valueChanged, this,
            [this](int value) { emit scrubbedToFrame(static_cast<std::uint64_t>(value)); });
    setControlsEnabled(false);
}

void TransportBar::reserveWidth(QLabel* label, const QString& widestText) {
    const QString shown = label->text();
    label->setMinimumWidth(0);
    label->setText(widestText);
    const int width = label->sizeHint().width();
    label->setText(shown);
    label->setMinimumWidth(width);
}

QToolButton* TransportBar::addButton(QStyle::StandardPixmap icon, const QString& toolTip) {
    auto* button = new QToolButton(this);
    button->setIcon(style()->standardIcon(icon));
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TransportBar::setFrameCount(std::uint64_t count, const MediaTime& totalDuration,
                                 const std::vector<MediaTime>& frameDurations) {
    count_ = count;
    total_ = totalDuration;
    // The labels' font is fixed-pitch: the text with the most characters is
    // the widest. For the counter that is the last frame's.
    reserveWidth(counter_, counterText(count > 0 ? count - 1 : 0, count, totalDuration, totalDuration));
    QString longestDuration;
    for (const MediaTime& duration : frameDurations) {
        const QString text = durationText(duration);
        if (text.size() > longestDuration.size()) longestDuration = text;
    }
    reserveWidth(duration_, longestDuration);
    const QSignalBlocker quiet(scrubber_);
    scrubber_->setRange(0, count > 0 ? static_cast<int>(count - 1) : 0);
    scrubber_->setPageStep(std::max(1, static_cast<int>(count / 10)));
}

void TransportBar::showFrame(std::uint64_t index, const MediaTime& presentationTime, const MediaTime& duration) {
    counter_->setText(counterText(index, count_, presentationTime, total_));
    duration_->setText(durationText(duration));
    if (!scrubber_->isSliderDown()) {
        const QSignalBlocker quiet(scrubber_);
        scrubber_->setValue(static_cast<int>(index));
    }
}

void TransportBar::setPlaying(bool playing) {
    playPause_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    playPause_->setToolTip(playing ? tr("Pause (Space)") : tr("Play (Space)"));
}

void TransportBar::setControlsEnabled(bool enabled) {
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child != counter_ && child != duration_) child->setEnabled(enabled);
}

bool TransportBar::isScrubbing() const { return scrubber_->isSliderDown(); }

QString TransportBar::counterText(std::uint64_t index, std::uint64_t count, const MediaTime& time,
                                  const MediaTime& total) {
    return QStringLiteral("%1 / %2 · %3 / %4").arg(index + 1).arg(count).arg(seconds(time), seconds(total));
}

QString TransportBar::durationText(const MediaTime& duration) {
    if (!duration.isValid()) return {};
    const double jiffies = duration.seconds() * kJiffiesPerSecond;
    const QString jiffyText = shortNumber(jiffies) == QLatin1String("1") ? tr("1 jiffy")
                                                                          : tr("%1 jiffies").arg(shortNumber(jiffies));
    return QStringLiteral("%1 · %2 ms").arg(jiffyText, shortNumber(duration.seconds() * 1000));
}

}  // namespace velarium::app
