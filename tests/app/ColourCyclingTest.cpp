// View ▸ Cycle Colours: offered only for pictures whose colours cycle, it
// shows the frame with its palette turned as the core turns it, and gives
// the plain frame back when turned off.
#include <gtest/gtest.h>

#include <QAction>

#include "DocumentTestSupport.h"
#include "app/ANIMInfo.h"
#include "app/ExportDialog.h"
#include "app/MenuActions.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

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
