// The document window: the zoom a new window picks, zoom by menu, wheel
// and drag, full screen, sharp pixels at every display scale, the View
// menu's aspect command, Copy Frame and Export Frame.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <unistd.h>

#include <cstring>

#include "DocumentTestSupport.h"
#include "app/MenuActions.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

constexpr int kDemoFrame = 12;

class PlayerViewWindowTest : public ApplicationTest {
protected:
    DocumentWindow* openDemoAtFrame(std::optional<ViewOptions> options = ViewOptions{.zoom = 1}) {
        DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE, options);
        if (!window) return nullptr;
        dragScrubber(window, {kDemoFrame});
        return waitForFrame(window, kDemoFrame) ? window : nullptr;
    }
};

// Once the scroll area has shown or hidden its bars, which it does from the event loop.
bool showsScrollBars(DocumentWindow* window) {
    QCoreApplication::processEvents();
    const QScrollArea* area = window->playerView()->scrollArea();
    return area->horizontalScrollBar()->isVisible() || area->verticalScrollBar()->isVisible();
}

// The picture's pixel (fractional) under a point of the surface.
QPointF picturePointAt(DocumentWindow* window, QPointF onSurface) {
    const PlayerView* view = window->playerView();
    const QRectF picture = view->surface()->pictureRect();
    return QPointF((onSurface.x() - picture.left()) * view->pictureSize().width() / picture.width(),
                   (onSurface.y() - picture.top()) * view->pictureSize().height() / picture.height());
}

// What the window shows just left of `picture`.
QRgb pixelLeftOf(DocumentWindow* window, QRect picture) {
    return window->grab().toImage().pixel(picture.left() - 1, picture.center().y()) | 0xFF000000u;
}

// Whether the grabbed picture is `frame`, each pixel a block of `zoom` device pixels square.
bool showsSharpBlocks(DocumentWindow* window, const QImage& frame, int zoom) {
    QCoreApplication::processEvents();  // the scroll bars come and go from the event loop
    const QImage expected = frame.scaled(frame.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return screenHash(grabbedPicture(window)) == screenHash(expected.convertToFormat(QImage::Format_ARGB32));
}

TEST_F(PlayerViewWindowTest, NewWindowTakesAtMostTwoThirdsOfTheScreensHeight) {
    const struct {
        unsigned width, height;
        int zoom;  // on a screen 600 high; 0: fitted
        int zoomOn800;
    } cases[] = {
        {24, 24, 12, 16},   // a brush
        {320, 200, 1, 2},   // lores
        {640, 200, 1, 1},   // hires
        {40, 380, 1, 1},    // a column: more than two thirds even at 1×
        {800, 600, 0, 0},   // larger than the screen with the window around it
    };
    // The zooms above are those of the offscreen screen, 800 wide and 600 or 800 high.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (screen.width() != 800 || (screen.height() != 600 && screen.height() != 800))
        GTEST_SKIP() << "a screen of " << screen.width() << " × " << screen.height();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " × " << c.height);
        DocumentWindow* window = openWindow(
            files_.write("picture.anim", syntheticAnimation({.width = c.width, .height = c.height, .ticks = {6, 6}})),
            std::nullopt);
        ASSERT_NE(window, nullptr);
        const PlayerView* view = window->playerView();
        const QRect picture = pictureRectInWindow(window);
        const int zoom = screen.height() == 600 ? c.zoom : c.zoomOn800;
        EXPECT_TRUE(screen.contains(window->frameGeometry())) << "the window is not all on the screen";
        EXPECT_TRUE(window->rect().contains(picture)) << "the picture is cut off";
        EXPECT_FALSE(showsScrollBars(window));
        EXPECT_EQ(view->viewOptions().fitToWindow, zoom == 0);
        if (zoom == 0) {
            EXPECT_LT(picture.width(), static_cast<int>(c.width));
            EXPECT_NEAR(double(picture.width()) / picture.height(), double(c.width) / c.height, 0.01);
        } else {
            EXPECT_EQ(view->zoom(), zoom);
            EXPECT_EQ(picture.size(), QSize(c.width, c.height) * zoom);
        }
        closeAllDocuments();
    }
}

// Zoom In and Out step about the view's centre, Ctrl+wheel about the pointer,
// a drag pans the enlarged picture. Fit to Window follows the window, zoom
// steps on from the fitted scale, the backdrop the same around either.
TEST_F(PlayerViewWindowTest, ZoomKeepsThePointUnderTheCentreOrThePointerAndDragPans) {
    DocumentWindow* window = openDemoAtFrame();
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    VideoSurface* surface = view->surface();
    const QWidget* viewport = view->scrollArea()->viewport();
    const auto onSurface = [&](QPoint inViewport) { return surface->mapFrom(viewport, inViewport); };
    EXPECT_EQ(view->transportBar()->zoomLabel()->text(), QString::fromUtf8("1×"));
    trigger(window, kZoomInAction);  // now larger than the window

    const QPoint pointer(100, 60);
    const QPointF underPointer = picturePointAt(window, onSurface(pointer));
    for (const auto& [notches, zoom] : {std::pair{1, 3}, {2, 6}, {-1, 4}}) {
        SCOPED_TRACE(notches);
        QWheelEvent wheel(onSurface(pointer), surface->mapToGlobal(onSurface(pointer)), {}, {0, notches * 120},
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &wheel);
        EXPECT_EQ(view->zoom(), zoom);
        EXPECT_LT(QLineF(picturePointAt(window, onSurface(pointer)), underPointer).length(), 1.0)
            << "the point under the pointer moved";
    }
    ASSERT_TRUE(showsScrollBars(window));
    const QPointF grabbed = picturePointAt(window, onSurface(QPoint(100, 80)));
    QTest::mousePress(surface, Qt::LeftButton, {}, onSurface(QPoint(100, 80)));
    for (int step = 1; step <= 4; ++step) QTest::mouseMove(surface, onSurface(QPoint(100, 80) - QPoint(15, 10) * step));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, onSurface(QPoint(40, 40)));
    EXPECT_LT(QLineF(picturePointAt(window, onSurface(QPoint(40, 40))), grabbed).length(), 1.0)
        << "the picture did not follow the drag";

    const std::pair<const char*, int> steps[] = {
        {kZoomInAction, 6}, {kZoomOutAction, 4}, {kZoomOutAction, 3}, {kZoomOutAction, 2},
        {kActualSizeAction, 1}, {kZoomOutAction, 1}, {kZoomInAction, 2},
    };
    for (const auto& [action, zoom] : steps) {
        SCOPED_TRACE(::testing::Message() << action << " to " << zoom);
        const QPointF centre = picturePointAt(window, onSurface(viewport->rect().center()));
        trigger(window, action);
        EXPECT_EQ(view->zoom(), zoom);
        EXPECT_EQ(view->transportBar()->zoomLabel()->text(), QString::fromUtf8("%1×").arg(zoom));
        EXPECT_EQ(pictureRectInWindow(window).size(), QSize(320, 200) * zoom);
        const QPointF after = picturePointAt(window, onSurface(viewport->rect().center()));
        if (zoom >= 3) EXPECT_LT(QLineF(centre, after).length(), 1.0) << "the centre moved";
        if (zoom == 1) EXPECT_TRUE(showsSharpBlocks(window, demoFrames()[kDemoFrame], zoom));
    }

    for (const auto& [action, zoom] : {std::pair{kZoomInAction, 2}, std::pair{kZoomOutAction, 1}}) {
        SCOPED_TRACE(action);
        window->resize(800, 560);
        trigger(window, kFitToWindowAction);
        QCoreApplication::processEvents();
        EXPECT_EQ(view->transportBar()->zoomLabel()->text(), "Fit");
        const int wide = pictureRectInWindow(window).width();
        window->resize(600, 400);
        QCoreApplication::processEvents();
        const QRect picture = pictureRectInWindow(window);
        EXPECT_LT(picture.width(), wide) << "the fitted picture did not follow the window";
        EXPECT_TRUE(picture.width() > 320 && picture.width() < 640) << picture.width();
        EXPECT_NEAR(double(picture.width()) / picture.height(), 320.0 / 200, 0.01);
        EXPECT_TRUE(window->rect().contains(picture));
        EXPECT_EQ(pixelLeftOf(window, picture), kViewBackdrop) << "fitted";
        trigger(window, action);
        EXPECT_FALSE(view->viewOptions().fitToWindow);
        EXPECT_EQ(view->zoom(), zoom);
        const QRect zoomed = pictureRectInWindow(window);
        if (zoomed.left() > 0) EXPECT_EQ(pixelLeftOf(window, zoomed), kViewBackdrop) << "zoomed";
    }
}

// F11 or a double click enters full screen: the bars come back near their
// edge, the backdrop is black, keys work, the picture takes the largest whole
// zoom (or fills the screen under Fit). Escape, F11 or a double click leaves,
// back to the window's size, zoom and frame.
TEST_F(PlayerViewWindowTest, FullScreenHidesTheBarsAndTakesTheLargestWholeZoom) {
    // Under a bare X server no window manager resizes the window.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) GTEST_SKIP() << "no window manager";
    DocumentWindow* window = openDemoAtFrame();
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    VideoSurface* surface = view->surface();
    const QSize screen = window->screen()->geometry().size();
    const QSize device = screen * window->devicePixelRatio();
    const QSize normal = window->size();
    const auto enter = [&](bool byKey) {
        if (byKey) QTest::keyClick(window, Qt::Key_F11);
        else QTest::mouseDClick(surface, Qt::LeftButton, {}, surface->rect().center());
        return QTest::qWaitFor([&] { return window->isFullScreen() && window->size() == screen; }, 2000);
    };
    const struct {
        bool fitted, byKey;
        Qt::Key leaveKey;  // none: a double click
    } cases[] = {{false, true, Qt::Key_Escape}, {false, false, Qt::Key_unknown}, {true, true, Qt::Key_F11}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.fitted ? "fitted, " : "zoomed, ") << c.leaveKey);
        if (c.fitted) trigger(window, kFitToWindowAction);
        ASSERT_TRUE(enter(c.byKey));
        EXPECT_TRUE(window->action(kFullScreenAction)->isChecked());
        EXPECT_FALSE(window->menuBar()->isVisible());
        EXPECT_FALSE(view->transportBar()->isVisible());
        const QRect picture = pictureRectInWindow(window);
        if (c.fitted) EXPECT_TRUE(picture.width() == screen.width() || picture.height() == screen.height());
        else EXPECT_EQ(view->zoom(), std::min(device.width() / 320, device.height() / 200));
        const QImage shown = window->grab().toImage();
        EXPECT_EQ(shown.pixel(0, 0) | 0xFF000000u, 0xFF000000u) << "the backdrop is not black";

        // The pointer at the top edge, on the picture, at the bottom, on the picture.
        const QWidget *menu = window->menuBar(), *transport = view->transportBar();
        for (const auto& [y, bar, shown] : {std::tuple{0, menu, true}, {screen.height() / 2, menu, false},
                                            {screen.height() - 1, transport, true}, {screen.height() / 2, transport, false}}) {
            QTest::mouseMove(surface, surface->mapFrom(window, QPoint(screen.width() / 2, y)));
            EXPECT_EQ(bar->isVisible(), shown) << "pointer at " << y;
        }

        QTest::keyClick(window, Qt::Key_Right);
        EXPECT_TRUE(waitForFrame(window, kDemoFrame + 1)) << "a key did not reach its menu item";
        QTest::keyClick(window, Qt::Key_Left);
        ASSERT_TRUE(waitForFrame(window, kDemoFrame));
        if (c.leaveKey != Qt::Key_unknown) QTest::keyClick(window, c.leaveKey);
        else QTest::mouseDClick(surface, Qt::LeftButton, {}, surface->rect().center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen() && window->size() == normal; }, 2000));
        EXPECT_FALSE(window->action(kFullScreenAction)->isChecked());
        EXPECT_TRUE(window->menuBar()->isVisible() && view->transportBar()->isVisible());
        EXPECT_EQ(view->viewOptions().fitToWindow, c.fitted);
        if (!c.fitted) EXPECT_EQ(view->zoom(), 1);
    }
}

// At every display scale (ctest runs 1.25, 1.5 and 2 too) a new window shows
// the first frame whole, without scroll bars, each pixel a square of whole
// device pixels; Actual Size is the zoom nearest the picture's own size.
class PlayerViewScale : public ApplicationTest, public ::testing::WithParamInterface<CorpusAnimation> {};

TEST_P(PlayerViewScale, FirstZoomAndActualSizeShowWholeDevicePixels) {
    const std::vector<std::string> hashes = readLines(GetParam().expectedHashes);
    ASSERT_FALSE(hashes.empty());
    DocumentWindow* window = openWindow(GetParam().file, std::nullopt);
    ASSERT_NE(window, nullptr);
    PlayerView* view = window->playerView();
    const double ratio = window->devicePixelRatio();
    SCOPED_TRACE(::testing::Message() << "display scale " << ratio << ", zoom " << view->zoom());
    EXPECT_FALSE(showsScrollBars(window));
    EXPECT_TRUE(window->rect().contains(pictureRectInWindow(window))) << "the picture is cut off";

    // Every zoom × zoom block is one colour, and one of each is the expected frame.
    const int zoom = view->zoom();
    const QImage shown = grabbedPicture(window).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shown.size(), view->pictureSize() * zoom);
    const QImage sampled = shown.scaled(view->pictureSize(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_EQ(screenHash(sampled), hashes[0]);
    EXPECT_TRUE(showsSharpBlocks(window, sampled, zoom));

    trigger(window, kActualSizeAction);
    const int actual = static_cast<int>(std::lround(ratio));
    EXPECT_EQ(view->zoom(), actual);
    EXPECT_EQ(view->transportBar()->zoomLabel()->text(), QString::fromUtf8("%1×").arg(actual));
    if (window->rect().contains(pictureRectInWindow(window))) EXPECT_TRUE(showsSharpBlocks(window, sampled, actual));
}

INSTANTIATE_TEST_SUITE_P(Corpus, PlayerViewScale,
                         ::testing::ValuesIn(corpusAnimations({"mm_op5_1plane_16x16.anim", "pyd_op5_oddwidth_100x75.anim",
                                                               "mm_op5_ehb_320x200.anim", "pyd_op5_hires2col_640x200.anim"})),
                         corpusTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PlayerViewScale);

// Other aspects stretch the shorter side, none in the header leaves the
// picture as it is; the window grows to hold it rather than show scroll bars.
TEST_F(PlayerViewWindowTest, CorrectPixelAspectStretchesByTheHeadersAspectAndGrowsTheWindow) {
    const struct {
        unsigned xAspect, yAspect;
        QSize stretched;  // of a 40 × 20 picture at 2×
    } cases[] = {{22, 11, {160, 40}}, {11, 22, {80, 80}}, {1, 1, {80, 40}}, {0, 0, {80, 40}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.xAspect << ":" << c.yAspect);
        const auto file = files_.write("aspect.anim", syntheticAnimation({.width = 40, .height = 20, .ticks = {6, 6, 6, 6},
                                                                          .header = {.xAspect = c.xAspect, .yAspect = c.yAspect}}));
        DocumentWindow* window = openWindow(file, ViewOptions{.zoom = 2});
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(window->action(kCorrectPixelAspectAction)->isChecked());
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), c.stretched);
        EXPECT_FALSE(showsScrollBars(window));
        EXPECT_TRUE(window->rect().contains(pictureRectInWindow(window)));
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), QSize(80, 40));
        closeAllDocuments();
    }
}

// The demo's 10:11 pixels stretched: each screen row is one of the picture's,
// never a blend. Copy and Export Frame take the frame as decoded, Export
// suggesting a name beside the file; what cannot be written gives one alert.
TEST_F(PlayerViewWindowTest, CorrectedAspectShowsWholeRowsAndCopyAndExportTakeTheUnscaledFrame) {
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 1, .correctPixelAspect = true});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->action(kCorrectPixelAspectAction)->isChecked());
    const QImage screen = grabbedPicture(window).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.size(), QSize(320, 220));
    const QImage frame = demoFrames()[kDemoFrame].convertToFormat(QImage::Format_RGB32);
    std::vector<int> blended;
    for (int y = 0; y < screen.height(); ++y) {
        const int source = y * 200 / 220;
        bool found = false;
        for (int candidate = std::max(0, source - 1); candidate <= std::min(199, source + 1) && !found; ++candidate)
            found = std::memcmp(screen.constScanLine(y), frame.constScanLine(candidate), 320 * 4) == 0;
        if (!found) blended.push_back(y);
    }
    EXPECT_TRUE(blended.empty()) << blended.size() << " rows are no row of the picture, the first " << blended.front();

    trigger(window, kZoomInAction);
    QGuiApplication::clipboard()->clear();
    trigger(window, kCopyFrameAction);
    const std::string unscaled = screenHash(demoFrames()[kDemoFrame]);
    EXPECT_EQ(screenHash(QGuiApplication::clipboard()->image()), unscaled);

    const auto notAFolder = files_.write("not a folder", std::string("text"));
    const auto readOnly = files_ / "read-only";
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::vector<std::pair<std::filesystem::path, bool>> cases = {
        {files_ / "exported.png", true}, {files_ / "no such folder" / "frame.png", false}, {notAFolder / "frame.png", false},
    };
    if (::geteuid() != 0) cases.push_back({readOnly / "frame.png", false});  // permissions do not stop the superuser
    for (const auto& [file, writable] : cases) {
        const QString path = QString::fromStdString(file.string());
        SCOPED_TRACE(path.toStdString());
        QString suggested;
        AlertRecorder alerts;
        {
            ModalAnswerer answerer([&](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                if (!dialog) return;
                suggested = dialog->selectedFiles().value(0);
                if (chooseInFileDialog(dialog, path)) return;
                ADD_FAILURE() << "the save dialog did not take the name";
                dialog->reject();
            });
            trigger(window, kExportFrameAction);
        }
        // Named by the frame's number as the counter shows it.
        EXPECT_TRUE(suggested.endsWith(QLatin1String("/velarium-demo-frame-0013.png"))) << suggested.toStdString();
        EXPECT_TRUE(writable ? alerts.settlesAt(0) : alerts.settlesAt(1, {QFileInfo(path).fileName()}));
        if (writable) EXPECT_EQ(screenHash(QImage(path, "png")), unscaled);
        else EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(window->isVisible());
    }
}

}  // namespace
}  // namespace velarium::app
