// The document window around the player view: the zoom a new window picks,
// the View menu's zoom, aspect and full-screen commands, and Copy Frame and
// Export Frame.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "PlayerViewTestSupport.h"
#include "app/MenuActions.h"
#include "support/TemporaryFolder.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

constexpr int kDemoFrame = 12;

const std::vector<QImage>& demoFrames() {
    static const std::vector<QImage> frames = coreFrames(VELARIUM_DEMO_FILE);
    return frames;
}

// `frame` enlarged by whole factors, every pixel a sharp block.
QImage blocks(const QImage& frame, int zoom) {
    QImage out(frame.width() * zoom, frame.height() * zoom, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) out.setPixel(x, y, frame.pixel(x / zoom, y / zoom));
    return out;
}

// Types `path` into a save dialog's file name field and saves. Never lets
// the dialog save under its suggestion, beside the document.
void saveAs(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name) name->setText(path);
    if (!name || dialog->selectedFiles() != QStringList{path}) {
        ADD_FAILURE() << "the save dialog did not take " << path.toStdString();
        dialog->reject();
        return;
    }
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept() is protected
}

class PlayerViewWindowTest : public ::testing::Test {
protected:
    void TearDown() override { closeAllDocuments(); }

    DocumentWindow* openDemoAtFrame(std::optional<ViewOptions> options = ViewOptions{.zoom = 1}) {
        DocumentWindow* window = openWindow(VELARIUM_DEMO_FILE, options);
        if (!window) return nullptr;
        dragScrubber(window, {kDemoFrame});
        if (!waitForFrame(window, kDemoFrame)) return nullptr;
        return window;
    }

    TemporaryFolder folder_;
};

TEST_F(PlayerViewWindowTest, NewWindowOpensAtTheLargestZoomThatFitsTheScreen) {
    struct ZoomCase {
        const char* name;
        unsigned width, height;
        int zoom;  // 0: any zoom that makes the picture at least half the screen
        bool fitted;
    };
    const ZoomCase cases[] = {
        {"26 × 20 brush", 26, 20, 0, false},
        {"320 × 200 lores", 320, 200, 2, false},
        {"640 × 200 hires", 640, 200, 1, false},
        {"40 × 380 column, limited by height", 40, 380, 1, false},
        {"800 × 600, larger than the screen with the window around it", 800, 600, 0, true},
    };
    // The zooms above are those of the offscreen platform's screen, 800 wide
    // and 600 or 800 high.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (screen.width() != 800 || (screen.height() != 600 && screen.height() != 800))
        GTEST_SKIP() << "a screen of " << screen.width() << " × " << screen.height();
    for (const ZoomCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = folder_.write("picture-" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".anim",
                                        pictureSequenceFile({.width = c.width, .height = c.height, .pictures = {0, 1}}));
        DocumentWindow* window = openWindow(file, std::nullopt);
        ASSERT_NE(window, nullptr);
        const PlayerView* view = window->playerView();
        const QRect picture = pictureRectInWindow(window);
        EXPECT_LE(window->frameGeometry().width(), screen.width());
        EXPECT_LE(window->frameGeometry().height(), screen.height());
        EXPECT_TRUE(window->rect().contains(picture)) << "the picture is cut off";
        EXPECT_EQ(view->viewOptions().fitToWindow, c.fitted);
        if (c.fitted) {
            EXPECT_LT(picture.width(), static_cast<int>(c.width));
            EXPECT_NEAR(double(picture.width()) / picture.height(), double(c.width) / c.height, 0.01);
        } else if (c.zoom) {
            EXPECT_EQ(view->zoom(), c.zoom);
        } else {
            EXPECT_TRUE(picture.width() >= screen.width() / 2 || picture.height() >= screen.height() / 2)
                << "shown tiny at " << view->zoom() << "×";
        }
        if (!c.fitted) {
            EXPECT_EQ(picture.size(), QSize(c.width, c.height) * view->zoom());
        }
        closeAllDocuments();
    }
}

TEST_F(PlayerViewWindowTest, ZoomCommandsStepByWholeFactorsWithSharpPixels) {
    struct ZoomStep {
        const char* action;
        int zoom;
    };
    const ZoomStep steps[] = {
        {kZoomInAction, 3},  {kZoomOutAction, 2},    {kZoomOutAction, 1}, {kZoomOutAction, 1},
        {kZoomInAction, 2},  {kActualSizeAction, 1}, {kZoomInAction, 2},
    };
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 2});
    ASSERT_NE(window, nullptr);
    for (const ZoomStep& step : steps) {
        SCOPED_TRACE(step.action);
        trigger(window, step.action);
        EXPECT_EQ(window->playerView()->zoom(), step.zoom);
        // The window keeps its size: a larger picture is shown from its centre.
        const QRect picture = pictureRectInWindow(window);
        EXPECT_EQ(picture.size(), QSize(320, 200) * step.zoom);
        if (window->rect().contains(picture)) {
            EXPECT_EQ(screenHash(grabbedPicture(window)), screenHash(blocks(demoFrames()[kDemoFrame], step.zoom)));
        }
    }
}

TEST_F(PlayerViewWindowTest, FitToWindowScalesWithTheWindowAndZoomStepsFromThere) {
    DocumentWindow* window = openDemoAtFrame();
    ASSERT_NE(window, nullptr);
    window->resize(600, 400);
    trigger(window, kFitToWindowAction);
    QCoreApplication::processEvents();
    const QRect picture = pictureRectInWindow(window);
    const double scale = double(picture.width()) / 320;
    EXPECT_GT(scale, 1.0);
    EXPECT_LT(scale, 2.0);
    EXPECT_NEAR(double(picture.width()) / picture.height(), 320.0 / 200, 0.01);
    EXPECT_TRUE(window->rect().contains(picture));

    window->resize(800, 560);
    QCoreApplication::processEvents();
    EXPECT_GT(pictureRectInWindow(window).width(), picture.width()) << "the fitted picture did not follow the window";

    struct FittedStep {
        const char* action;
        int zoom;  // from a fitted scale between 1 and 2
    };
    for (const FittedStep step : {FittedStep{kZoomInAction, 2}, FittedStep{kZoomOutAction, 1}}) {
        SCOPED_TRACE(step.action);
        window->resize(600, 400);
        trigger(window, kFitToWindowAction);
        QCoreApplication::processEvents();
        trigger(window, step.action);
        EXPECT_FALSE(window->playerView()->viewOptions().fitToWindow);
        EXPECT_EQ(window->playerView()->zoom(), step.zoom);
    }
}

TEST_F(PlayerViewWindowTest, CorrectPixelAspectStretchesByTheHeadersAspect) {
    struct AspectCase {
        const char* name;
        unsigned xAspect, yAspect;
        QSize stretched;  // of a 40 × 20 picture at 2×
    };
    const AspectCase cases[] = {
        {"tall pixels 10:11", 10, 11, {80, 44}},
        {"wide pixels 22:11", 22, 11, {160, 40}},
        {"square pixels", 1, 1, {80, 40}},
        {"no aspect in the header", 0, 0, {80, 40}},
    };
    for (const AspectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = folder_.write("aspect.anim", pictureSequenceFile({.width = 40, .height = 20,
                                                                            .xAspect = c.xAspect,
                                                                            .yAspect = c.yAspect}));
        DocumentWindow* window = openWindow(file, ViewOptions{.zoom = 2});
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(window->action(kCorrectPixelAspectAction)->isChecked());
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), c.stretched);
        trigger(window, kCorrectPixelAspectAction);
        EXPECT_EQ(pictureRectInWindow(window).size(), QSize(80, 40));
        closeAllDocuments();
    }
}

TEST_F(PlayerViewWindowTest, DemoShownWithCorrectAspectRepeatsWholeRows) {
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 1, .correctPixelAspect = true});
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->action(kCorrectPixelAspectAction)->isChecked());
    const QImage shown = grabbedPicture(window);
    ASSERT_EQ(shown.size(), QSize(320, 220));  // 10:11 pixels are a tenth taller than wide
    // Each screen row is one of the picture's rows, never a blend of two.
    const QImage frame = demoFrames()[kDemoFrame].convertToFormat(QImage::Format_RGB32);
    const QImage screen = shown.convertToFormat(QImage::Format_RGB32);
    std::vector<int> blended;
    for (int y = 0; y < screen.height(); ++y) {
        const int source = y * 200 / 220;
        bool found = false;
        for (int candidate = std::max(0, source - 1); candidate <= std::min(199, source + 1) && !found; ++candidate)
            found = std::memcmp(screen.constScanLine(y), frame.constScanLine(candidate), 320 * 4) == 0;
        if (!found) blended.push_back(y);
    }
    EXPECT_TRUE(blended.empty()) << blended.size() << " rows are no row of the picture, the first " << blended.front();
}

TEST_F(PlayerViewWindowTest, FullScreenTogglesAndComesBack) {
    DocumentWindow* window = openDemoAtFrame(std::nullopt);
    ASSERT_NE(window, nullptr);
    const QSize normal = window->size();
    trigger(window, kFullScreenAction);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isFullScreen(); }, 2000));
    EXPECT_TRUE(window->action(kFullScreenAction)->isChecked());
    // Under a bare X server no window manager resizes the window.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == window->screen()->size(); }, 2000));
    }
    EXPECT_EQ(window->playerView()->currentFrameIndex(), std::uint64_t(kDemoFrame));

    trigger(window, kFullScreenAction);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen(); }, 2000));
    EXPECT_FALSE(window->action(kFullScreenAction)->isChecked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == normal; }, 2000));
}

// Copy and export.

TEST_F(PlayerViewWindowTest, CopyFramePutsTheUnscaledFrameOnTheClipboard) {
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 3, .correctPixelAspect = true});
    ASSERT_NE(window, nullptr);
    QGuiApplication::clipboard()->clear();
    trigger(window, kCopyFrameAction);
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(320, 200));
    EXPECT_EQ(screenHash(copied), screenHash(demoFrames()[kDemoFrame]));
}

TEST_F(PlayerViewWindowTest, ExportFrameWritesThePNGTheUserNames) {
    DocumentWindow* window = openDemoAtFrame(ViewOptions{.zoom = 2});
    ASSERT_NE(window, nullptr);
    const QString path = QString::fromStdString((folder_ / "exported.png").string());
    QString suggested;
    int alerts = 0;
    {
        ModalAnswerer answerer([&](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                suggested = dialog->selectedFiles().value(0);
                saveAs(dialog, path);
            } else {
                ++alerts;
                acceptMessageBox(modal);
            }
        });
        trigger(window, kExportFrameAction);
    }
    EXPECT_EQ(alerts, 0);
    EXPECT_TRUE(suggested.endsWith(QLatin1String("/velarium-demo-frame-0012.png"))) << suggested.toStdString();
    const QImage written(path, "png");
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(320, 200));
    EXPECT_EQ(screenHash(written), screenHash(demoFrames()[kDemoFrame]));
}

TEST_F(PlayerViewWindowTest, ExportFrameThatCannotBeWrittenGivesOneAlert) {
    struct FailureCase {
        const char* name;
        std::string path;
    };
    const auto notAFolder = folder_.write("not a folder", std::string("text"));
    const auto readOnly = folder_ / "read-only";
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::vector<FailureCase> cases = {
        {"folder that does not exist", (folder_ / "no such folder" / "frame.png").string()},
        {"a file where the folder should be", (notAFolder / "frame.png").string()},
    };
    // Permissions do not stop the superuser.
    if (::geteuid() != 0) cases.push_back({"read-only folder", (readOnly / "frame.png").string()});
    DocumentWindow* window = openDemoAtFrame();
    ASSERT_NE(window, nullptr);
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = QString::fromStdString(c.path);
        QStringList alerts;
        {
            ModalAnswerer answerer([&](QWidget* modal) {
                if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                    saveAs(dialog, path);
                } else {
                    alerts.append(acceptMessageBox(modal));
                }
            });
            trigger(window, kExportFrameAction);
        }
        ASSERT_EQ(alerts.size(), 1);
        EXPECT_TRUE(alerts.front().contains(QFileInfo(path).fileName())) << alerts.front().toStdString();
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(window->isVisible());
    }
}

}  // namespace
}  // namespace velarium::app


