#include "platform/mediaextension/MEVideoDecoderPixelBufferManager.h"

#include <new>
#include <vector>

#include "platform/coremedia/CoreMediaStatus.h"

namespace velarium {

// Released memory blocks of one size, waiting to be handed out again.
struct MEVideoDecoderPixelBufferManager::Pool {
    std::mutex mutex;
    std::size_t blockSize = 0;
    std::size_t capacity = 0;
    std::vector<std::uint8_t*> blocks;

    ~Pool() {
        for (auto* block : blocks) delete[] block;
    }

    std::uint8_t* take(std::size_t size) {
        std::lock_guard<std::mutex> guard(mutex);
        if (size != blockSize) {
            for (auto* block : blocks) delete[] block;
            blocks.clear();
            blockSize = size;
        }
        if (!blocks.empty()) {
            std::uint8_t* block = blocks.back();
            blocks.pop_back();
            return block;
        }
        return new (std::nothrow) std::uint8_t[size]();
    }

    void give(std::uint8_t* block, std::size_t size) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (size == blockSize && blocks.size() < capacity) {
                blocks.push_back(block);
                return;
            }
        }
        delete[] block;
    }
};

namespace {

std::size_t roundUp(std::size_t value, std::size_t alignment) {
    return alignment > 1 ? (value + alignment - 1) / alignment * alignment : value;
}

Error statusError(CVReturn status, const char* text) { return Error(kOSStatusErrorDomain, status, text); }

}  // namespace

MEVideoDecoderPixelBufferManager::MEVideoDecoderPixelBufferManager() : MEVideoDecoderPixelBufferManager(Options{}) {}

MEVideoDecoderPixelBufferManager::MEVideoDecoderPixelBufferManager(const Options& options)
    : options_(options), pool_(std::make_shared<Pool>()) {
    pool_->capacity = options.poolCapacity;
}

MEVideoDecoderPixelBufferManager::~MEVideoDecoderPixelBufferManager() = default;

void MEVideoDecoderPixelBufferManager::setPixelBufferAttributes(const Dictionary& attributes) {
    std::lock_guard<std::mutex> guard(mutex_);
    attributes_ = attributes;
}

Dictionary MEVideoDecoderPixelBufferManager::pixelBufferAttributes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return attributes_;
}

PixelBufferRef MEVideoDecoderPixelBufferManager::createPixelBufferAndReturnError(Error* error) {
    const Dictionary attributes = pixelBufferAttributes();
    const auto width = dictionaryInteger(attributes, kCVPixelBufferWidthKey);
    const auto height = dictionaryInteger(attributes, kCVPixelBufferHeightKey);
    const auto format = dictionaryInteger(attributes, kCVPixelBufferPixelFormatTypeKey);
    if (!width || !height || !format || *width <= 0 || *height <= 0 || *format < 0 || *format > 0xFFFFFFFFll) {
        fail(error, statusError(kCVReturnInvalidPixelBufferAttributes,
                                "Pixel buffer attributes give no usable width, height and pixel format"));
        return nullptr;
    }
    const auto pixelFormat = static_cast<FourCharCode>(*format);
    const std::size_t pixelBytes = PixelBuffer::bytesPerPixel(pixelFormat);
    if (pixelBytes == 0) {
        fail(error, statusError(kCVReturnInvalidPixelFormat, "Unsupported pixel format"));
        return nullptr;
    }

    std::size_t alignment = options_.bytesPerRowAlignment;
    if (auto requested = dictionaryInteger(attributes, kCVPixelBufferBytesPerRowAlignmentKey);
        requested && *requested > static_cast<std::int64_t>(alignment) && *requested <= 4096)
        alignment = static_cast<std::size_t>(*requested);

    const auto w = static_cast<std::size_t>(*width);
    const auto h = static_cast<std::size_t>(*height);
    std::size_t rowBytes = 0, size = 0;
    if (__builtin_mul_overflow(w, pixelBytes, &rowBytes) ||
        __builtin_add_overflow(rowBytes, options_.extraBytesPerRow, &rowBytes) ||
        __builtin_mul_overflow(roundUp(rowBytes, alignment), h, &size)) {
        fail(error, statusError(kCVReturnInvalidSize, "Failed to create pixel buffer"));
        return nullptr;
    }
    rowBytes = roundUp(rowBytes, alignment);

    std::uint8_t* memory = pool_->take(size);
    if (!memory) {
        fail(error, statusError(kCVReturnAllocationFailed, "Failed to create pixel buffer"));
        return nullptr;
    }
    std::weak_ptr<Pool> pool = pool_;
    auto giveBack = [pool, size](std::uint8_t* bytes) {
        if (auto alive = pool.lock())
            alive->give(bytes, size);
        else
            delete[] bytes;
    };
    PixelBufferRef buffer;
    const CVReturn status = PixelBuffer::createWithBytes(w, h, pixelFormat, memory, rowBytes, giveBack, &buffer);
    if (status != kCVReturnSuccess) {
        giveBack(memory);
        fail(error, statusError(status, "Failed to create pixel buffer"));
        return nullptr;
    }
    return buffer;
}

}  // namespace velarium
