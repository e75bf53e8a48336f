// The player view driven as a user drives it: keys and menu items for the
// transport, the scrubber under the mouse, the frame counter, looping and
// playback speed. The bundled demo (36 frames of 0.1 s, 320 × 200) and
// small synthetic animations are played through the real extensions.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "DocumentTestSupport.h"
#include "app/FrameSink.h"
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
        std::vector<Qt::Key> keys;
        std::uint64_t frame;
        const char* counter;
    } cases[] = {
        {{Qt::Key_Right}, 1, "1 / 36 · 0.100 s / 3.600 s"},
        {{Qt::Key_Period}, 1, nullptr},
        {{Qt::Key_Right, Qt::Key_Right, Qt::Key_Left}, 1, nullptr},
        {{Qt::Key_Period, Qt::Key_Period, Qt::Key_Comma}, 1, nullptr},
        {{Qt::Key_Left}, 0, "0 / 36 · 0.000 s / 3.600 s"},
        {{Qt::Key_Comma}, 0, nullptr},
        {{Qt::Key_End}, kDemoLastFrame, "35 / 36 · 3.500 s / 3.600 s"},
        {{Qt::Key_End, Qt::Key_Right}, kDemoLastFrame, nullptr},
        {{Qt::Key_End, Qt::Key_Period}, kDemoLastFrame, nullptr},
        {{Qt::Key_End, Qt::Key_Left}, kDemoLastFrame - 1, nullptr},
        {{Qt::Key_End, Qt::Key_Home}, 0, nullptr},
    };
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    const TransportBar* transport = window->playerView()->transportBar();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.keys.size() << " keys, the last " << c.keys.back());
        QTest::keyClick(window, Qt::Key_Home);
        ASSERT_TRUE(waitForFrame(window, 0));
        for (Qt::Key key : c.keys) QTest::keyClick(window, key);
        ASSERT_TRUE(waitForFrame(window, c.frame)) << "shows " << window->playerView()->currentFrameIndex().value_or(-1);
        EXPECT_EQ(screenHash(grabbedPicture(window)), demoFrameHashes()[c.frame]);
        EXPECT_EQ(transport->scrubber()->value(), static_cast<int>(c.frame));
        const QString counter = transport->counterLabel()->text();
        EXPECT_TRUE(!c.counter || counter == QString::fromUtf8(c.counter)) << counter.toStdString();
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

    // Played to the end, the last frame stays; Space then starts from the first frame.
    dragScrubber(window, {static_cast<int>(kDemoLastFrame - 2)});
    QTest::keyClick(window, Qt::Key_Space);
    ASSERT_TRUE(waitUntilStopped(window, 5000));
    EXPECT_EQ(view->currentFrameIndex(), kDemoLastFrame);
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(view->isPlaying());
    EXPECT_TRUE(waitForFrame(window, 0, 1000)) << "play at the end did not start over";
    EXPECT_TRUE(waitForFrame(window, 1, 1000));
}

// The player says when it stops by itself; the view hears it through the
// main thread's queue of posted events, and no timer is needed.
TEST_F(PlayerViewTest, PlayButtonComesBackWhenPlaybackEndsByItself) {
    DocumentWindow* window = openWindow(files_.write("short.anim", smallAnimation()));
    ASSERT_NE(window, nullptr);
    const QToolButton* button = window->playerView()->transportBar()->playPauseButton();
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_EQ(button->toolTip(), "Pause (Space)");
    // Blocks this thread, and with it every timer, until the end.
    window->playerView()->player()->waitUntilStopped();
    const bool restored = [&] {
        for (int wait = 0; wait < 500; ++wait, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            QCoreApplication::sendPostedEvents();  // posted events only: timers do not fire here
            if (button->toolTip() == "Play (Space)") return true;
        }
        return false;
    }();
    EXPECT_TRUE(restored) << "the button still offers to pause";
    EXPECT_TRUE(window->playerView()->player()->isAtEnd());
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
    const struct {
        const char* name;
        std::vector<unsigned> pictures;
        std::uint64_t loopStart;
    } cases[] = {
        {"ends by rebuilding frames 0 and 1", {0, 1, 2, 3, 4, 0, 1}, 2},
        {"plain", {0, 1, 2, 3, 4}, 0},
        {"ends on frame 0 only", {0, 1, 2, 3, 0}, 0},
    };
    QSettings().setValue(settings::kLoopPlayback, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DocumentWindow* window = openWindow(files_.write(std::string(c.name) + ".anim",
                                                         pictureSequenceFile({.pictures = c.pictures, .ticks = 3})));
        ASSERT_NE(window, nullptr);
        PlayerView* view = window->playerView();
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->loopStartIndex() == c.loopStart; }, 5000));

        std::vector<std::uint64_t> shown;
        QObject::connect(view, &PlayerView::frameShown, view, [&](std::uint64_t index) { shown.push_back(index); });
        const std::uint64_t last = c.pictures.size() - 1;
        QTest::keyClick(window, Qt::Key_Space);
        // Two laps' ends, so that the second lap is seen to start too.
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::count(shown.begin(), shown.end(), last) >= 2; }, 5000))
            << "playback did not go round";
        EXPECT_TRUE(view->isPlaying());
        QTest::keyClick(window, Qt::Key_Space);

        // The whole lap after the first lap's end.
        const auto end = std::find(shown.begin(), shown.end(), last);
        const std::vector<std::uint64_t> lap(end + 1, std::find(end + 1, shown.end(), last) + 1);
        std::vector<std::uint64_t> wanted;
        for (std::uint64_t i = c.loopStart; i <= last; ++i) wanted.push_back(i);
        EXPECT_EQ(lap, wanted) << "the lap after the last frame";
        closeAllDocuments();
    }
}

// Speed.

TEST_F(PlayerViewTest, SpeedMenuChangesThePaceAndNeverStartsPlayback) {
    const struct {
        const char* action;
        double rate;
        bool chosenWhilePlaying;
    } cases[] = {
        {kSpeedHalfAction, 0.5, false}, {kSpeedNormalAction, 1.0, false}, {kSpeedDoubleAction, 2.0, false},
        {kSpeedDoubleAction, 2.0, true}, {kSpeedHalfAction, 0.5, true},
    };
    constexpr std::size_t kFramesTimed = 6;
    DocumentWindow* window = openDemo();
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + (c.chosenWhilePlaying ? " while playing" : " while paused"));
        QTest::keyClick(window, Qt::Key_Home);
        ASSERT_TRUE(waitForFrame(window, 0));
        trigger(window, kSpeedNormalAction);
        if (c.chosenWhilePlaying) {
            QTest::keyClick(window, Qt::Key_Space);
            ASSERT_TRUE(waitForFrame(window, 2, 2000));
        }
        std::vector<PresentedFrame> presented;
        const auto connection = QObject::connect(window->document()->frameSink().get(), &FrameSink::frameArrived, view,
                                                 [&](const DisplayedFrame& frame) { presented.push_back(frame.frame); });
        trigger(window, c.action);
        EXPECT_TRUE(window->action(c.action)->isChecked());
        EXPECT_EQ(view->isPlaying(), c.chosenWhilePlaying) << "choosing a speed started or stopped playback";
        if (!c.chosenWhilePlaying) QTest::keyClick(window, Qt::Key_Space);
        ASSERT_TRUE(QTest::qWaitFor([&] { return presented.size() >= kFramesTimed + 1; }, 10000));
        QTest::keyClick(window, Qt::Key_Space);
        QObject::disconnect(connection);

        // From the second frame on: the first may be shown the moment play starts.
        const double mediaSeconds = (presented.back().presentationTime - presented[1].presentationTime).seconds();
        const double hostSeconds = (presented.back().hostTime - presented[1].hostTime).seconds();
        EXPECT_NEAR(hostSeconds * c.rate / mediaSeconds, 1.0, 0.15)
            << hostSeconds << " s of clock for " << mediaSeconds << " s of animation";
    }
}

}  // namespace
}  // namespace velarium::app
