// The player view driven as a user drives it: keys, menu items, the
// scrubber under the mouse, the counter (frames numbered from 1), looping
// and playback speed.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStyleOptionSlider>
#include <QToolButton>

#include <span>
#include <thread>

#include "DocumentTestSupport.h"
#include "app/MenuActions.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

constexpr std::uint64_t kDemoLastFrame = 35;

// The centre of the scrubber's handle when it stands at `value`.
QPoint scrubberHandleCentre(QSlider* scrubber, int value) {
    struct Access : QSlider { using QSlider::initStyleOption; };
    QStyleOptionSlider option;
    (scrubber->*&Access::initStyleOption)(&option);
    option.sliderPosition = option.sliderValue = value;
    return scrubber->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, scrubber).center();
}

using PlayerViewTest = ApplicationTest;

TEST_F(PlayerViewTest, KeysAndTheScrubberShowTheChosenFrame) {
    const struct {
        Qt::Key key;
        std::uint64_t frame;
        const char* counter = nullptr;
    } walk[] = {
        {Qt::Key_Right, 1, "2 / 36 · 0.100 s / 3.600 s"}, {Qt::Key_Period, 2}, {Qt::Key_Left, 1}, {Qt::Key_Comma, 0},
        {Qt::Key_Left, 0, "1 / 36 · 0.000 s / 3.600 s"}, {Qt::Key_Comma, 0}, {Qt::Key_End, kDemoLastFrame},
        {Qt::Key_Right, kDemoLastFrame}, {Qt::Key_Period, kDemoLastFrame, "36 / 36 · 3.500 s / 3.600 s"},
        {Qt::Key_Left, kDemoLastFrame - 1}, {Qt::Key_Home, 0},
    };
    DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE);
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    const TransportBar* transport = view->transportBar();
    QSlider* scrubber = transport->scrubber();
    for (const auto& step : walk) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key << " to frame " << step.frame);
        QTest::keyClick(window, step.key);
        ASSERT_TRUE(waitForFrame(window, step.frame)) << "shows " << view->currentFrameIndex().value_or(-1);
        QTest::qWait(20);  // a step past either end would show by now
        EXPECT_EQ(screenHash(grabbedPicture(window)), screenHash(demoFrames()[step.frame]));
        EXPECT_EQ(scrubber->value(), static_cast<int>(step.frame));
        const QString counter = transport->counterLabel()->text();
        EXPECT_TRUE(!step.counter || counter == QString::fromUtf8(step.counter)) << counter.toStdString();
        EXPECT_FALSE(view->isPlaying());
    }

    // The picture follows the scrubber's handle while the mouse button is
    // down; a click on the track takes the handle there at once.
    const struct {
        bool playingBefore;
        int target;
        bool clickOnTrack;
    } cases[] = {{false, 20, false}, {true, 8, false}, {false, 30, true}, {true, 12, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.playingBefore ? "while playing" : "paused")
                                          << (c.clickOnTrack ? ", clicked" : ", dragged"));
        QTest::keyClick(window, Qt::Key_Home);
        ASSERT_TRUE(waitForFrame(window, 0));
        if (c.playingBefore) QTest::keyClick(window, Qt::Key_Space);
        const int from = scrubber->value();
        const QPoint grab = scrubberHandleCentre(scrubber, c.clickOnTrack ? c.target : from);
        const QPoint drop = grab + (scrubberHandleCentre(scrubber, c.target) - scrubberHandleCentre(scrubber, from));
        QTest::mousePress(scrubber, Qt::LeftButton, {}, grab);
        if (!c.clickOnTrack)
            for (int step = 1; step <= 4; ++step) QTest::mouseMove(scrubber, grab + (drop - grab) * step / 4);
        ASSERT_TRUE(transport->isScrubbing());
        EXPECT_EQ(scrubber->value(), c.target);
        EXPECT_TRUE(waitForFrame(window, static_cast<std::uint64_t>(c.target)));
        EXPECT_EQ(screenHash(grabbedPicture(window)), screenHash(demoFrames()[c.target]));
        QTest::mouseRelease(scrubber, Qt::LeftButton, {}, c.clickOnTrack ? grab : drop);
        EXPECT_EQ(view->isPlaying(), c.playingBefore) << "playback state after the drag";
        if (c.playingBefore) {
            EXPECT_TRUE(waitForFrame(window, static_cast<std::uint64_t>(c.target) + 1, 1000))
                << "playback did not go on from the dropped frame";
            QTest::keyClick(window, Qt::Key_Space);
        }
    }
}

// Each frame's duration in jiffies and milliseconds, and the counter, in
// full beside a usable scrubber, in a window that keeps its width.
TEST_F(PlayerViewTest, TransportShowsItsWholeTextAndAUsableScrubberOnEveryFrame) {
    const struct {
        SyntheticAnimation sequence;
        std::vector<const char*> durations;  // of the frames walked to (one: of all)
    } cases[] = {
        {{.height = 8, .ticks = {1, 6, 150, 2}, .pictures = {0, 1, 2, 3}},
         {"1 jiffy · 16.7 ms", "6 jiffies · 100 ms", "150 jiffies · 2500 ms", "2 jiffies · 33.3 ms"}},
        {{.height = 8, .ticks = {600}, .pictures = std::vector<unsigned>(1200, 0)}, {"600 jiffies · 10000 ms"}},
    };
    EXPECT_EQ(TransportBar::durationText(MediaTime::make(1, 25)), QString::fromUtf8("2.4 jiffies · 40 ms"));  // DPAN 25
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sequence.pictures.size());
        DocumentWindow* window = openWindow(files_.write("transport.anim", syntheticAnimation(c.sequence)));
        ASSERT_NE(window, nullptr);
        const TransportBar* transport = window->playerView()->transportBar();
        const int width = window->width();
        const std::pair<Qt::Key, std::uint64_t> walk[] = {
            {Qt::Key_Home, 0}, {Qt::Key_Right, 1}, {Qt::Key_Right, 2}, {Qt::Key_End, c.sequence.pictures.size() - 1}};
        for (std::size_t step = 0; step < std::size(walk); ++step) {
            QTest::keyClick(window, walk[step].first);
            ASSERT_TRUE(waitForFrame(window, walk[step].second));
            EXPECT_EQ(transport->durationLabel()->text(),
                      QString::fromUtf8(c.durations[std::min(step, c.durations.size() - 1)]));
            QCoreApplication::processEvents();
            for (const QLabel* label : {transport->counterLabel(), transport->durationLabel()})
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString() << " is cut off";
            EXPECT_GE(transport->scrubber()->width(), 100);
            EXPECT_EQ(window->width(), width) << "the window changed its width";
        }
        closeAllDocuments();
    }
}

TEST_F(PlayerViewTest, PlayPauseAndSpeedAndPlayAtTheEndStartsOver) {
    DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE);
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
    EXPECT_EQ(screenHash(grabbedPicture(window)), screenHash(demoFrames()[*paused]));

    // Played to the end, the last frame stays and the button offers to play
    // again; the view hears of the stop through posted events alone, no timer.
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
    QTest::keyClick(window, Qt::Key_Space);
    // So does play on the last frame stepped to, with Loop off.
    QTest::keyClick(window, Qt::Key_End);
    ASSERT_TRUE(waitForFrame(window, kDemoLastFrame));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_TRUE(waitForFrame(window, 1, 1000)) << "play on the last frame did not start over";
    QTest::keyClick(window, Qt::Key_Space);

    // The Speed menu sets the player's speed, kept for the file's next
    // player, and never starts or stops playback.
    for (const auto& [action, rate, playing] : {std::tuple{kSpeedHalfAction, 0.5f, false},
                                                std::tuple{kSpeedDoubleAction, 2.0f, true},
                                                std::tuple{kSpeedNormalAction, 1.0f, true}}) {
        SCOPED_TRACE(action);
        if (playing) QTest::keyClick(window, Qt::Key_Space);
        trigger(window, action);
        EXPECT_TRUE(window->action(action)->isChecked());
        EXPECT_EQ(view->isPlaying(), playing);
        EXPECT_EQ(view->player()->defaultRate(), rate);
        EXPECT_EQ(view->player()->rate(), playing ? rate : 0.0f);
        if (playing) QTest::keyClick(window, Qt::Key_Space);
    }
    // [ and ] step through the speeds, and stay at either end.
    for (const auto& [key, action, rate] :
         {std::tuple{Qt::Key_BracketLeft, kSpeedHalfAction, 0.5f}, {Qt::Key_BracketLeft, kSpeedHalfAction, 0.5f},
          {Qt::Key_BracketRight, kSpeedNormalAction, 1.0f}, {Qt::Key_BracketRight, kSpeedDoubleAction, 2.0f},
          {Qt::Key_BracketRight, kSpeedDoubleAction, 2.0f}}) {
        QTest::keyClick(window, key);
        EXPECT_TRUE(window->action(action)->isChecked()) << action;
        EXPECT_EQ(view->player()->defaultRate(), rate);
    }
    trigger(window, kRevertDocumentAction);
    EXPECT_EQ(view->player()->defaultRate(), 2.0f) << "after Reload";
    EXPECT_FALSE(view->isPlaying());
}

TEST_F(PlayerViewTest, ClosingTheWindowMidPlayStopsEverythingCleanly) {
    // A frame every 1/60 s, so that frames are in flight when the window goes.
    const auto file = files_.write(
        "fast.anim", syntheticAnimation({.width = 320, .height = 200, .ticks = {1}, .pictures = std::vector<unsigned>(120, 0)}));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QPointer<DocumentWindow> window = openWindow(file);
        ASSERT_FALSE(window.isNull());
        std::size_t shown = 0;
        QObject::connect(window->playerView(), &PlayerView::frameShown, [&shown] { ++shown; });
        QTest::keyClick(window, Qt::Key_Space);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown >= std::size_t(2 + round * 5); }, 5000));
        if (round % 2 == 0) trigger(window, kCloseDocumentAction);
        else window->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 2000)) << "the window stayed";
        EXPECT_TRUE(controller()->documents().isEmpty());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}

// Loop is off until switched on, which the next windows remember, and so
// they loop too; a looping window wraps to its loop start and goes on.
TEST_F(PlayerViewTest, LoopIsRememberedAndWrapsToTheLoopStart) {
    const std::pair<std::vector<unsigned>, std::uint64_t> cases[] = {
        {{0, 1, 2, 3, 4, 0, 1}, 2},  // ends by rebuilding frames 0 and 1
        {{0, 1, 2, 3, 4}, 0},
        {{0, 1, 2, 3, 0}, 0},  // ends on frame 0 only
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [pictures, loopStart] = cases[i];
        SCOPED_TRACE(i);
        DocumentWindow* window = openWindow(files_.write("loop.anim", syntheticAnimation({.height = 8, .ticks = {3}, .pictures = pictures})));
        ASSERT_NE(window, nullptr);
        PlayerView* view = window->playerView();
        EXPECT_EQ(window->action(kLoopAction)->isChecked(), i > 0);
        if (i == 0) trigger(window, kLoopAction);
        ASSERT_TRUE(view->isLooping());
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->loopStartIndex() == loopStart; }, 5000));
        std::vector<std::uint64_t> shown;
        QObject::connect(view, &PlayerView::frameShown, view, [&](std::uint64_t index) { shown.push_back(index); });
        const std::uint64_t last = pictures.size() - 1;
        QTest::keyClick(window, Qt::Key_Space);
        // Two laps' ends, so that the second lap is seen to start too; the
        // player's tests check each lap's frames and times.
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::ranges::count(shown, last) >= 2; }, 5000));
        EXPECT_TRUE(view->isPlaying());
        QTest::keyClick(window, Qt::Key_Space);
        EXPECT_EQ(*(std::ranges::find(shown, last) + 1), loopStart) << "the frame after the last";
        if (i + 1 == std::size(cases)) trigger(window, kLoopAction);  // switched off for later windows
        closeAllDocuments();
    }
    EXPECT_FALSE(QSettings().value(settings::kLoopPlayback).toBool());
}

// Every corpus animation at Actual Size shows the core's frame exactly after
// each step, a drag, playback to the end and Home (the backdrop through a
// brush's transparent colour); looping, one ending on frames 0 and 1 again
// (as Deluxe Paint writes) wraps to frame 2.
class PlayerViewFramesTest : public ApplicationTest, public ::testing::WithParamInterface<CorpusAnimation> {};

TEST_P(PlayerViewFramesTest, WindowShowsTheExactFrameAtActualSize) {
    const std::vector<QImage> frames = coreFrames(GetParam().file);
    ASSERT_FALSE(frames.empty());
    std::vector<std::string> hashes;
    for (const QImage& frame : frames) {
        QImage shown = frame.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < shown.height(); ++y)
            for (QRgb& pixel : std::span(reinterpret_cast<QRgb*>(shown.scanLine(y)), shown.width()))
                pixel = qAlpha(pixel) == 0 ? kViewBackdrop : (pixel | 0xFF000000u);
        hashes.push_back(screenHash(shown));
    }
    const std::uint64_t last = hashes.size() - 1;

    DocumentWindow* window = openWindow(GetParam().file);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(pictureRectInWindow(window).size(), frames[0].size()) << "shown scaled";
    ASSERT_TRUE(window->rect().contains(pictureRectInWindow(window))) << "the picture does not fit its window";

    std::vector<std::string> wrong;
    const auto check = [&](const std::string& how, std::uint64_t index) {
        const std::string at = how + ": frame " + std::to_string(index);
        if (!waitForFrame(window, index)) wrong.push_back(at + " never shown");
        else if (screenHash(grabbedPicture(window)) != hashes[index]) wrong.push_back(at + " wrong on screen");
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
    QTest::keyClick(window, Qt::Key_Space);
    const double seconds = window->playerView()->player()->currentItem()->duration().seconds();
    EXPECT_TRUE(waitUntilStopped(window, static_cast<int>(seconds * 1000) + 10000));
    check("played to the end", last);
    QTest::keyClick(window, Qt::Key_Home);
    check("Home", 0);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, the first " << wrong.front();

    const std::size_t n = frames.size();
    const bool wrapsUp = n >= 4 && frames[n - 2] == frames[0] && frames[n - 1] == frames[1];
    trigger(window, kLoopAction);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->playerView()->loopStartIndex() == (wrapsUp ? 2u : 0u); }, 10000));
}

INSTANTIATE_TEST_SUITE_P(Corpus, PlayerViewFramesTest, ::testing::ValuesIn(corpusAnimations()), corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PlayerViewFramesTest);

}  // namespace
}  // namespace velarium::app
