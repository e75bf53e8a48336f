// Damaged animations, made the way the decoding core's robustness tests
// make them, through decodebin with the file pulled and pushed in turn:
// every pipeline ends, with an error or at the end of the stream, in
// bounded time and without crashing. Where the format reader refuses a
// file, the error on the bus is the reader's own sentence; files it takes
// but that hold no picture are refused by the demuxer in its own words.
#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "GstTestSupport.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/Registration.h"
#include "support/AnimationDamage.h"
#include "support/IFFWriter.h"
#include "support/MemoryByteSource.h"
#include "support/TemporaryFolder.h"

namespace velarium::gsttest {
namespace {

// Every this many-th damaged copy is played (all of them with
// VELARIUM_GST_DAMAGE_STRIDE=1): the core's own tests decode every copy;
// here each pipeline costs far more than the decoding, and what is tested is
// how the elements end a broken stream.
constexpr std::size_t kDefaultStride = 11;

std::size_t stride() {
    const char* text = std::getenv("VELARIUM_GST_DAMAGE_STRIDE");
    const long value = text ? std::atol(text) : 0;
    return value > 0 ? std::size_t(value) : kDefaultStride;
}

// The format reader's verdict on a file: its error text when it refuses it.
std::optional<std::string> formatReaderRefusal(const std::vector<std::uint8_t>& bytes) {
    static const bool loaded = registerFormatReaders({VELARIUM_TEST_EXTENSION_FOLDER});
    if (!loaded) return std::nullopt;
    auto extension = ExtensionRegistry::shared().formatReaderForTypeIdentifier("com.amiga.anim");
    if (!extension) return std::nullopt;
    Error error;
    if (extension->formatReaderWithByteSource(std::make_shared<testing::MemoryByteSource>(bytes), {}, &error))
        return std::nullopt;
    return error.localizedDescription;
}

bool isOurs(const BusError& error) {
    return error.sourceFactory == "velariumdemux" || error.sourceFactory == "velariumdec";
}

class DamagedInputTest : public ::testing::TestWithParam<testing::CorpusAnimation> {};

TEST_P(DamagedInputTest, EveryPipelineEndsWithAnErrorOrTheEndOfTheStream) {
    VELARIUM_REQUIRE_DECODEBIN();
    const auto file = testing::readFileBytes(GetParam().file);
    const testing::TemporaryFolder folder;
    const std::size_t every = stride();
    std::size_t index = 0, played = 0, refusedByTheReader = 0;
    testing::AnimationDamage(file, testing::AnimationDamage::seedFor(GetParam().name))
        .forEachMutant([&](const std::vector<std::uint8_t>& mutant) {
            if (index++ % every != 0 || HasFatalFailure()) return;
            const Scheduling scheduling = played++ % 2 == 0 ? Scheduling::pull : Scheduling::push;
            SCOPED_TRACE("damaged copy " + std::to_string(index - 1) + ", " + name(scheduling));
            const auto path = folder.write("damaged.anim", mutant);
            Pipeline pipeline(decodingPipeline(path, scheduling), {.hashFrames = false});
            ASSERT_TRUE(pipeline.runToEnd()) << "neither an error nor the end of the stream in time";
            const auto error = pipeline.error();
            if (!error || !isOurs(*error)) return;  // the end, or GStreamer's own verdict (no type found…)
            EXPECT_FALSE(error->message.empty());
            if (const auto refusal = formatReaderRefusal(mutant); refusal && error->sourceFactory == "velariumdemux") {
                EXPECT_EQ(error->message, *refusal);
                EXPECT_FALSE(error->extensionDomain.empty());
                ++refusedByTheReader;
            }
        });
    RecordProperty("played", int(played));
    RecordProperty("refused_by_the_reader", int(refusedByTheReader));
}

// Files that say they are animations but are not quite, each played with
// the file pulled and pushed.
TEST(DamagedInput, FilesThatAreNoAnimationsEndWithAnErrorInTheReadersWords) {
    VELARIUM_REQUIRE_DECODEBIN();
    using namespace testing;
    const ByteVector picture = chunk("BODY", ByteVector(2, 0x55));
    const ByteVector colours = cmap({0x000000, 0xFFFFFF});
    ByteVector firstFormEmpty = animFile({form("ILBM", {bmhd({}), colours, picture})});
    firstFormEmpty[16] = firstFormEmpty[17] = firstFormEmpty[18] = firstFormEmpty[19] = 0;  // its size
    struct Case {
        const char* what;
        ByteVector file;
        bool readerRefuses;  // otherwise the demuxer does
    };
    const Case cases[] = {
        {"no frames at all", animFile({}), true},
        {"no picture form", animFile({chunk("ANNO", ByteVector(8, 'x'))}), true},
        {"a first frame whose form is empty", firstFormEmpty, true},
        {"a picture too large", animFile({form("ILBM", {bmhd({.width = 60000, .height = 60000}), colours, picture})}),
         true},
        {"a picture of no pixels", animFile({form("ILBM", {bmhd({.width = 0, .height = 0}), colours, picture})}),
         false},
    };
    const TemporaryFolder folder;
    for (const Case& c : cases) {
        const auto refusal = formatReaderRefusal(c.file);
        ASSERT_EQ(refusal.has_value(), c.readerRefuses) << c.what << ": " << refusal.value_or("taken");
        const auto path = folder.write("damaged.anim", c.file);
        for (const Scheduling scheduling : {Scheduling::pull, Scheduling::push}) {
            SCOPED_TRACE(std::string(c.what) + ", " + name(scheduling));
            Pipeline pipeline(decodingPipeline(path, scheduling));
            ASSERT_TRUE(pipeline.runToEnd()) << "neither an error nor the end of the stream in time";
            const auto error = pipeline.error();
            ASSERT_TRUE(error) << "the stream ended without an error";
            EXPECT_EQ(error->sourceFactory, "velariumdemux") << describe(error);
            if (refusal) {
                EXPECT_EQ(error->message, *refusal);
                EXPECT_FALSE(error->extensionDomain.empty());
            } else {
                EXPECT_FALSE(error->message.empty());
            }
        }
    }
}

// The decoder on its own, fed samples that do not fit what the caps say.
TEST(DamagedInput, SamplesTheDecoderCannotTakeEndWithItsError) {
    VELARIUM_REQUIRE_GST_ELEMENTS("appsrc", "appsink");
    struct Case {
        const char* what;
        const char* caps;
        std::size_t sampleBytes;
        const char* domain;  // of the error: the extension's, or the element's own
    };
    const Case cases[] = {
        {"a sample shorter than its picture", "codec-type=ILBM,width=4,height=4", 10, "MediaExtensionErrorDomain"},
        {"caps without a codec type", "width=4,height=4", 64, "com.brackwater.Velarium.gstreamer"},
        {"a codec type no extension serves", "codec-type=XXXX,width=4,height=4", 64,
         "com.brackwater.Velarium.extensions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Pipeline pipeline(std::string("appsrc name=source format=time caps=\"video/x-velarium-ilbm,framerate=0/1,") +
                          c.caps + "\" ! velariumdec ! appsink name=sink");
        ASSERT_TRUE(pipeline.get()) << pipeline.parseError();
        GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline.get()), "source");
        pipeline.play();
        GstBuffer* sample = gst_buffer_new_allocate(nullptr, c.sampleBytes, nullptr);
        gst_buffer_memset(sample, 0, 0x7F, c.sampleBytes);
        GST_BUFFER_PTS(sample) = 0;
        GST_BUFFER_DURATION(sample) = GST_SECOND;
        gst_app_src_push_buffer(GST_APP_SRC(source), sample);
        gst_app_src_end_of_stream(GST_APP_SRC(source));
        gst_object_unref(source);
        ASSERT_TRUE(pipeline.waitForEnd()) << "neither an error nor the end of the stream in time";
        const auto error = pipeline.error();
        ASSERT_TRUE(error) << "the stream ended without an error";
        EXPECT_EQ(error->sourceFactory, "velariumdec") << describe(error);
        EXPECT_FALSE(error->message.empty());
        EXPECT_EQ(error->extensionDomain, c.domain) << describe(error);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedInputTest, ::testing::ValuesIn(testing::corpusAnimations()),
                         testing::corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DamagedInputTest);

}  // namespace
}  // namespace velarium::gsttest
