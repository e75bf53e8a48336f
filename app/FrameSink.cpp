#include "app/FrameSink.h"

#include <QMetaObject>

namespace velarium::app {
namespace {

// Keeps a pixel buffer locked and alive for as long as an image shows it.
struct LockedPixelBuffer {
    PixelBufferRef buffer;
    explicit LockedPixelBuffer(PixelBufferRef b) : buffer(std::move(b)) {
        buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly);
    }
    ~LockedPixelBuffer() { buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly); }
};

void releaseLockedPixelBuffer(void* info) { delete static_cast<LockedPixelBuffer*>(info); }

}  // namespace

QImage FrameSink::imageForPixelBuffer(const PixelBufferRef& pixelBuffer) {
    if (!pixelBuffer || pixelBuffer->pixelFormatType() != kCVPixelFormatType_32BGRA) return {};
    auto* locked = new LockedPixelBuffer(pixelBuffer);
    // Bytes blue, green, red, alpha are a little-endian 0xAARRGGBB word:
    // QImage's ARGB32, unpremultiplied like the frames.
    return QImage(pixelBuffer->baseAddress(), static_cast<int>(pixelBuffer->width()),
                  static_cast<int>(pixelBuffer->height()), static_cast<qsizetype>(pixelBuffer->bytesPerRow()),
                  QImage::Format_ARGB32, releaseLockedPixelBuffer, locked);
}

void FrameSink::presentPixelBuffer(const PixelBufferRef& pixelBuffer, const PresentedFrame& frame) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++statistics_.received;
        if (pendingBuffer_) ++statistics_.superseded;
        pendingBuffer_ = pixelBuffer;
        pendingFrame_ = frame;
        if (deliveryScheduled_) return;
        deliveryScheduled_ = true;
    }
    // A posted call to an object that is deleted first is dropped with it.
    QMetaObject::invokeMethod(this, &FrameSink::deliverPendingFrame, Qt::QueuedConnection);
}

void FrameSink::deliverPendingFrame() {
    DisplayedFrame displayed;
    PixelBufferRef buffer;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        deliveryScheduled_ = false;
        if (!pendingBuffer_) return;
        buffer = std::move(pendingBuffer_);
        pendingBuffer_.reset();
        displayed.frame = pendingFrame_;
        ++statistics_.delivered;
    }
    displayed.image = imageForPixelBuffer(buffer);
    emit frameArrived(displayed);
}

FrameHandOffStatistics FrameSink::statistics() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return statistics_;
}

}  // namespace velarium::app
