// The Dolphin thumbnail plugin as KIO's thumbnail worker uses it: the built
// module loaded by its file through KPluginFactory, asked for pictures of
// the corpus animations, of synthetic ones and of damaged files.
#include <gtest/gtest.h>

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <KPluginMetaData>
#include <QImage>
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "support/AnimationDamage.h"
#include "support/Corpus.h"
#include "support/Hashing.h"
#include "support/IFFWriter.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {
namespace {

// What GNOME's thumbnailer (totem-video-thumbnailer through our GStreamer
// plugin) showed of these files: the frame, by index.
const std::vector<std::pair<std::string, std::size_t>> kGnomeThumbnailFrames = {
    {"amospro_Bug.anim", 30},
    {"amospro_jbb_2_Boost.anim", 7},
    {"dopus5_ToolbarArrow.image.anim", 0},
    {"pydpainter_color-balls.anim", 4},
    {"mm_op5_hireslace16_640x400_120f.anim", 40},
    {"pyd_op5_animbrush_xor_37x29.anim", 3},
    {"pyd_op5_oddwidth_100x75.anim", 7},
    {"op3_24x24_p1_f40_il0.anim", 13},
};

// Larger than every frame of the corpus, and smaller than most.
const QSize kLargeRequest(2048, 2048);
const QSize kSmallRequest(48, 40);

std::unique_ptr<KIO::ThumbnailCreator> loadPlugin() {
    const auto loaded =
        KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(KPluginMetaData(VELARIUM_KDE_PLUGIN_FILE));
    EXPECT_TRUE(loaded) << loaded.errorString.toStdString();
    return std::unique_ptr<KIO::ThumbnailCreator>(loaded.plugin);
}

KIO::ThumbnailResult thumbnail(KIO::ThumbnailCreator& plugin, const std::filesystem::path& file, QSize size,
                               float sequenceIndex = 0) {
    return plugin.create(KIO::ThumbnailRequest(QUrl::fromLocalFile(QString::fromStdString(file.string())), size,
                                               QStringLiteral("video/x-anim"), 1.0, sequenceIndex));
}

// The picture's pixels as the corpus hashes them: BGRA rows of width × 4 bytes.
std::string pixelHash(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> bgra(std::size_t(argb.width()) * argb.height() * 4);
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(bgra.data() + std::size_t(y) * argb.width() * 4, argb.constScanLine(y),
                    std::size_t(argb.width()) * 4);
    return sha256Hex(bgra);
}

// The mean difference of the channels of two pictures of one size, of 255.
double meanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < x.width() * 4; ++i)
            sum += std::abs(int(x.constScanLine(row)[i]) - int(y.constScanLine(row)[i]));
    return sum / (double(x.width()) * x.height() * 4);
}

// One loop: every frame, less the last two when they repeat frames 0 and 1.
std::size_t loopLength(const std::vector<std::string>& frames) {
    const std::size_t n = frames.size();
    return n >= 4 && frames[n - 2] == frames[0] && frames[n - 1] == frames[1] ? n - 2 : n;
}

TEST(ThumbnailPlugin, ClaimsAnimationsAsTheThumbnailWorkerReadsIt) {
    const KPluginMetaData metadata(VELARIUM_KDE_PLUGIN_FILE);
    ASSERT_TRUE(metadata.isValid());
    EXPECT_EQ(metadata.mimeTypes(), QStringList{QStringLiteral("video/x-anim")});
    EXPECT_TRUE(metadata.value(QStringLiteral("CacheThumbnail"), false));
    EXPECT_TRUE(metadata.value(QStringLiteral("HandleSequences"), false));
    EXPECT_FALSE(metadata.value(QStringLiteral("ThumbnailerVersion")).isEmpty());
    EXPECT_TRUE(loadPlugin());
}

class CorpusThumbnailTest : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(CorpusThumbnailTest, ShowsGnomesFrameFittedToTheRequestAndPlaysOneLoopOnHover) {
    if (!haveCorpus()) GTEST_SKIP() << "no corpus at " << corpusDir();
    const auto frames = readLines(GetParam().expectedHashes);
    ASSERT_FALSE(frames.empty());
    const auto plugin = loadPlugin();
    ASSERT_TRUE(plugin);

    // Asked for more than the frame, the plugin gives the frame itself.
    const auto large = thumbnail(*plugin, GetParam().file, kLargeRequest);
    ASSERT_TRUE(large.isValid());
    const std::string shown = pixelHash(large.image());
    const auto gnome = std::find_if(kGnomeThumbnailFrames.begin(), kGnomeThumbnailFrames.end(),
                                    [&](const auto& entry) { return entry.first == GetParam().name; });
    if (gnome != kGnomeThumbnailFrames.end())
        EXPECT_EQ(shown, frames.at(gnome->second)) << "not the frame GNOME shows, " << gnome->second;
    else
        EXPECT_NE(std::find(frames.begin(), frames.end(), shown), frames.end()) << "no frame of the file";

    // Asked for less, it gives the same frame smoothly scaled to fit.
    const auto small = thumbnail(*plugin, GetParam().file, kSmallRequest);
    ASSERT_TRUE(small.isValid());
    const QSize frame = large.image().size(), fitted = small.image().size();
    if (frame.width() <= kSmallRequest.width() && frame.height() <= kSmallRequest.height()) {
        EXPECT_EQ(pixelHash(small.image()), shown);
    } else {
        EXPECT_TRUE(fitted.width() == kSmallRequest.width() || fitted.height() == kSmallRequest.height())
            << fitted.width() << "×" << fitted.height();
        EXPECT_LE(fitted.width(), kSmallRequest.width());
        EXPECT_LE(fitted.height(), kSmallRequest.height());
        EXPECT_LE(std::abs(fitted.width() * frame.height() - fitted.height() * frame.width()),
                  std::max(frame.width(), frame.height()))
            << "proportions not kept";
        const QImage reference = large.image().scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LE(meanDifference(small.image(), reference), 1.0);
    }

    // While hovered, index k shows the k-th frame after the thumbnail's
    // within one loop, and the sequence wraps after one loop.
    const std::size_t loop = loopLength(frames);
    std::set<std::size_t> starts;  // where in the loop the thumbnail's picture is
    for (std::size_t i = 0; i < loop; ++i)
        if (frames[i] == shown) starts.insert(i);
    for (const float index : {1.0f, float(loop - 1), float(loop) + 1.5f}) {
        const auto result = thumbnail(*plugin, GetParam().file, kLargeRequest, index);
        ASSERT_TRUE(result.isValid()) << "sequence index " << index;
        EXPECT_EQ(result.sequenceIndexWraparoundPoint(), float(loop));
        const std::string hash = pixelHash(result.image());
        std::erase_if(starts, [&](std::size_t start) { return frames[(start + std::size_t(index)) % loop] != hash; });
        EXPECT_FALSE(starts.empty()) << "sequence index " << index << " does not follow the thumbnail";
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusThumbnailTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusThumbnailTest);

// Six 16×8 frames, each one colour or a chequer: the frames at 1/3 and 2/3
// of the time are the second and the fourth.
ByteVector animation(const std::vector<bool>& chequered) {
    std::vector<ByteVector> forms;
    for (std::size_t f = 0; f < chequered.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) chunks = {bmhd({.width = 16, .height = 8, .planes = 1}), cmap({0x000000, 0xFFFFFF})};
        chunks.push_back(anhd({.operation = 0, .relTime = 1}));
        chunks.push_back(chunk("BODY", ByteVector(16, chequered[f] ? 0x55 : 0x00)));
        forms.push_back(form("ILBM", chunks));
    }
    return animFile(forms);
}

TEST(ThumbnailPlugin, PassesOverFlatFramesAsGnomeDoes) {
    const TemporaryFolder folder;
    const auto plugin = loadPlugin();
    ASSERT_TRUE(plugin);
    const auto file = [&](const std::vector<bool>& chequered) {
        const ByteVector bytes = animation(chequered);
        return folder.write("flat.anim", std::string(bytes.begin(), bytes.end()));
    };
    const auto isChequer = [](const QImage& image) { return image.pixel(0, 0) != image.pixel(1, 0); };

    const auto flatAtAThird = thumbnail(*plugin, file({false, false, false, true, false, false}), kLargeRequest);
    ASSERT_TRUE(flatAtAThird.isValid());
    EXPECT_TRUE(isChequer(flatAtAThird.image())) << "the flat frame at 1/3 is shown";
    // When every frame tried is flat, the last one tried is still a thumbnail.
    EXPECT_TRUE(thumbnail(*plugin, file({false, false, false, false, false, false}), kLargeRequest).isValid());
}

TEST(ThumbnailPlugin, DamagedFilesGiveNoThumbnailAndNoCrash) {
    const TemporaryFolder folder;
    const auto plugin = loadPlugin();
    ASSERT_TRUE(plugin);
    const auto write = [&](const ByteVector& bytes) {
        return folder.write("damaged.anim", std::string(bytes.begin(), bytes.end()));
    };
    for (const auto& [what, bytes] : std::vector<std::pair<std::string, ByteVector>>{
             {"an empty file", {}},
             {"text", ByteVector{'n', 'o', 't', ' ', 'a', 'n', ' ', 'A', 'N', 'I', 'M'}},
             {"an animation of no frames", form("ANIM", {})}})
        EXPECT_FALSE(thumbnail(*plugin, write(bytes), kLargeRequest).isValid()) << what;
    EXPECT_FALSE(thumbnail(*plugin, folder / "missing.anim", kLargeRequest).isValid());

    // Damaged copies of real files end, with a picture no larger than asked or none.
    if (!haveCorpus()) GTEST_SKIP() << "no corpus at " << corpusDir();
    for (const auto& animation : corpusAnimations({"amospro_jbb_2_Boost.anim", "mm_op5_ham6_320x200.anim"})) {
        const auto file = readFileBytes(animation.file);
        std::size_t copy = 0;
        AnimationDamage(file, AnimationDamage::seedFor(animation.name)).forEachMutant([&](const ByteVector& mutant) {
            if (copy++ % 5 != 0) return;
            const auto result = thumbnail(*plugin, write(mutant), kSmallRequest, float(copy % 3));
            if (result.isValid()) {
                EXPECT_LE(result.image().width(), kSmallRequest.width()) << animation.name << " copy " << copy;
                EXPECT_LE(result.image().height(), kSmallRequest.height()) << animation.name << " copy " << copy;
            }
        });
    }
}

}  // namespace
}  // namespace velarium::testing
