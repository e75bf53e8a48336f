// Block buffers, which carry each decoded frame from the format reader to
// the video decoder: nothing is read or written outside their data.
#include <gtest/gtest.h>

#include <numeric>

#include "platform/coremedia/BlockBuffer.h"

namespace velarium {
namespace {

TEST(BlockBuffer, CreationAndCopiesStayInsideTheData) {
    const struct {
        std::size_t block, offset, data;
        OSStatus status;
    } creations[] = {
        {16, 0, 16, kNoErr}, {16, 4, 12, kNoErr}, {0, 0, 0, kCMBlockBufferBadLengthParameterErr},
        {16, 0, 0, kCMBlockBufferBadLengthParameterErr}, {16, 16, 1, kCMBlockBufferBadOffsetParameterErr},
        {16, 4, 13, kCMBlockBufferBadLengthParameterErr},
    };
    for (const auto& c : creations) {
        BlockBufferRef buffer;
        EXPECT_EQ(BlockBuffer::createWithMemoryBlock(c.block, c.offset, c.data, 0, &buffer), c.status)
            << c.block << " " << c.offset << " " << c.data;
        EXPECT_EQ(buffer != nullptr, c.status == kNoErr);
    }

    BlockBufferRef buffer;
    ASSERT_EQ(BlockBuffer::createWithMemoryBlock(20, 4, 16, 0, &buffer), kNoErr);
    std::uint8_t bytes[16], out[16] = {};
    std::iota(bytes, bytes + 16, 1);
    EXPECT_NE(buffer->copyDataBytes(0, 4, out), kNoErr) << "memory that was never assured";
    ASSERT_EQ(buffer->assureBlockMemory(), kNoErr);
    ASSERT_EQ(buffer->replaceDataBytes(bytes, 0, 16), kNoErr);
    EXPECT_EQ(buffer->copyDataBytes(10, 6, out), kNoErr);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(buffer->copyDataBytes(10, 7, out), kCMBlockBufferBadLengthParameterErr);
    EXPECT_EQ(buffer->copyDataBytes(17, 0, out), kCMBlockBufferBadOffsetParameterErr);
    EXPECT_EQ(buffer->copyDataBytes(0, 1, nullptr), kCMBlockBufferBadPointerParameterErr);
    EXPECT_EQ(buffer->replaceDataBytes(bytes, 1, 16), kCMBlockBufferBadLengthParameterErr);
}

}  // namespace
}  // namespace velarium
