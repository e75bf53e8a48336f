// Dapple: refusing foreign codecs, copying pictures into pixel buffers of any
// size and row stride, refusing short samples, and calling every completion
// handler exactly once before returning.
#include <gtest/gtest.h>

#include <numeric>

#include "decoder-extension/ANIMVideoDecoder.h"
#include "decoder-extension/ANIMVideoDecoderFactory.h"
#include "platform/mediaextension/MediaExtensionError.h"
#include "support/ErrorPrinting.h"
#include "support/Hashing.h"

namespace velarium {
namespace {

using testing::packedPixels;

VideoFormatDescriptionRef ilbmDescription(std::int32_t width, std::int32_t height) {
    VideoFormatDescriptionRef description;
    VideoFormatDescription::create(makeFourCharCode("ILBM"), width, height, {}, &description);
    return description;
}

// A block of `length` bytes counting up from `seed`.
BlockBufferRef blockOf(std::size_t length, std::uint8_t seed = 1) {
    BlockBufferRef block;
    BlockBuffer::createWithMemoryBlock(length, 0, length, BlockBuffer::kCMBlockBufferAssureMemoryNowFlag, &block);
    std::vector<std::uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), seed);
    block->replaceDataBytes(bytes.data(), 0, length);
    return block;
}

SampleBufferRef sampleWith(BlockBufferRef block, std::int64_t samples = 1) {
    const SampleTimingInfo timing{MediaTime::make(1, 60), MediaTime::zero(), MediaTime::zero()};
    SampleBufferRef sample;
    SampleBuffer::createReady(std::move(block), nullptr, samples, 1, &timing, 0, nullptr, &sample);
    return sample;
}

struct Decoded {
    int calls = 0;
    PixelBufferRef buffer;
    MEDecodeFrameStatus status = 99;
    std::optional<Error> error;
};

Decoded decode(MEVideoDecoder& decoder, const SampleBufferRef& sample) {
    Decoded result;
    decoder.decodeFrameFromSampleBuffer(sample, {}, [&](PixelBufferRef buffer, MEDecodeFrameStatus status,
                                                        const Error* error) {
        ++result.calls;
        result.buffer = buffer;
        result.status = status;
        if (error) result.error = *error;
    });
    return result;
}

struct DecoderFixture {
    explicit DecoderFixture(std::int32_t width, std::int32_t height,
                            MEVideoDecoderPixelBufferManager::Options options = {1, 0, 2})
        : manager(std::make_shared<MEVideoDecoderPixelBufferManager>(options)) {
        decoder = factory.videoDecoderWithCodecType(makeFourCharCode("ILBM"), ilbmDescription(width, height), {},
                                                    manager, nullptr);
    }
    ANIMVideoDecoderFactory factory;
    std::shared_ptr<MEVideoDecoderPixelBufferManager> manager;
    MEVideoDecoderRef decoder;
};

TEST(ANIMVideoDecoderFactory, MakesDecodersForILBMOnlyAndSetsTheBufferAttributes) {
    ANIMVideoDecoderFactory factory;
    auto manager = std::make_shared<MEVideoDecoderPixelBufferManager>();
    const FourCharCode refused[] = {makeFourCharCode("avc1"), makeFourCharCode("BGRA"), makeFourCharCode("ilbm"), 0};
    for (FourCharCode codec : refused) {
        Error error;
        EXPECT_EQ(factory.videoDecoderWithCodecType(codec, ilbmDescription(8, 8), {}, manager, &error), nullptr);
        EXPECT_EQ(error, Error(kMediaExtensionErrorDomain, -19320, "")) << fourCharCodeString(codec);
    }
    EXPECT_TRUE(manager->pixelBufferAttributes().empty()) << "a refused request leaves the manager alone";
    Error error;
    EXPECT_EQ(factory.videoDecoderWithCodecType(makeFourCharCode("ILBM"), nullptr, {}, manager, &error), nullptr);
    EXPECT_EQ(error.code, -19320);

    DecoderFixture fixture(320, 200);
    ASSERT_NE(fixture.decoder, nullptr);
    EXPECT_EQ(fixture.manager->pixelBufferAttributes(),
              (Dictionary{{kCVPixelBufferWidthKey, std::int32_t(320)},
                          {kCVPixelBufferHeightKey, std::int32_t(200)},
                          {kCVPixelBufferPixelFormatTypeKey, std::int64_t(0x42475241)}}));
    int flushes = 0;
    fixture.decoder->flushWithCompletionHandler([&](const Error* flushError) {
        ++flushes;
        EXPECT_EQ(flushError, nullptr);
    });
    EXPECT_EQ(flushes, 1);
}

// The copy fills the pixel buffer's own width and height, row by row at its
// stride, from the start of the sample, and leaves each row's padding alone:
// a buffer smaller than the sample takes the sample's first bytes, and a
// sample smaller than the buffer fails the copy.
TEST(ANIMVideoDecoder, CopyFollowsThePixelBuffersSizeAndStride) {
    const struct {
        std::size_t width, height, stride, sampleBytes = 256000;
    } cases[] = {{320, 200, 1280}, {320, 200, 1281}, {320, 200, 1344}, {320, 200, 4096},
                 {8, 2, 32},       {8, 2, 40},       {320, 200, 1280, 255999}};
    DecoderFixture fixture(320, 200);
    auto& decoder = static_cast<ANIMVideoDecoder&>(*fixture.decoder);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", stride " << c.stride);
        const BlockBufferRef block = blockOf(c.sampleBytes);
        std::vector<std::uint8_t> memory(c.stride * c.height, 0xEE);
        PixelBufferRef buffer;
        ASSERT_EQ(PixelBuffer::createWithBytes(c.width, c.height, kCVPixelFormatType_32BGRA, memory.data(), c.stride,
                                               {}, &buffer),
                  kCVReturnSuccess);
        Error error;
        const bool fits = c.sampleBytes >= c.width * c.height * 4;
        EXPECT_EQ(decoder.copyBlockBuffer(*block, *buffer, &error), fits) << error.localizedDescription;
        EXPECT_FALSE(buffer->isLocked());
        if (!fits) {
            EXPECT_EQ(error, Error("BlockBufferError", -2, "Sample too small: 255999 bytes for 320x200 BGRA"));
            continue;
        }
        std::vector<std::uint8_t> expected(c.width * c.height * 4);
        block->copyDataBytes(0, expected.size(), expected.data());
        EXPECT_EQ(packedPixels(*buffer), expected);
        for (std::size_t row = 0; row < c.height; ++row)
            for (std::size_t i = c.width * 4; i < c.stride; ++i)
                ASSERT_EQ(memory[row * c.stride + i], 0xEE) << "padding of row " << row << " touched";
    }
}

// One decoder, in turn: the picture in padded rows (again after failures),
// which it keeps no reference to, or an internal failure; every time the
// handler is called once, with no status flags.
TEST(ANIMVideoDecoder, DecodeGivesThePictureInPaddedRowsOrAnInternalFailure) {
    const BlockBufferRef block = blockOf(37 * 29 * 4, 7);
    std::vector<std::uint8_t> picture(block->dataLength());
    block->copyDataBytes(0, picture.size(), picture.data());
    const struct {
        const char* name;
        SampleBufferRef sample;
        std::optional<Error> expected = std::nullopt;
        bool breakManager = false;
    } cases[] = {
        {"a picture", sampleWith(block)},
        {"the next picture", sampleWith(block)},
        {"no data buffer", sampleWith(nullptr, 0),
         Error(kMediaExtensionErrorDomain, -19324, "Sample buffer has no data buffer")},
        {"sample too small", sampleWith(blockOf(37 * 29 * 4 - 1)), Error(kMediaExtensionErrorDomain, -19324, "")},
        {"a picture after failures", sampleWith(block)},
        {"no pixel buffer to be had", sampleWith(block), Error(kMediaExtensionErrorDomain, -19324, ""), true},
    };
    DecoderFixture fixture(37, 29, {64, 0, 2});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.breakManager) fixture.manager->setPixelBufferAttributes({});
        const Decoded result = decode(*fixture.decoder, c.sample);
        EXPECT_EQ(result.calls, 1);
        EXPECT_EQ(result.status, 0u);
        EXPECT_EQ(result.error, c.expected);
        if (c.expected) {
            EXPECT_EQ(result.buffer, nullptr);
            continue;
        }
        ASSERT_NE(result.buffer, nullptr);
        EXPECT_EQ(result.buffer->bytesPerRow(), 192u);
        EXPECT_EQ(result.buffer->pixelFormatType(), kCVPixelFormatType_32BGRA);
        EXPECT_FALSE(result.buffer->isLocked());
        EXPECT_EQ(packedPixels(*result.buffer), picture);
        EXPECT_EQ(result.buffer.use_count(), 1) << "the decoder keeps no reference";
    }
}

}  // namespace
}  // namespace velarium
