// Damaged animations, made as the core's robustness tests make them, through
// decodebin with the file pulled and pushed in turn: every pipeline ends, with
// an error or the end of the stream, in bounded time. A file the format reader
// refuses gives its sentence on the bus; one it takes that holds no picture is
// refused by the demuxer in its own words.
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include "Pipeline.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/Registration.h"
#include "support/AnimationDamage.h"
#include "support/Corpus.h"
#include "support/IFFWriter.h"
#include "support/MemoryByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium::gsttest {
namespace {

using testing::ByteVector;

// Every this many-th damaged copy is played: the core's tests decode every
// one; here what is tested is how the elements end a broken stream.
constexpr std::size_t kStride = 11;

// The format reader's verdict on a file: its error text when it refuses it.
std::optional<std::string> formatReaderRefusal(const ByteVector& bytes) {
    static const bool loaded = registerFormatReaders({VELARIUM_TEST_EXTENSION_FOLDER});
    auto extension = loaded ? ExtensionRegistry::shared().formatReaderForTypeIdentifier("com.amiga.anim") : nullptr;
    Error error;
    const auto source = std::make_shared<testing::MemoryByteSource>(bytes);
    if (!extension || extension->formatReaderWithByteSource(source, {}, &error)) return std::nullopt;
    return error.localizedDescription;
}

// Plays a damaged file, which must end in time; the error of one of our elements, if any.
std::optional<BusError> playDamaged(const testing::TemporaryFolder& folder, const ByteVector& bytes,
                                    Scheduling scheduling) {
    Pipeline pipeline(decodingPipeline(folder.write("damaged.anim", bytes), scheduling), /*hashFrames=*/false);
    EXPECT_TRUE(pipeline.runToEnd()) << "neither an error nor the end of the stream in time";
    const auto error = pipeline.error();
    if (!error || (error->sourceFactory != "velariumdemux" && error->sourceFactory != "velariumdec")) return {};
    EXPECT_FALSE(error->message.empty());
    if (const auto refusal = formatReaderRefusal(bytes); refusal && error->sourceFactory == "velariumdemux") {
        EXPECT_EQ(error->message, *refusal);
        EXPECT_FALSE(error->extensionDomain.empty());
    }
    return error;
}

class DamagedInputTest : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(DamagedInputTest, EveryPipelineEndsWithAnErrorOrTheEndOfTheStream) {
    const auto file = testing::readFileBytes(GetParam().file);
    const testing::TemporaryFolder folder;
    std::size_t index = 0;
    testing::AnimationDamage(file, testing::AnimationDamage::seedFor(GetParam().name))
        .forEachMutant([&](const ByteVector& mutant) {
            const std::size_t copy = index++;
            if (copy % kStride != 0 || HasFatalFailure()) return;
            const Scheduling scheduling = copy / kStride % 2 == 0 ? Scheduling::pull : Scheduling::push;
            SCOPED_TRACE("damaged copy " + std::to_string(copy) + ", " + name(scheduling));
            playDamaged(folder, mutant, scheduling);
        });
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedInputTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DamagedInputTest);

// Files that say they are animations but are not quite, each played with
// the file pulled and pushed.
TEST(DamagedInput, FilesThatAreNoAnimationsEndWithAnErrorOfTheDemuxer) {
    using namespace testing;
    const ByteVector picture = chunk("BODY", ByteVector(2, 0x55));
    const ByteVector colours = cmap({0x000000, 0xFFFFFF});
    ByteVector firstFormEmpty = animFile({form("ILBM", {bmhd({}), colours, picture})});
    firstFormEmpty[16] = firstFormEmpty[17] = firstFormEmpty[18] = firstFormEmpty[19] = 0;  // its size
    const struct {
        const char* what;
        ByteVector file;
        bool readerRefuses;  // otherwise the demuxer does
    } cases[] = {
        {"no frames at all", animFile({}), true},
        {"no picture form", animFile({chunk("ANNO", ByteVector(8, 'x'))}), true},
        {"a first frame whose form is empty", firstFormEmpty, true},
        {"a picture too large", animFile({form("ILBM", {bmhd({.width = 60000, .height = 60000}), colours, picture})}),
         true},
        {"a picture of no pixels", animFile({form("ILBM", {bmhd({.width = 0, .height = 0}), colours, picture})}),
         false},
    };
    const TemporaryFolder folder;
    for (const auto& c : cases) {
        ASSERT_EQ(formatReaderRefusal(c.file).has_value(), c.readerRefuses) << c.what;
        for (const Scheduling scheduling : {Scheduling::pull, Scheduling::push}) {
            SCOPED_TRACE(std::string(c.what) + ", " + name(scheduling));
            const auto error = playDamaged(folder, c.file, scheduling);
            ASSERT_TRUE(error) << "the stream ended without an error of ours";
            EXPECT_EQ(error->sourceFactory, "velariumdemux") << describe(error);
        }
    }
}

// The decoder on its own, fed samples that do not fit what the caps say.
TEST(DamagedInput, SamplesTheDecoderCannotTakeEndWithItsError) {
    const struct {
        const char* what;
        const char* caps;
        std::size_t sampleBytes;
        const char* domain;  // of the error: the extension's, or the element's own
    } cases[] = {
        {"a sample shorter than its picture", "codec-type=ILBM,width=4,height=4", 10, "MediaExtensionErrorDomain"},
        {"caps without a codec type", "width=4,height=4", 64, "com.brackwater.Velarium.gstreamer"},
        {"a codec type no extension serves", "codec-type=XXXX,width=4,height=4", 64,
         "com.brackwater.Velarium.extensions"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pipeline pipeline(std::string("appsrc name=source format=time caps=\"video/x-velarium-ilbm,framerate=0/1,") +
                          c.caps + "\" ! velariumdec ! appsink name=sink");
        const ElementRef source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
        pipeline.play();
        const ByteVector sample(c.sampleBytes, 0x7F);
        gst_app_src_push_buffer(GST_APP_SRC(source.get()), gst_buffer_new_memdup(sample.data(), sample.size()));
        gst_app_src_end_of_stream(GST_APP_SRC(source.get()));
        ASSERT_TRUE(pipeline.takeFrames()) << "neither an error nor the end of the stream in time";
        const auto error = pipeline.error();
        ASSERT_TRUE(error) << "the stream ended without an error";
        EXPECT_FALSE(error->message.empty());
        EXPECT_EQ(error->sourceFactory + " " + error->extensionDomain, std::string("velariumdec ") + c.domain);
    }
}

}  // namespace
}  // namespace velarium::gsttest
