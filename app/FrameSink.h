#pragma once

#include <QImage>
#include <QObject>

#include <cstdint>
#include <mutex>

#include "platform/playback/VideoSink.h"

namespace velarium::app {

// A presented frame as the window shows it: the decoder's pixel buffer
// wrapped, not copied, in a QImage that keeps the buffer alive.
struct DisplayedFrame {
    QImage image;
    PresentedFrame frame;
};

// How frames crossed from the player to the screen.
struct FrameHandOffStatistics {
    std::uint64_t received = 0;    // handed over by the player
    std::uint64_t delivered = 0;   // reached the main thread
    std::uint64_t superseded = 0;  // replaced by a newer frame before the main thread took it
};

// Where a player hands its frames to the user interface. The player calls
// presentPixelBuffer on its playback thread (or on the main thread for seeks
// and steps); the sink keeps only the newest frame and wakes the main thread,
// which takes it and emits frameArrived. Lives on the main thread.
class FrameSink final : public QObject, public VideoSink {
    Q_OBJECT
public:
    FrameSink() = default;
    void presentPixelBuffer(const PixelBufferRef& pixelBuffer, const PresentedFrame& frame) override;
    FrameHandOffStatistics statistics() const;

    // Wraps a BGRA pixel buffer as an image without copying its pixels.
    static QImage imageForPixelBuffer(const PixelBufferRef& pixelBuffer);

signals:
    void frameArrived(const velarium::app::DisplayedFrame& frame);

private:
    void deliverPendingFrame();

    mutable std::mutex mutex_;
    PixelBufferRef pendingBuffer_;
    PresentedFrame pendingFrame_;
    bool deliveryScheduled_ = false;
    FrameHandOffStatistics statistics_;
};

}  // namespace velarium::app

Q_DECLARE_METATYPE(velarium::app::DisplayedFrame)
