// Block, sample and pixel buffers and video format descriptions: the rules
// the extensions rely on when they hand media to each other.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "platform/coremedia/BlockBuffer.h"
#include "platform/coremedia/PixelBuffer.h"
#include "platform/coremedia/SampleBuffer.h"
#include "platform/coremedia/VideoFormatDescription.h"

namespace velarium {
namespace {

TEST(VideoFormatDescription, RefusesNegativeDimensions) {
    VideoFormatDescriptionRef description;
    EXPECT_EQ(VideoFormatDescription::create(makeFourCharCode("ILBM"), -1, 200, {}, &description),
              kCMFormatDescriptionError_InvalidParameter);
    EXPECT_EQ(description, nullptr);
    EXPECT_EQ(VideoFormatDescription::create(makeFourCharCode("ILBM"), 0, 0, {}, &description), kNoErr);
}

TEST(BlockBuffer, CreationRefusesEmptyAndOutOfRangeData) {
    struct Case {
        std::size_t block, offset, data;
        OSStatus status;
    } cases[] = {
        {16, 0, 16, kNoErr},
        {16, 4, 12, kNoErr},
        {0, 0, 0, kCMBlockBufferBadLengthParameterErr},
        {16, 0, 0, kCMBlockBufferBadLengthParameterErr},
        {16, 16, 1, kCMBlockBufferBadOffsetParameterErr},
        {16, 4, 13, kCMBlockBufferBadLengthParameterErr},
    };
    for (const auto& c : cases) {
        BlockBufferRef buffer;
        EXPECT_EQ(BlockBuffer::createWithMemoryBlock(c.block, c.offset, c.data, 0, &buffer), c.status)
            << c.block << " " << c.offset << " " << c.data;
        EXPECT_EQ(buffer != nullptr, c.status == kNoErr);
    }
}

TEST(BlockBuffer, MemoryIsThereOnlyOnceAssured) {
    BlockBufferRef buffer;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(64, 0, 64, 0, &buffer), kNoErr);
    std::uint8_t* pointer = nullptr;
    EXPECT_EQ(buffer->getDataPointer(0, nullptr, nullptr, &pointer), kCMBlockBufferBadPointerParameterErr);
    std::uint8_t out[4];
    EXPECT_NE(buffer->copyDataBytes(0, 4, out), kNoErr);

    ASSERT_EQ(buffer->assureBlockMemory(), kNoErr);
    std::size_t atOffset = 0, total = 0;
    ASSERT_EQ(buffer->getDataPointer(8, &atOffset, &total, &pointer), kNoErr);
    EXPECT_EQ(atOffset, 56u);
    EXPECT_EQ(total, 64u);
    EXPECT_NE(pointer, nullptr);
}

TEST(BlockBuffer, CopiesStayInsideTheData) {
    BlockBufferRef buffer;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(20, 4, 16, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag, &buffer),
              kNoErr);
    std::uint8_t bytes[16];
    std::iota(bytes, bytes + 16, 1);
    ASSERT_EQ(buffer->replaceDataBytes(bytes, 0, 16), kNoErr);

    std::uint8_t out[16] = {};
    EXPECT_EQ(buffer->copyDataBytes(10, 6, out), kNoErr);
    EXPECT_EQ(out[0], 11);
    EXPECT_EQ(out[5], 16);
    EXPECT_EQ(buffer->copyDataBytes(10, 7, out), kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(buffer->copyDataBytes(17, 0, out), kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(buffer->copyDataBytes(0, 1, nullptr), kCMBlockBufferBadPointerParameterErr);
    EXPECT_EQ(buffer->replaceDataBytes(bytes, 1, 16), kCMBlockBufferBadLengthParameterErr);
}

TEST(BlockBuffer, LargeBlocksOfOneSizeAreRecycled) {
    constexpr std::size_t kFrame = 1280 * 720 * 4;
    auto dataOf = [](const BlockBufferRef& buffer) {
        std::uint8_t* data = nullptr;
        buffer->getDataPointer(0, nullptr, nullptr, &data);
        return data;
    };
    BlockBufferRef first;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(kFrame, 0, kFrame, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag, &first),
              kNoErr);
    std::uint8_t* memory = dataOf(first);
    first.reset();

    BlockBufferRef other, same;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(kFrame / 2, 0, kFrame / 2, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag,
                                                 &other),
              kNoErr);
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(kFrame, 0, kFrame, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag, &same),
              kNoErr);
    EXPECT_NE(dataOf(other), memory);
    EXPECT_EQ(dataOf(same), memory);
}

TEST(SampleBuffer, CreateReadyChecksItsArguments) {
    BlockBufferRef data;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(8, 0, 8, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag, &data),
              kNoErr);
    const SampleTimingInfo timing{MediaTime::make(3, 60), MediaTime::make(6, 60), MediaTime::make(6, 60)};
    const std::size_t sizes[2] = {4, 4};
    struct Case {
        const char* name;
        BlockBufferRef data;
        std::int64_t samples;
        std::size_t timingEntries, sizeEntries;
        OSStatus status;
    } cases[] = {
        {"one sample, one timing", data, 1, 1, 0, kNoErr},
        {"two samples, per-sample sizes", data, 2, 1, 2, kNoErr},
        {"no data for a sample", nullptr, 1, 1, 0, kCMSampleBufferError_RequiredParameterMissing},
        {"no data and no samples", nullptr, 0, 0, 0, kNoErr},
        {"negative count", data, -1, 0, 0, kCMSampleBufferError_InvalidEntryCount},
        {"three sizes for two samples", data, 2, 0, 3, kCMSampleBufferError_InvalidEntryCount},
    };
    for (const auto& c : cases) {
        SampleBufferRef buffer;
        EXPECT_EQ(SampleBuffer::createReady(c.data, nullptr, c.samples, c.timingEntries, &timing, c.sizeEntries, sizes,
                                            &buffer),
                  c.status)
            << c.name;
    }
}

TEST(SampleBuffer, SizesComeFromTheDataAndSharedTimingAddsUp) {
    BlockBufferRef data;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(256000, 0, 256000, 0, &data), kNoErr);
    const SampleTimingInfo timing{MediaTime::make(1, 25), MediaTime::make(4, 60), MediaTime::make(4, 60)};
    SampleBufferRef sample;
    ASSERT_EQ(SampleBuffer::createReady(data, nullptr, 1, 1, &timing, 0, nullptr, &sample), kNoErr);
    EXPECT_EQ(sample->totalSampleSize(), 256000u);
    EXPECT_EQ(sample->sampleSize(0), 256000u);

    // One timing entry for three samples: each lasts the entry's duration.
    SampleBufferRef shared;
    ASSERT_EQ(SampleBuffer::createReady(data, nullptr, 3, 1, &timing, 0, nullptr, &shared), kNoErr);
    EXPECT_EQ(shared->duration(), MediaTime::make(3, 25));
}

TEST(PixelBuffer, RowsArePaddedToTheAlignment) {
    struct Case {
        std::size_t width, alignment, bytesPerRow;
    } cases[] = {{320, 0, 1280}, {320, 64, 1280}, {100, 64, 448}, {37, 16, 160}, {1, 1, 4}};
    for (const auto& c : cases) {
        PixelBufferRef buffer;
        ASSERT_EQ(PixelBuffer::create(c.width, 3, kCVPixelFormatType_32BGRA, c.alignment, &buffer), kCVReturnSuccess);
        EXPECT_EQ(buffer->bytesPerRow(), c.bytesPerRow) << c.width << " aligned to " << c.alignment;
        EXPECT_EQ(buffer->dataSize(), c.bytesPerRow * 3);
    }
}

TEST(PixelBuffer, RefusesUnknownFormatsAndSizes) {
    PixelBufferRef buffer;
    EXPECT_EQ(PixelBuffer::create(16, 16, makeFourCharCode("2vuy"), 0, &buffer), kCVReturnInvalidPixelFormat);
    EXPECT_EQ(PixelBuffer::create(0, 16, kCVPixelFormatType_32BGRA, 0, &buffer), kCVReturnInvalidSize);
    EXPECT_EQ(PixelBuffer::create(70000, 16, kCVPixelFormatType_32BGRA, 0, &buffer), kCVReturnInvalidSize);
    std::uint8_t memory[64];
    EXPECT_EQ(PixelBuffer::createWithBytes(4, 4, kCVPixelFormatType_32BGRA, memory, 15, {}, &buffer),
              kCVReturnInvalidSize);
    EXPECT_EQ(PixelBuffer::createWithBytes(4, 4, kCVPixelFormatType_32BGRA, nullptr, 16, {}, &buffer),
              kCVReturnInvalidArgument);
    EXPECT_EQ(buffer, nullptr);
}

TEST(PixelBuffer, BaseAddressOnlyWhileLocked) {
    PixelBufferRef buffer;
    ASSERT_EQ(PixelBuffer::create(8, 8, kCVPixelFormatType_32BGRA, 0, &buffer), kCVReturnSuccess);
    EXPECT_EQ(buffer->baseAddress(), nullptr);
    ASSERT_EQ(buffer->lockBaseAddress(0), kCVReturnSuccess);
    ASSERT_EQ(buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
    EXPECT_NE(buffer->baseAddress(), nullptr);
    EXPECT_EQ(buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly), kCVReturnSuccess);
    EXPECT_NE(buffer->baseAddress(), nullptr);
    EXPECT_EQ(buffer->unlockBaseAddress(0), kCVReturnSuccess);
    EXPECT_EQ(buffer->baseAddress(), nullptr);
    EXPECT_EQ(buffer->unlockBaseAddress(0), kCVReturnError);
    EXPECT_EQ(buffer->lockBaseAddress(0x10), kCVReturnInvalidArgument);
    EXPECT_FALSE(buffer->isLocked());
}

}  // namespace
}  // namespace velarium
