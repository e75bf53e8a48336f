// The viewer's conveniences driven as a user drives them: Go to Frame, the
// next and previous animation of a folder, Ping-Pong, dragging the picture
// out, the view remembered, and colour cycling.
#include <gtest/gtest.h>

#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QLineEdit>

#include "DocumentTestSupport.h"
#include "app/ANIMInfo.h"
#include "app/ExportDialog.h"
#include "app/GoToFrameDialog.h"
#include "app/MenuActions.h"
#include "app/PingPong.h"
#include "platform/playback/PlaybackTestSupport.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

using ViewerFeaturesTest = ApplicationTest;

// Numbers are typed as the counter counts, from 1; anything else is said
// under the field, the dialog stays open, and no alert comes.
TEST_F(ViewerFeaturesTest, GoToFrameShowsTheFrameTheCorpusExpects) {
    const std::vector<CorpusAnimation> animations = corpusAnimations({"mm_op5_1plane_16x16.anim"});
    if (animations.empty()) GTEST_SKIP() << "no corpus";
    const std::vector<std::string> hashes = readLines(animations[0].expectedHashes);
    ASSERT_EQ(hashes.size(), 14u);
    DocumentWindow* window = openWindow(animations[0].file);
    ASSERT_NE(window, nullptr);
    const struct {
        QStringList typed;  // the last is accepted
        std::uint64_t frame;
        const char* counter;
    } cases[] = {
        {{"14"}, 13, "14 / 14"}, {{"0", "15", "seven", "", "7"}, 6, "7 / 14"}, {{"1"}, 0, "1 / 14"}, {{"-2", " 2 "}, 1, "2 / 14"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.join(", ").toStdString());
        QStringList messages;
        int alerts = 0;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<GoToFrameDialog*>(modal);
            if (!dialog) {
                ++alerts;
                acceptMessageBox(modal);
                return;
            }
            auto* field = dialog->findChild<QLineEdit*>();
            for (const QString& text : c.typed) {
                field->clear();
                QTest::keyClicks(field, text);
                QTest::keyClick(field, Qt::Key_Return);
                if (dialog->isVisible()) messages << dialog->findChild<QLabel*>("goToFrameMessage")->text();
            }
        });
        window->activateWindow();  // back from the last dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_G, Qt::ControlModifier);
        ASSERT_TRUE(waitForFrame(window, c.frame));
        EXPECT_EQ(screenHash(window->playerView()->currentImage()), hashes[c.frame]);
        EXPECT_TRUE(window->playerView()->transportBar()->counterLabel()->text().startsWith(c.counter));
        EXPECT_EQ(messages.size(), c.typed.size() - 1);
        for (const QString& message : messages) EXPECT_TRUE(message.contains("from 1 to 14")) << message.toStdString();
        EXPECT_EQ(alerts, 0);
    }
}

// Page Down and Up walk the folder's animations (by signature) in natural
// order in the same window, disabled at the ends; a file gone is said once.
TEST_F(ViewerFeaturesTest, NextAndPreviousAnimationWalkTheFolderInNaturalOrder) {
    const std::vector<std::string> order = {"a.iff", "b2.anim", "b10.anim", "c1"};
    for (std::size_t i = 0; i < order.size(); ++i)
        files_.write(order[i], syntheticAnimation({.width = 16 + 8 * static_cast<unsigned>(i), .height = 8, .ticks = {6, 6, 6, 6}}));
    files_.write("b3.anim", std::string("FORM\0\0\0\4ILBM", 12));  // a picture, not an animation
    DocumentWindow* window = openWindow(files_.path() / "b2.anim");
    ASSERT_NE(window, nullptr);
    Document* document = window->document();
    const auto shows = [&](std::size_t i) {
        return waitFor([&] { return window->playerView()->pictureSize().width() == 16 + 8 * static_cast<int>(i); }) &&
               document->fileURL() == url(files_.path() / order[i]) &&
               window->windowTitle().startsWith(QString::fromStdString(order[i]));
    };
    const struct {
        Qt::Key key;
        std::size_t shown;
    } walk[] = {{Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 3}, {Qt::Key_PageDown, 3}, {Qt::Key_PageUp, 2},
                {Qt::Key_PageUp, 1},   {Qt::Key_PageUp, 0},   {Qt::Key_PageUp, 0}};
    AlertRecorder alerts;
    for (const auto& step : walk) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key << " to " << order[step.shown]);
        QTest::keyClick(window, step.key);
        ASSERT_TRUE(shows(step.shown)) << document->fileURL().toString().toStdString();
        EXPECT_EQ(window->action(kNextAnimationAction)->isEnabled(), step.shown + 1 < order.size());
        EXPECT_EQ(window->action(kPreviousAnimationAction)->isEnabled(), step.shown > 0);
    }
    EXPECT_EQ(controller()->documents(), QList<Document*>{document});

    std::filesystem::remove(files_.path() / "b2.anim");
    QTest::keyClick(window, Qt::Key_PageDown);
    EXPECT_TRUE(alerts.settlesAt(1));
    EXPECT_TRUE(shows(0));
    window->activateWindow();  // back from the alert
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_PageDown);
    EXPECT_TRUE(shows(2));
    EXPECT_EQ(alerts.count(), 1);
}

// Forth and back on a virtual clock: every frame of the turn, its ends once,
// each up for its own duration at the player's rate.
TEST_F(ViewerFeaturesTest, PingPongShowsEachFrameOfTheTurnForItsDuration) {
    const struct {
        std::vector<std::uint32_t> ticks;
        std::uint64_t lastFrame, from;
        float rate;
        std::vector<std::uint64_t> shown;
    } cases[] = {
        {{1, 2, 3, 4}, 3, 0, 1.0f, {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2}},
        {{2, 4, 6, 8, 10, 12}, 3, 5, 2.0f, {5, 3, 2, 1, 0, 1, 2, 3, 2}},  // from a wrap-up frame
        {{5, 7}, 9, 1, 1.0f, {1, 0, 1, 0}},  // a turn past the end ends at the last frame
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.ticks.size() << " frames from " << c.from);
        const auto clock = std::make_shared<ManualPlaybackClock>();
        const auto sink = std::make_shared<RecordingSink>();
        const auto item = PlayerItem::playerItemWithAsset(
            Asset::assetWithPath(files_.write("pingpong.anim", syntheticAnimation({.height = 8, .ticks = c.ticks}))));
        const auto player = std::make_shared<Player>(item, sink, clock);
        ASSERT_EQ(item->status(), PlayerItemStatus::readyToPlay);
        player->setDefaultRate(c.rate);
        PingPongPlayback pingPong(player, clock);
        pingPong.setLastFrame(c.lastFrame);
        pingPong.start(c.from);
        ASSERT_TRUE(waitFor([&] { return sink->frames().size() >= c.shown.size(); }));
        pingPong.stop();
        EXPECT_EQ(player->rate(), 0.0f) << "the player itself never plays";

        std::vector<MediaTime> times = {MediaTime::zero()};
        for (std::uint64_t index : c.shown)
            times.push_back(times.back() + sixtieths(c.ticks[index]));
        times.pop_back();
        if (c.rate != 1.0f)
            for (MediaTime& time : times) time = MediaTime::makeWithSeconds(time.seconds() / c.rate, 600);
        std::vector<std::uint64_t> indices = sink->indices();
        std::vector<MediaTime> hostTimes = sink->hostTimes();
        indices.resize(c.shown.size());
        hostTimes.resize(c.shown.size());
        EXPECT_EQ(indices, c.shown);
        EXPECT_EQ(hostTimes, times);
    }
}

// In the window Ping-Pong and Loop exclude each other and the choice is
// remembered; an animation's wrap-up frames are left out of the turn.
TEST_F(ViewerFeaturesTest, PingPongInTheWindowLeavesOutWrapUpFramesAndIsRemembered) {
    const auto file = files_.write("wrap.anim", syntheticAnimation({.height = 8, .ticks = {6}, .pictures = {0, 1, 2, 3, 4, 0, 1}}));
    DocumentWindow* window = openWindow(file);
    ASSERT_NE(window, nullptr);
    trigger(window, kLoopAction);
    trigger(window, kPingPongAction);
    EXPECT_FALSE(window->action(kLoopAction)->isChecked());
    std::vector<std::uint64_t> shown;
    QObject::connect(window->playerView(), &PlayerView::frameShown, window,
                     [&](std::uint64_t index) { if (shown.empty() || shown.back() != index) shown.push_back(index); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->playerView()->loopStartIndex() == 2; }, 5000));
    QTest::keyClick(window, Qt::Key_Space);
    const std::vector<std::uint64_t> turn = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1};
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() >= turn.size(); }, 5000));
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_FALSE(window->playerView()->isPlaying());
    shown.resize(turn.size());
    EXPECT_EQ(shown, turn);
    closeAllDocuments();

    window = openWindow(file);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->action(kPingPongAction)->isChecked());
    EXPECT_TRUE(window->playerView()->isPingPong());
    trigger(window, kLoopAction);
    EXPECT_FALSE(window->action(kPingPongAction)->isChecked());
    EXPECT_FALSE(QSettings().value(settings::kPingPongPlayback).toBool());
}

// A drag from a picture that fits drags it out, as does Ctrl+drag where a
// plain drag pans; out, it is the shown frame as a PNG file and an image.
TEST_F(ViewerFeaturesTest, DraggingThePictureOutGivesTheFrameAsFileAndImage) {
    const struct {
        int zoom;
        Qt::KeyboardModifiers modifiers;
        bool dragsOut;
    } cases[] = {{1, Qt::NoModifier, true}, {8, Qt::NoModifier, false}, {8, Qt::ControlModifier, true}};
    DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE);
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    QTest::keyClick(window, Qt::Key_Right);
    ASSERT_TRUE(waitForFrame(window, 1));
    const QImage frame = view->currentImage().convertToFormat(QImage::Format_ARGB32);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "zoom " << c.zoom << ", modifiers " << c.modifiers);
        view->setZoom(c.zoom);
        QScrollBar* scroll = view->scrollArea()->horizontalScrollBar();
        const int scrolled = scroll->value();
        const QPoint from = view->scrollArea()->viewport()->rect().center();
        QWidget* surface = view->surface();
        const QPoint at = surface->mapFrom(view->scrollArea()->viewport(), from);
        QTest::mousePress(surface, Qt::LeftButton, c.modifiers, at);
        QMouseEvent move(QEvent::MouseMove, at + QPoint(30, 0), surface->mapToGlobal(at + QPoint(30, 0)),
                         Qt::NoButton, Qt::LeftButton, c.modifiers);
        QApplication::sendEvent(surface, &move);
        QTest::mouseRelease(surface, Qt::LeftButton, c.modifiers, at + QPoint(30, 0));
        QDrag* drag = window->findChild<QDrag*>();
        EXPECT_EQ(drag != nullptr, c.dragsOut);
        EXPECT_EQ(scroll->value() != scrolled, !c.dragsOut) << "panned";
        if (!drag) continue;
        const QMimeData* data = drag->mimeData();
        EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).convertToFormat(QImage::Format_ARGB32), frame);
        ASSERT_EQ(data->urls().size(), 1);
        EXPECT_TRUE(data->urls()[0].fileName().endsWith("-frame-0002.png"));
        EXPECT_EQ(QImage(data->urls()[0].toLocalFile()).convertToFormat(QImage::Format_ARGB32), frame);
        delete drag;
    }
}

// Each window opens with the zoom, aspect and fitted size the last one was
// left with; a zoom too large for the screen gives way to the first zoom.
TEST_F(ViewerFeaturesTest, ZoomAspectAndWindowSizeAreRememberedForTheNextWindow) {
    const struct {
        std::function<void(DocumentWindow*)> choose;
        std::optional<int> zoom;  // none: the window's first zoom
        bool fitted, aspect;
        std::optional<QSize> size;
    } steps[] = {
        {[](DocumentWindow* w) { trigger(w, kActualSizeAction), trigger(w, kCorrectPixelAspectAction); }, 1, false, true},
        {[](DocumentWindow* w) { trigger(w, kFitToWindowAction), w->resize(700, 450); }, std::nullopt, true, true, QSize(700, 450)},
        {[](DocumentWindow* w) { trigger(w, kCorrectPixelAspectAction), w->playerView()->setZoom(32); }, std::nullopt, false, false},
    };
    DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE, std::nullopt);
    ASSERT_NE(window, nullptr);
    for (const auto& step : steps) {
        step.choose(window);
        closeAllDocuments();
        window = openWindow(VELARIUM_DEMO_FILE, std::nullopt);
        ASSERT_NE(window, nullptr);
        const ViewOptions& options = window->playerView()->viewOptions();
        EXPECT_EQ(options.fitToWindow, step.fitted);
        if (!step.fitted) EXPECT_EQ(window->playerView()->zoom(), step.zoom.value_or(window->firstZoom()));
        EXPECT_EQ(window->action(kCorrectPixelAspectAction)->isChecked(), step.aspect);
        EXPECT_EQ(options.correctPixelAspect, step.aspect);
        if (step.size) EXPECT_EQ(window->size(), *step.size);
    }
}

// View ▸ Cycle Colours: offered only for pictures whose colours cycle, it
// shows the frame with its palette turned as the core turns it, and gives
// the plain frame back when turned off.
using ColourCyclingTest = ApplicationTest;

QString cyclingRow(const std::filesystem::path& file) {
    const ByteVector bytes = readFileBytes(file);
    const auto info = ANIMInfo::fromBytes(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())), {}, nullptr);
    return info ? info->colourCyclingString() : QString();
}

TEST_F(ColourCyclingTest, CycledPictureIsTheCoresAndTurningOffRestoresTheFrame) {
    const auto file = corpusDir() / "anim/real/amospro_Bug.anim";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no " << file;

    DocumentWindow* demo = openWindow(VELARIUM_DEMO_FILE);
    ASSERT_NE(demo, nullptr);
    EXPECT_FALSE(demo->action(kCycleColoursAction)->isEnabled());
    QTest::keyClick(demo, Qt::Key_Tab);
    EXPECT_FALSE(demo->action(kCycleColoursAction)->isChecked());
    EXPECT_EQ(cyclingRow(VELARIUM_DEMO_FILE), QStringLiteral("—"));
    closeAllDocuments();

    EXPECT_TRUE(cyclingRow(file).contains(QStringLiteral("steps a second"))) << cyclingRow(file).toStdString();
    DocumentWindow* window = openWindow(file, ViewOptions{.zoom = 1, .correctPixelAspect = false});
    ASSERT_NE(window, nullptr);
    QAction* cycle = window->action(kCycleColoursAction);
    ASSERT_TRUE(waitFor([&] { return cycle->isEnabled(); }));
    const std::uint64_t index = window->playerView()->currentFrameIndex().value_or(0);
    const std::string plain = screenHash(grabbedPicture(window));
    ASSERT_EQ(plain, screenHash(coreFrames(file)[index]));

    QTest::keyClick(window, Qt::Key_Tab);
    ASSERT_TRUE(cycle->isChecked());
    ASSERT_TRUE(waitFor([&] { return screenHash(grabbedPicture(window)) != plain; }, 3000));
    const std::string cycled = screenHash(grabbedPicture(window));

    // Some moment since cycling started gives the very picture shown.
    ANIMParser parser(makeSharedBytes(readFileBytes(file)));
    ASSERT_TRUE(parser.parseWithError(nullptr));
    QImage expected(static_cast<int>(parser.width()), static_cast<int>(parser.height()), QImage::Format_ARGB32);
    bool found = false;
    constexpr std::int32_t kMicroseconds = 1'000'000;
    for (std::int64_t us = 0; us < 10 * kMicroseconds && !found; us += 100) {
        parser.decodeFrameAtIndex(index, MediaTime::make(us, kMicroseconds), expected.bits(),
                                  static_cast<std::uint64_t>(expected.sizeInBytes()), nullptr);
        found = screenHash(expected) == cycled;
    }
    EXPECT_TRUE(found) << "the shown picture is no cycling of frame " << index;

    // The export offers to bake the cycling in, ticked while it is on.
    std::optional<bool> offered;
    {
        ModalAnswerer answerer([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<ExportDialog*>(modal)) {
                offered = dialog->options().cycleColours;
                dialog->reject();
            }
        });
        window->action(kExportAnimationAction)->trigger();
    }
    EXPECT_EQ(offered, std::optional<bool>(true));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));

    QTest::keyClick(window, Qt::Key_Tab);
    EXPECT_FALSE(cycle->isChecked());
    EXPECT_EQ(screenHash(grabbedPicture(window)), plain);
    QTest::qWait(200);  // no step of the timer comes back after it
    EXPECT_EQ(screenHash(grabbedPicture(window)), plain);
}

}  // namespace
}  // namespace velarium::app
