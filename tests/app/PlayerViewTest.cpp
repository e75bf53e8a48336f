// The player view driven as a user drives it: keys and menu items for the
// transport, the scrubber under the mouse, the frame counter, looping and
// playback speed. The bundled demo (36 frames of 0.1 s, 320 × 200) and
// small synthetic animations are played through the real extensions.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <numeric>
#include <span>
#include <thread>

#include "DocumentTestSupport.h"
#include "app/LoopStart.h"
#include "app/MenuActions.h"
#include "platform/playback/Asset.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

constexpr std::uint64_t kDemoLastFrame = 35;

const std::vector<std::string>& demoFrameHashes() {
    static const std::vector<std::string> hashes = [] {
        std::vector<std::string> out;
        for (const QImage& frame : coreFrames(VELARIUM_DEMO_FILE)) out.push_back(screenHash(frame));
        return out;
    }();
    return hashes;
}

// The centre of the scrubber's handle when it stands at `value`.
QPoint scrubberHandleCentre(QSlider* scrubber, int value) {
    QStyleOptionSlider option;
    option.initFrom(scrubber);
    option.orientation = scrubber->orientation();
    option.minimum = scrubber->minimum();
    option.maximum = scrubber->maximum();
    option.sliderPosition = option.sliderValue = value;
    option.pageStep = scrubber->pageStep();
    option.subControls = QStyle::SC_All;
    return scrubber->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, scrubber).center();
}

class PlayerViewTest : public ApplicationTest {
protected:
    DocumentWindow* openDemo() { return openWindow(VELARIUM_DEMO_FILE); }
};

TEST_F(PlayerViewTest, KeysStepThroughTheFramesPinnedAtBothEnds) {
    const struct {
        Qt::Key key;
        std::uint64_t frame;
        const char* counter = nullptr;
    } walk[] = {
        {Qt::Key_Right, 1, "1 / 36 · 0.100 s / 3.600 s"}, {Qt::Key_Period, 2}, {Qt::Key_Left, 1}, {Qt::Key_Comma, 0},
        {Qt::Key_Left, 0, "0 / 36 · 0.000 s / 3.600 s"}, {Qt::Key_Comma, 0}, {Qt::Key_End, kDemoLastFrame},
        {Qt::Key_Right, kDemoLastFrame}, {Qt::Key_Period, kDemoLastFrame, "35 / 36 · 3.500 s / 3.600 s"},
        {Qt::Key_Left, kDemoLastFrame - 1}, {Qt::Key_Home, 0},
    };
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    const TransportBar* transport = window->playerView()->transportBar();
    for (const auto& step : walk) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key << " to frame " << step.frame);
        QTest::keyClick(window, step.key);
        ASSERT_TRUE(waitForFrame(window, step.frame)) << "shows " << window->playerView()->currentFrameIndex().value_or(-1);
        QTest::qWait(20);  // a step past either end would show by now
        EXPECT_EQ(window->playerView()->currentFrameIndex(), step.frame);
        EXPECT_EQ(screenHash(grabbedPicture(window)), demoFrameHashes()[step.frame]);
        EXPECT_EQ(transport->scrubber()->value(), static_cast<int>(step.frame));
        const QString counter = transport->counterLabel()->text();
        EXPECT_TRUE(!step.counter || counter == QString::fromUtf8(step.counter)) << counter.toStdString();
        EXPECT_EQ(transport->durationLabel()->text(), QString::fromUtf8("6 jiffies · 100 ms"));
        EXPECT_FALSE(window->playerView()->isPlaying());
    }
}

TEST(TransportBarText, DurationReadsInJiffiesAndMilliseconds) {
    const std::pair<MediaTime, const char*> cases[] = {
        {MediaTime::make(1, 60), "1 jiffy · 16.7 ms"},
        {MediaTime::make(1, 25), "2.4 jiffies · 40 ms"},  // DPAN speed 25
        {MediaTime::make(1, 11), "5.5 jiffies · 90.9 ms"},
        {MediaTime::make(600, 60), "600 jiffies · 10000 ms"},
    };
    for (const auto& [duration, text] : cases)
        EXPECT_EQ(TransportBar::durationText(duration), QString::fromUtf8(text)) << duration.description();
}

TEST_F(PlayerViewTest, TransportShowsItsWholeTextAndAUsableScrubberOnEveryFrame) {
    const PictureSequence cases[] = {
        {.pictures = {0, 1, 2, 3}},
        {.pictures = std::vector<unsigned>(1200, 0), .ticks = 600},  // 1200 frames of 10 s
        {.pictures = {0, 1, 2, 3}, .frameTicks = {1, 6, 150, 2}},
    };
    for (const PictureSequence& sequence : cases) {
        SCOPED_TRACE(sequence.pictures.size());
        DocumentWindow* window = openWindow(files_.write("transport.anim", pictureSequenceFile(sequence)));
        ASSERT_NE(window, nullptr);
        const TransportBar* transport = window->playerView()->transportBar();
        const int width = window->width();
        for (const Qt::Key key : {Qt::Key_Home, Qt::Key_Right, Qt::Key_Right, Qt::Key_End}) {
            QTest::keyClick(window, key);
            QCoreApplication::processEvents();
            for (const QLabel* label : {transport->counterLabel(), transport->durationLabel()})
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString() << " is cut off";
            EXPECT_GE(transport->scrubber()->width(), 100);
            EXPECT_EQ(window->width(), width) << "the window changed its width";
        }
        closeAllDocuments();
    }
}

TEST_F(PlayerViewTest, SpaceAndPlayPauseToggleAndPlayAtTheEndStartsOver) {
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();

    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(view->isPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->currentFrameIndex() >= 2u; }, 5000)) << "playback did not advance";
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_FALSE(view->isPlaying());
    const auto paused = view->currentFrameIndex();
    QTest::qWait(300);  // three frames' time: a paused view must not move on
    EXPECT_EQ(view->currentFrameIndex(), paused);
    EXPECT_EQ(screenHash(grabbedPicture(window)), demoFrameHashes()[*paused]);

    trigger(window, kPlayPauseAction);
    EXPECT_TRUE(view->isPlaying());
    trigger(window, kPlayPauseAction);
    EXPECT_FALSE(view->isPlaying());

    // Played to the end, the last frame stays and the button offers to play
    // again: the player says it stopped, and the view hears it through the
    // main thread's posted events alone, with every timer blocked.
    dragScrubber(window, {static_cast<int>(kDemoLastFrame - 2)});
    QTest::keyClick(window, Qt::Key_Space);
    const QToolButton* button = view->transportBar()->playPauseButton();
    EXPECT_EQ(button->toolTip(), "Pause (Space)");
    view->player()->waitUntilStopped();
    for (int wait = 0; wait < 500 && button->toolTip() != "Play (Space)"; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(button->toolTip(), "Play (Space)");
    EXPECT_TRUE(waitForFrame(window, kDemoLastFrame));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(view->isPlaying());
    EXPECT_TRUE(waitForFrame(window, 0, 1000)) << "play at the end did not start over";
    EXPECT_TRUE(waitForFrame(window, 1, 1000));
}

TEST_F(PlayerViewTest, DraggingTheScrubberShowsTheFrameUnderTheHandle) {
    const struct {
        bool playingBefore;
        int target;
    } cases[] = {{false, 20}, {true, 8}};
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    QSlider* scrubber = view->transportBar()->scrubber();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.playingBefore ? "while playing" : "paused");
        QTest::keyClick(window, Qt::Key_Home);
        ASSERT_TRUE(waitForFrame(window, 0));
        if (c.playingBefore) QTest::keyClick(window, Qt::Key_Space);
        const int from = scrubber->value();
        const QPoint grab = scrubberHandleCentre(scrubber, from);
        const QPoint drop = grab + (scrubberHandleCentre(scrubber, c.target) - scrubberHandleCentre(scrubber, from));
        QTest::mousePress(scrubber, Qt::LeftButton, {}, grab);
        for (int step = 1; step <= 4; ++step) QTest::mouseMove(scrubber, grab + (drop - grab) * step / 4);
        ASSERT_TRUE(view->transportBar()->isScrubbing());
        EXPECT_EQ(scrubber->value(), c.target);
        // The picture follows the handle while the button is still down.
        EXPECT_TRUE(waitForFrame(window, static_cast<std::uint64_t>(c.target)));
        EXPECT_EQ(screenHash(grabbedPicture(window)), demoFrameHashes()[c.target]);
        QTest::mouseRelease(scrubber, Qt::LeftButton, {}, drop);
        EXPECT_EQ(view->isPlaying(), c.playingBefore) << "playback state after the drag";
        if (c.playingBefore) {
            EXPECT_TRUE(waitForFrame(window, static_cast<std::uint64_t>(c.target) + 1, 1000))
                << "playback did not go on from the dropped frame";
            QTest::keyClick(window, Qt::Key_Space);
        }
    }
}

TEST_F(PlayerViewTest, ClosingTheWindowMidPlayStopsEverythingCleanly) {
    // A frame every 1/60 s, so that frames are in flight when the window goes.
    const auto file = files_.write("fast.anim", pictureSequenceFile({.width = 320, .height = 200,
                                                                      .pictures = std::vector<unsigned>(120, 0),
                                                                      .ticks = 1}));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QPointer<DocumentWindow> window = openWindow(file);
        ASSERT_FALSE(window.isNull());
        std::size_t shown = 0;
        QObject::connect(window->playerView(), &PlayerView::frameShown, [&shown] { ++shown; });
        QTest::keyClick(window, Qt::Key_Space);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown >= std::size_t(2 + round * 5); }, 5000));
        if (round % 2 == 0)
            trigger(window, kCloseDocumentAction);
        else
            window->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 2000)) << "the window stayed";
        EXPECT_TRUE(controller()->documents().isEmpty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

// Looping.

TEST_F(PlayerViewTest, LoopIsOffByDefaultAndRemembered) {
    for (const bool looping : {false, true}) {
        DocumentWindow* window = openDemo();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->action(kLoopAction)->isChecked(), looping);
        EXPECT_EQ(window->playerView()->isLooping(), looping);
        trigger(window, kLoopAction);  // the next window opens the other way
        EXPECT_EQ(window->playerView()->isLooping(), !looping);
        closeAllDocuments();
    }
    EXPECT_FALSE(QSettings().value(settings::kLoopPlayback).toBool());
}

// The corpus's Deluxe Paint and PyDPainter files end with two frames that
// rebuild frames 0 and 1; the expected frames say which files do.
class LoopStartOfCorpusFile : public ::testing::TestWithParam<CorpusAnimation> {};

TEST_P(LoopStartOfCorpusFile, IsTwoExactlyWhenTheLastTwoFramesRepeatTheFirstTwo) {
    const auto hashes = readLines(GetParam().expectedHashes);
    const std::size_t n = hashes.size();
    const bool wrapsUp = n >= 4 && hashes[n - 2] == hashes[0] && hashes[n - 1] == hashes[1];
    const std::string& name = GetParam().name;
    if (name.rfind("amospro_", 0) == 0 || name == "pydpainter_color-balls.anim") {
        EXPECT_TRUE(wrapsUp) << "a Deluxe Paint-style file that does not end like one";
    }
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(GetParam().file));
    item->prepare();
    ASSERT_EQ(item->status(), PlayerItemStatus::readyToPlay);
    const std::atomic<bool> cancelled{false};
    EXPECT_EQ(findLoopStartIndex(*item, cancelled), wrapsUp ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, LoopStartOfCorpusFile, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(LoopStartOfCorpusFile);

TEST_F(PlayerViewTest, LoopingPlaybackWrapsToTheLoopStartAndGoesOn) {
    const std::pair<std::vector<unsigned>, std::uint64_t> cases[] = {
        {{0, 1, 2, 3, 4, 0, 1}, 2},  // ends by rebuilding frames 0 and 1
        {{0, 1, 2, 3, 4}, 0},
        {{0, 1, 2, 3, 0}, 0},  // ends on frame 0 only
    };
    QSettings().setValue(settings::kLoopPlayback, true);
    for (const auto& [pictures, loopStart] : cases) {
        SCOPED_TRACE(pictures.size());
        DocumentWindow* window = openWindow(files_.write("loop.anim", pictureSequenceFile({.pictures = pictures, .ticks = 3})));
        ASSERT_NE(window, nullptr);
        PlayerView* view = window->playerView();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->loopStartIndex() == loopStart; }, 5000));
        std::vector<std::uint64_t> shown;
        QObject::connect(view, &PlayerView::frameShown, view, [&](std::uint64_t index) { shown.push_back(index); });
        const std::uint64_t last = pictures.size() - 1;
        QTest::keyClick(window, Qt::Key_Space);
        // Two laps' ends, so that the second lap is seen to start too.
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::count(shown.begin(), shown.end(), last) >= 2; }, 5000));
        EXPECT_TRUE(view->isPlaying());
        QTest::keyClick(window, Qt::Key_Space);
        const auto end = std::find(shown.begin(), shown.end(), last);
        std::vector<std::uint64_t> lap(end + 1, std::find(end + 1, shown.end(), last) + 1), wanted(last + 1 - loopStart);
        std::iota(wanted.begin(), wanted.end(), loopStart);
        EXPECT_EQ(lap, wanted) << "the lap after the last frame";
        closeAllDocuments();
    }
}

// The menu sets the player's speed (whose pace the player's own tests
// time), keeps it for the file's next player, and never starts or stops
// playback.
TEST_F(PlayerViewTest, SpeedMenuSetsThePaceAndNeverStartsOrStopsPlayback) {
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    for (const auto& [action, rate, playing] : {std::tuple{kSpeedHalfAction, 0.5f, false},
                                                std::tuple{kSpeedDoubleAction, 2.0f, true},
                                                std::tuple{kSpeedNormalAction, 1.0f, true}}) {
        SCOPED_TRACE(action);
        if (playing) QTest::keyClick(window, Qt::Key_Space);
        trigger(window, action);
        EXPECT_TRUE(window->action(action)->isChecked());
        EXPECT_EQ(window->playerView()->isPlaying(), playing);
        EXPECT_EQ(window->playerView()->player()->defaultRate(), rate);
        EXPECT_EQ(window->playerView()->player()->rate(), playing ? rate : 0.0f);
        if (playing) QTest::keyClick(window, Qt::Key_Space);
    }
    trigger(window, kSpeedDoubleAction);
    trigger(window, kRevertDocumentAction);
    EXPECT_EQ(window->playerView()->player()->defaultRate(), 2.0f) << "after Reload";
    EXPECT_FALSE(window->playerView()->isPlaying());
}

// Every corpus animation at Actual Size: the picture on screen is the
// expected frame, unscaled and pixel for pixel, after each step forward, a
// step back, a scrubber drag, playback to the end and a jump to the first
// frame. A brush's transparent colour (BMHD masking 2) has alpha 0 in the
// decoded frames and shows the view's backdrop on screen, so such files are
// compared with the core's frames laid over the backdrop, once the core's
// frames have been checked against the expected ones.
class PlayerViewFramesTest : public ApplicationTest, public ::testing::WithParamInterface<CorpusAnimation> {};

TEST_P(PlayerViewFramesTest, WindowShowsTheExactFrameAtActualSize) {
    std::vector<std::string> hashes = readLines(GetParam().expectedHashes);
    const std::vector<MediaTime> durations = expectedDurations(GetParam().expectedTiming);
    ANIMBitmapHeader header;
    const std::vector<QImage> frames = coreFrames(GetParam().file, &header);
    ASSERT_FALSE(hashes.empty());
    ASSERT_EQ(durations.size(), hashes.size());
    if (header.masking == kMaskingHasTransparentColor) {
        ASSERT_EQ(frames.size(), hashes.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(screenHash(frames[i]), hashes[i]) << "the core's frame " << i;
            QImage shown = frames[i].convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < shown.height(); ++y)
                for (QRgb& pixel : std::span(reinterpret_cast<QRgb*>(shown.scanLine(y)), shown.width()))
                    pixel = qAlpha(pixel) == 0 ? kViewBackdrop : (pixel | 0xFF000000u);
            hashes[i] = screenHash(shown);
        }
    }
    const std::uint64_t last = hashes.size() - 1;

    DocumentWindow* window = openWindow(GetParam().file);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(pictureRectInWindow(window).size(), QSize(header.width, header.height)) << "shown scaled";
    ASSERT_TRUE(window->rect().contains(pictureRectInWindow(window))) << "the picture does not fit its window";

    std::vector<std::string> wrong;
    const auto check = [&](const std::string& how, std::uint64_t index) {
        if (!waitForFrame(window, index))
            wrong.push_back(how + ": frame " + std::to_string(index) + " never shown");
        else if (screenHash(grabbedPicture(window)) != hashes[index])
            wrong.push_back(how + ": frame " + std::to_string(index) + " wrong on screen");
    };
    check("opened", 0);
    for (std::uint64_t i = 1; i <= last; ++i) {
        QTest::keyClick(window, Qt::Key_Right);
        check("Right", i);
    }
    if (last > 0) {
        QTest::keyClick(window, Qt::Key_Left);
        check("Left", last - 1);
    }
    const int middle = static_cast<int>(last / 2);
    dragScrubber(window, {static_cast<int>(last), (static_cast<int>(last) + middle) / 2, middle + 1, middle});
    check("scrubbed", middle);
    MediaTime rest = MediaTime::zero();
    for (std::uint64_t i = middle; i <= last; ++i) rest = rest + durations[i];
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(waitUntilStopped(window, static_cast<int>(rest.seconds() * 1000) + 10000));
    check("played to the end", last);
    QTest::keyClick(window, Qt::Key_Home);
    check("Home", 0);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, the first " << wrong.front();
}

INSTANTIATE_TEST_SUITE_P(Corpus, PlayerViewFramesTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PlayerViewFramesTest);

}  // namespace
}  // namespace velarium::app
