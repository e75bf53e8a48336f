// The host's pixel buffer manager: buffers as the decoder described them,
// rows as the host lays them out, memory reused once released.
#include <gtest/gtest.h>

#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/mediaextension/MEVideoDecoderPixelBufferManager.h"

namespace velarium {
namespace {

Dictionary bgraAttributes(std::int32_t width, std::int32_t height) {
    return {{kCVPixelBufferWidthKey, width},
            {kCVPixelBufferHeightKey, height},
            {kCVPixelBufferPixelFormatTypeKey, std::int64_t(kCVPixelFormatType_32BGRA)}};
}

TEST(PixelBufferManager, LaysOutRowsAsTheHostAsks) {
    struct Case {
        std::size_t alignment, extra;
        std::int32_t width;
        std::size_t bytesPerRow;
    } cases[] = {{1, 0, 320, 1280}, {1, 64, 320, 1344}, {64, 0, 320, 1280}, {64, 0, 100, 448}, {16, 4, 37, 160}};
    for (const auto& c : cases) {
        MEVideoDecoderPixelBufferManager manager({c.alignment, c.extra, 2});
        manager.setPixelBufferAttributes(bgraAttributes(c.width, 3));
        Error error;
        PixelBufferRef buffer = manager.createPixelBufferAndReturnError(&error);
        ASSERT_NE(buffer, nullptr) << error.localizedDescription;
        EXPECT_EQ(buffer->width(), static_cast<std::size_t>(c.width));
        EXPECT_EQ(buffer->height(), 3u);
        EXPECT_EQ(buffer->pixelFormatType(), kCVPixelFormatType_32BGRA);
        EXPECT_EQ(buffer->bytesPerRow(), c.bytesPerRow) << c.width << " / " << c.alignment << " + " << c.extra;
    }
}

TEST(PixelBufferManager, AttributesThatDescribeNoBufferFail) {
    const Dictionary cases[] = {
        {},
        {{kCVPixelBufferWidthKey, std::int32_t(16)}, {kCVPixelBufferHeightKey, std::int32_t(16)}},
        bgraAttributes(0, 16),
        bgraAttributes(16, -1),
        {{kCVPixelBufferWidthKey, std::string("16")},
         {kCVPixelBufferHeightKey, std::int32_t(16)},
         {kCVPixelBufferPixelFormatTypeKey, std::int64_t(kCVPixelFormatType_32BGRA)}},
    };
    for (const auto& attributes : cases) {
        MEVideoDecoderPixelBufferManager manager;
        manager.setPixelBufferAttributes(attributes);
        Error error;
        EXPECT_EQ(manager.createPixelBufferAndReturnError(&error), nullptr);
        EXPECT_EQ(error.domain, kOSStatusErrorDomain);
        EXPECT_EQ(error.code, kCVReturnInvalidPixelBufferAttributes);
    }

    MEVideoDecoderPixelBufferManager manager;
    auto attributes = bgraAttributes(16, 16);
    attributes[kCVPixelBufferPixelFormatTypeKey] = std::int64_t(makeFourCharCode("2vuy"));
    manager.setPixelBufferAttributes(attributes);
    Error error;
    EXPECT_EQ(manager.createPixelBufferAndReturnError(&error), nullptr);
    EXPECT_EQ(error.code, kCVReturnInvalidPixelFormat);
}

TEST(PixelBufferManager, ReleasedMemoryIsReusedAndOutlivesTheManager) {
    auto manager = std::make_unique<MEVideoDecoderPixelBufferManager>(MEVideoDecoderPixelBufferManager::Options{1, 0, 1});
    manager->setPixelBufferAttributes(bgraAttributes(8, 8));
    PixelBufferRef first = manager->createPixelBufferAndReturnError(nullptr);
    ASSERT_NE(first, nullptr);
    first->lockBaseAddress(0);
    std::uint8_t* memory = first->baseAddress();
    first->unlockBaseAddress(0);
    first.reset();

    PixelBufferRef second = manager->createPixelBufferAndReturnError(nullptr);
    PixelBufferRef third = manager->createPixelBufferAndReturnError(nullptr);
    second->lockBaseAddress(0);
    third->lockBaseAddress(0);
    EXPECT_EQ(second->baseAddress(), memory);
    EXPECT_NE(third->baseAddress(), memory);
    second->unlockBaseAddress(0);
    third->unlockBaseAddress(0);

    // Buffers handed out stay usable after the manager is gone.
    manager.reset();
    ASSERT_EQ(second->lockBaseAddress(0), kCVReturnSuccess);
    second->baseAddress()[0] = 1;
    second->unlockBaseAddress(0);
}

}  // namespace
}  // namespace velarium
