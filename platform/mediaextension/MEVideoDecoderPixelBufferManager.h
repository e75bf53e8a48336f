#pragma once

#include <cstddef>
#include <memory>
#include <mutex>

#include "platform/coremedia/Dictionary.h"
#include "platform/coremedia/PixelBuffer.h"
#include "platform/foundation/Error.h"

namespace velarium {

// The host's source of output pixel buffers for a video decoder. The decoder
// states what it produces (width, height, pixel format) once; the host
// decides the row layout, so rows may be longer than width × 4 bytes. Memory
// of buffers that are released comes back to a small pool and is reused.
// Safe to use from several threads. A host whose pictures live in memory of
// its own (a media framework's video frames) overrides
// createPixelBufferAndReturnError to hand that memory out instead.
class MEVideoDecoderPixelBufferManager {
public:
    struct Options {
        std::size_t bytesPerRowAlignment = 64;  // rows rounded up to a multiple of this
        std::size_t extraBytesPerRow = 0;       // padding added before rounding
        std::size_t poolCapacity = 4;           // released buffers kept for reuse
    };

    MEVideoDecoderPixelBufferManager();
    explicit MEVideoDecoderPixelBufferManager(const Options& options);
    virtual ~MEVideoDecoderPixelBufferManager();
    MEVideoDecoderPixelBufferManager(const MEVideoDecoderPixelBufferManager&) = delete;
    MEVideoDecoderPixelBufferManager& operator=(const MEVideoDecoderPixelBufferManager&) = delete;

    void setPixelBufferAttributes(const Dictionary& attributes);
    Dictionary pixelBufferAttributes() const;

    // A new buffer conforming to the attributes, owned by the caller; null
    // with an error (status domain) when the attributes do not describe a
    // buffer or memory cannot be had.
    virtual PixelBufferRef createPixelBufferAndReturnError(Error* error);

    const Options& options() const { return options_; }

private:
    struct Pool;

    Options options_;
    mutable std::mutex mutex_;
    Dictionary attributes_;
    std::shared_ptr<Pool> pool_;
};

}  // namespace velarium
