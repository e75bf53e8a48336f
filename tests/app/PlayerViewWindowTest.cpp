// The document window: the zoom a new window picks, the View menu's zoom,
// aspect and full-screen commands, Copy Frame and Export Frame.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

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

TEST_F(PlayerViewWindowTest, NewWindowOpensAtTheLargestZoomThatFitsTheScreen) {
    const struct {
        unsigned width, height;
        int zoom;  // 0: any zoom that makes the picture at least half the screen
        bool fitted;
    } cases[] = {
        {26, 20, 0, false},    // a brush
        {320, 200, 2, false},  // lores
        {640, 200, 1, false},  // hires
        {40, 380, 1, false},   // a column, limited by height
        {800, 600, 0, true},   // larger than the screen with the window around it
    };
    // The zooms above are those of the offscreen platform's screen, 800 wide
    // and 600 or 800 high.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (screen.width() != 800 || (screen.height() != 600 && screen.height() != 800))
        GTEST_SKIP() << "a screen of " << screen.width() << " × " << screen.height();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " × " << c.height);
        DocumentWindow* window = openWindow(
            files_.write("picture.anim", pictureSequenceFile({.width = c.width, .height = c.height, .pictures = {0, 1}})),
            std::nullopt);
        ASSERT_NE(window, nullptr);
        const PlayerView* view = window->playerView();
        const QRect picture = pictureRectInWindow(window);
        EXPECT_TRUE(screen.contains(window->frameGeometry())) << "the window is not all on the screen";
        EXPECT_TRUE(window->rect().contains(picture)) << "the picture is cut off";
        EXPECT_EQ(view->viewOptions().fitToWindow, c.fitted);
        if (c.fitted) {
            EXPECT_LT(picture.width(), static_cast<int>(c.width));
            EXPECT_NEAR(double(picture.width()) / picture.height(), double(c.width) / c.height, 0.01);
        } else {
            const bool large = picture.width() >= screen.width() / 2 || picture.height() >= screen.height() / 2;
            EXPECT_TRUE(c.zoom ? view->zoom() == c.zoom : large) << "shown at " << view->zoom() << "×";
            EXPECT_EQ(picture.size(), QSize(c.width, c.height) * view->zoom());
        }
        closeAllDocuments();
    }
}

// Zoom steps by whole factors with sharp pixels; a larger picture is shown
// from its centre in a window that keeps its size. Fit to Window scales
// with the window, and zoom steps from a fitted scale to the next whole one.
TEST_F(PlayerViewWindowTest, ZoomFitAndFullScreen) {
    const std::pair<const char*, int> steps[] = {
        {kZoomInAction, 3}, {kZoomOutAction, 2},    {kZoomOutAction, 1}, {kZoomOutAction, 1},
        {kZoomInAction, 2}, {kActualSizeAction, 1}, {kZoomInAction, 2},
    };
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 2});
    ASSERT_NE(window, nullptr);
    for (const auto& [action, zoom] : steps) {
        SCOPED_TRACE(action);
        trigger(window, action);
        EXPECT_EQ(window->playerView()->zoom(), zoom);
        const QRect picture = pictureRectInWindow(window);
        EXPECT_EQ(picture.size(), QSize(320, 200) * zoom);
        if (window->rect().contains(picture)) {
            // Every pixel of the frame a sharp block.
            const QImage blocks =
                demoFrames()[kDemoFrame].scaled(QSize(320, 200) * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            EXPECT_EQ(screenHash(grabbedPicture(window)), screenHash(blocks));
        }
    }

    for (const auto& [action, zoom] : {std::pair{kZoomInAction, 2}, std::pair{kZoomOutAction, 1}}) {
        SCOPED_TRACE(action);
        window->resize(800, 560);
        trigger(window, kFitToWindowAction);
        QCoreApplication::processEvents();
        const int wide = pictureRectInWindow(window).width();
        window->resize(600, 400);
        QCoreApplication::processEvents();
        const QRect picture = pictureRectInWindow(window);
        EXPECT_LT(picture.width(), wide) << "the fitted picture did not follow the window";
        EXPECT_TRUE(picture.width() > 320 && picture.width() < 640) << picture.width();
        EXPECT_NEAR(double(picture.width()) / picture.height(), 320.0 / 200, 0.01);
        EXPECT_TRUE(window->rect().contains(picture));
        trigger(window, action);
        EXPECT_FALSE(window->playerView()->viewOptions().fitToWindow);
        EXPECT_EQ(window->playerView()->zoom(), zoom);
    }

    // Full screen and back, to the same size and frame.
    const QSize normal = window->size();
    trigger(window, kFullScreenAction);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isFullScreen(); }, 2000));
    EXPECT_TRUE(window->action(kFullScreenAction)->isChecked());
    // Under a bare X server no window manager resizes the window.
    const bool managed = QGuiApplication::platformName() == QLatin1String("offscreen");
    EXPECT_TRUE(!managed || QTest::qWaitFor([&] { return window->size() == window->screen()->size(); }, 2000));
    trigger(window, kFullScreenAction);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen(); }, 2000));
    EXPECT_FALSE(window->action(kFullScreenAction)->isChecked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == normal; }, 2000));
    EXPECT_EQ(window->playerView()->currentFrameIndex(), std::uint64_t(kDemoFrame));
}

// Aspects other than the demo's stretch the shorter side; none in the header
// leaves the picture as it is.
TEST_F(PlayerViewWindowTest, CorrectPixelAspectStretchesByTheHeadersAspect) {
    const struct {
        unsigned xAspect, yAspect;
        QSize stretched;  // of a 40 × 20 picture at 2×
    } cases[] = {{22, 11, {160, 40}}, {1, 1, {80, 40}}, {0, 0, {80, 40}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.xAspect << ":" << c.yAspect);
        DocumentWindow* window = openWindow(
            files_.write("aspect.anim", pictureSequenceFile({.width = 40, .height = 20, .xAspect = c.xAspect, .yAspect = c.yAspect})),
            ViewOptions{.zoom = 2});
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(window->action(kCorrectPixelAspectAction)->isChecked());
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), c.stretched);
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), QSize(80, 40));
        closeAllDocuments();
    }
}

// The demo's 10:11 pixels stretched: each screen row is one of the
// picture's rows, never a blend of two. Copy Frame and Export Frame take the
// frame as decoded; Export suggests a name beside the file. What cannot be
// written gives one alert and leaves nothing behind.
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
