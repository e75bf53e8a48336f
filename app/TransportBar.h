#pragma once

#include <QStyle>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "platform/coremedia/MediaTime.h"

class QLabel;
class QSlider;
class QToolButton;

namespace velarium::app {

// The player's controls: first frame, step back, play/pause, step forward,
// last frame, a scrubber over the frames (a click on its track jumps there), the frame counter with the time,
// and the shown frame's own duration. Its controls never take keyboard
// focus, so Space and the arrow keys always reach the player's shortcuts.
class TransportBar : public QWidget {
    Q_OBJECT
public:
    explicit TransportBar(QWidget* parent = nullptr);

    // Also reserves room for the longest counter and duration texts of the
    // animation (`frameDurations`: each distinct frame duration), so that
    // the bar's minimum width is known before the first frame and does not
    // change while it plays.
    void setFrameCount(std::uint64_t count, const MediaTime& totalDuration,
                       const std::vector<MediaTime>& frameDurations);
    void showFrame(std::uint64_t index, const MediaTime& presentationTime, const MediaTime& duration);
    void setPlaying(bool playing);
    void setControlsEnabled(bool enabled);
    bool isScrubbing() const;

    // "12 / 36 · 1.100 s / 3.600 s": the frame at `index` numbered from 1,
    // as people count, against the frame count, then the frame's time
    // against the total, in seconds to the millisecond.
    static QString counterText(std::uint64_t index, std::uint64_t count, const MediaTime& time,
                               const MediaTime& total);
    // "6 jiffies · 100 ms": a frame's duration in 1/60 s and milliseconds.
    static QString durationText(const MediaTime& duration);

    QToolButton* playPauseButton() const { return playPause_; }
    QLabel* counterLabel() const { return counter_; }
    QLabel* durationLabel() const { return duration_; }
    // The view's zoom, which the player view keeps up to date.
    QLabel* zoomLabel() const { return zoom_; }
    QSlider* scrubber() const { return scrubber_; }

signals:
    void playPauseRequested();
    void stepRequested(int count);
    void firstFrameRequested();
    void lastFrameRequested();
    void scrubStarted();
    void scrubbedToFrame(std::uint64_t index);
    void scrubFinished();

private:
    QToolButton* addButton(QStyle::StandardPixmap icon, const QString& toolTip);
    static void reserveWidth(QLabel* label, const QString& widestText);

    QToolButton* playPause_;
    QSlider* scrubber_;
    QLabel* counter_;
    QLabel* duration_;
    QLabel* zoom_;
    std::uint64_t count_ = 0;
    MediaTime total_ = MediaTime::zero();
};

}  // namespace velarium::app
