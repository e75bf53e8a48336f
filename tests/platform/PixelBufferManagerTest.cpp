// The host's pixel buffer manager: rows laid out as the host asks, and
// memory that outlives the manager once handed out.
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
    const struct {
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
        EXPECT_EQ(buffer->bytesPerRow(), c.bytesPerRow) << c.width << " / " << c.alignment << " + " << c.extra;
    }
}

// A window may hold the last frame after its document, and the manager,
// have gone.
TEST(PixelBufferManager, ReleasedMemoryIsReusedAndOutlivesTheManager) {
    auto manager = std::make_unique<MEVideoDecoderPixelBufferManager>(MEVideoDecoderPixelBufferManager::Options{1, 0, 1});
    manager->setPixelBufferAttributes(bgraAttributes(8, 8));
    auto baseOf = [](const PixelBufferRef& buffer) {
        buffer->lockBaseAddress(0);
        std::uint8_t* base = buffer->baseAddress();
        buffer->unlockBaseAddress(0);
        return base;
    };
    PixelBufferRef first = manager->createPixelBufferAndReturnError(nullptr);
    ASSERT_NE(first, nullptr);
    std::uint8_t* memory = baseOf(first);
    first.reset();
    PixelBufferRef second = manager->createPixelBufferAndReturnError(nullptr);
    PixelBufferRef third = manager->createPixelBufferAndReturnError(nullptr);
    EXPECT_EQ(baseOf(second), memory);
    EXPECT_NE(baseOf(third), memory);

    manager.reset();
    ASSERT_EQ(second->lockBaseAddress(0), kCVReturnSuccess);
    second->baseAddress()[0] = 1;
    second->unlockBaseAddress(0);
}

}  // namespace
}  // namespace velarium
