// The information panel: the texts it shows for an animation, where it
// appears on the screen, and View ▸ Show Info on a document.
#include <gtest/gtest.h>

#include <QLabel>
#include <QScreen>

#include "DocumentTestSupport.h"
#include "app/ANIMInfo.h"
#include "app/InfoPanel.h"
#include "app/MenuActions.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// The first frame's header, display mode and `frameChunks`, then one ANHD
// per frame, after `fileChunks` at the top level; the panel never decodes,
// so the picture data is filler.
QByteArray animation(const BMHDFields& header, std::uint32_t camgMode, const std::vector<ANHDFields>& anhds,
                     const std::vector<ByteVector>& frameChunks = {}, std::vector<ByteVector> fileChunks = {}) {
    for (std::size_t f = 0; f < anhds.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) {
            chunks = {bmhd(header), camg(camgMode)};
            chunks.insert(chunks.end(), frameChunks.begin(), frameChunks.end());
        }
        chunks.push_back(anhd(anhds[f]));
        chunks.push_back(chunk(f == 0 ? "BODY" : "DLTA", ByteVector(8, 0)));
        fileChunks.push_back(form("ILBM", chunks));
    }
    const ByteVector bytes = animFile(fileChunks);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

ByteVector text(std::string_view bytes) { return ByteVector(bytes.begin(), bytes.end()); }

std::vector<ANHDFields> ticks(std::size_t count, std::uint32_t relTime) {
    return std::vector<ANHDFields>(count, ANHDFields{.operation = 0, .relTime = relTime});
}

TEST(InfoRows, ValuesFollowTheHeaderModeAndTiming) {
    const BMHDFields plain;
    const std::vector<ANHDFields> one = ticks(1, 1);
    const struct {
        BMHDFields header;
        std::uint32_t camgMode;
        std::vector<ANHDFields> frames;
        QLocale locale;
        std::vector<std::string> expected;  // rows that must be among those shown
        std::vector<ByteVector> frameChunks = {}, fileChunks = {};
    } cases[] = {
        {{.xAspect = 0, .yAspect = 11}, 0, one, kEnglish, {"Aspect Ratio: —"}},
        {{.xAspect = 10, .yAspect = 0}, 0, one, kEnglish, {"Aspect Ratio: —"}},
        {{.planes = 8}, ANIMParser::kCamgHAM, one, kEnglish,
         {"HAM Mode: HAM8", "Extra Half-Brite: Off", "Colours: 262,144 (64 base registers)"}},
        {{.planes = 6}, ANIMParser::kCamgHAM, one, kEnglish, {"HAM Mode: HAM6", "Colours: 4,096 (16 base registers)"}},
        {{.planes = 6}, ANIMParser::kCamgHAM, one, kGerman, {"Colours: 4.096 (16 base registers)"}},
        {{.planes = 6}, ANIMParser::kCamgEHB, one, kEnglish,
         {"HAM Mode: Off", "Extra Half-Brite: On", "Colours: 64 (32 + Extra Half-Brite)"}},
        {{.planes = 8}, 0, one, kEnglish, {"Colours: 256"}},
        // Only the colour count is grouped; the frame rate keeps its '.' in every locale.
        {{.width = 1280, .height = 1024, .planes = 1}, 0, ticks(3, 7), kGerman,
         {"Resolution: 1280 × 1024 pixels (1 bitplanes)", "Frames: 3", "Frame Rate: 8.57 fps"}},
        {plain, 0, ticks(1000, 2), kEnglish,
         {"Frames: 1000", "Frame Rate: 30.00 fps", "Duration: 33.333 s", "Size: 60.1 kB (60,052 bytes)"}},
        // The transparent colour is a register the picture has, named only with its masking.
        {{.planes = 2, .masking = 2, .transparentColor = 3}, 0, one, kEnglish, {"Transparent Colour: Colour 3"}},
        {{.planes = 2, .masking = 2, .transparentColor = 4}, 0, one, kEnglish, {"Transparent Colour: None"}},
        {{.planes = 2, .masking = 1, .transparentColor = 3}, 0, one, kEnglish, {"Transparent Colour: None"}},
        // The file's own texts, in a frame or beside the frames: the first of
        // each kind, ISO 8859-1, control characters escaped, long ones cut.
        {plain, 0, one, kEnglish,
         {"Annotation: Made with Deluxe Paint", R"(Author: J\\B \x1b[1m\n\x9b© 1990)", "Name: walk",
          "Copyright: " + std::string(159, 'x') + "…"},
         {chunk("ANNO", text({"Made with Deluxe Paint\0\0", 24})), chunk("NAME", text("walk")),
          chunk("NAME", text("run"))},
         {chunk("AUTH", text("J\\B \x1b[1m\n\x9b\xa9 1990\n")), chunk("(c) ", ByteVector(2000, 'x'))}},

        // The first delta names the compression, whatever follows it.
        {plain, 0, {{.operation = 0}, {.operation = 5}, {.operation = 7}}, kEnglish, {"ANIM Opcode: 5 — Byte Vertical Delta (ANIM-5)"}},
        {plain, 0, {{.operation = 0}, {.operation = 'J'}}, kEnglish, {"ANIM Opcode: J — Eric Graham (ANIM-J)"}},
        {plain, 0, {{.operation = 0}, {.operation = 9}}, kEnglish, {"ANIM Opcode: 9 — Unknown"}},
    };
    for (const auto& c : cases) {
        Error error;
        const QByteArray file = animation(c.header, c.camgMode, c.frames, c.frameChunks, c.fileChunks);
        const auto info = ANIMInfo::fromBytes(file, "test.anim", &error);
        ASSERT_TRUE(info) << error.localizedDescription;
        std::vector<std::string> shown;
        for (const InfoRow& row : info->rows(c.locale)) shown.push_back((row.label + ' ' + row.value).toStdString());
        for (const std::string& row : c.expected)
            EXPECT_TRUE(std::ranges::find(shown, row) != shown.end())
                << row << " not among: " << ::testing::PrintToString(shown);
    }
}

TEST(InfoPanelPlacement, BesideTheWindowWhereThereIsRoomAndAlwaysOnTheScreen) {
    enum class Side { right, left, over, centred };
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize small(area.width() / 5, area.height() / 4);
    const struct {
        const char* name;
        QPoint at;  // the window frame's top-left
        QSize size;
        Qt::WindowState state;
        Side side;
    } cases[] = {
        {"room on the right", area.topLeft() + QPoint(8, 20), small, Qt::WindowNoState, Side::right},
        {"at the right edge", {area.right() + 1 - small.width(), area.top() + 20}, small, Qt::WindowNoState, Side::left},
        {"near the bottom", {area.left() + 8, area.bottom() - 40}, small, Qt::WindowNoState, Side::right},
        {"as wide as the screen", area.topLeft(), {area.width(), small.height()}, Qt::WindowNoState, Side::over},
        {"maximised", area.topLeft(), small, Qt::WindowMaximized, Side::over},
        {"full screen", area.topLeft(), small, Qt::WindowFullScreen, Side::over},
        {"no window", {}, {}, Qt::WindowNoState, Side::centred},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        QRect frame;
        if (c.side != Side::centred) {
            window.resize(c.size);
            window.show();
            window.setWindowState(c.state);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
            if (c.state == Qt::WindowNoState) {  // its frame inside the screen, whatever the margins
                window.resize(c.size - (window.frameGeometry().size() - window.size()));
                window.move(c.at);
            } else if (!QTest::qWaitFor([&] { return window.frameGeometry().width() >= area.width(); }, 1000)) {
                continue;  // no window manager to maximise it
            }
            QTest::qWait(20);
            frame = window.frameGeometry();
        }
        InfoPanel shown(QStringLiteral("walk.anim"),
                        ANIMInfo::fromBytes(animation({}, 0, ticks(2, 6)), "walk.anim", nullptr)->rows(kEnglish));
        shown.placeBeside(c.side == Side::centred ? nullptr : &window);
        shown.bringToFront();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown));
        QTest::qWait(50);  // placed again with its own frame
        const QRect panel = shown.frameGeometry();
        EXPECT_TRUE(area.contains(panel)) << "the panel is at " << panel.x() << "," << panel.y() << " "
                                          << panel.width() << " × " << panel.height();
        const QPoint expected[] = {
            {frame.right() + 1 + 12, std::min(frame.top(), area.bottom() + 1 - panel.height())},  // right
            {frame.left() - 12 - panel.width(), frame.top()},                                     // left
            {frame.right() + 1 - 12 - panel.width(), frame.top() + 12},  // over, inside the top-right corner
            area.center() - QPoint(panel.width() - 1, panel.height() - 1) / 2,                   // centred
        };
        const QPoint wanted = expected[int(c.side)];
        EXPECT_LE((panel.topLeft() - wanted).manhattanLength(), c.side == Side::centred ? 2 : 0)
            << "at " << panel.x() << "," << panel.y() << " rather than " << wanted.x() << "," << wanted.y();
    }
}

using ShowInfo = ApplicationTest;

// Ctrl+I shows and hides the panel, the menu item saying which it does next;
// the keyboard stays with the player, and keys in the panel reach the window.
TEST_F(ShowInfo, TogglesOnePanelKeptForTheDocumentThatLeavesTheKeysToThePlayer) {
    const auto file = files_.write("walk.anim", syntheticAnimation({.width = 24, .height = 8, .ticks = {6, 6, 6}}));
    QPointer<DocumentWindow> window = openWindow(file);
    ASSERT_FALSE(window.isNull());
    QAction* item = window->action(kShowInfoAction);
    const auto pressInActiveWindow = [](QKeyCombination key) {
        QTest::keyClick(QApplication::activeWindow(), key.key(), key.keyboardModifiers());
    };
    pressInActiveWindow(Qt::CTRL | Qt::Key_I);
    QPointer<InfoPanel> panel = window->document()->infoPanel();
    ASSERT_FALSE(panel.isNull());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_EQ(panel->windowTitle(), "walk.anim Info");
    EXPECT_EQ(item->text(), "Hide &Info");
    QStringList texts;
    for (const QLabel* label : panel->findChildren<QLabel*>()) texts << label->text();
    EXPECT_EQ(texts.join(' '), QString::fromUtf8("Resolution: 24 × 8 pixels (2 bitplanes) ANIM Opcode: 0 — Direct (BODY) "
                                                 "HAM Mode: Off Extra Half-Brite: Off Aspect Ratio: 10:11 Frames: 3 "
                                                 "Frame Rate: 10.00 fps Colours: 4 File: walk.anim Size: 408 bytes "
                                                 "Duration: 0.300 s Transparent Colour: None Colour Cycling: —"));
    const QPoint place = panel->pos();

    const struct {
        const char* name;
        QKeyCombination key;
        bool inPanel;  // the user clicked into the panel first
        bool shownAfter;
    } steps[] = {
        {"Right beside the panel", Qt::Key_Right, false, true},
        {"Ctrl+I hides", Qt::CTRL | Qt::Key_I, false, false},
        {"Ctrl+I shows the same panel again", Qt::CTRL | Qt::Key_I, false, true},
        {"Right in the panel", Qt::Key_Right, true, true},
        {"Escape in the panel hides", Qt::Key_Escape, true, false},
        {"Ctrl+I shows it again", Qt::CTRL | Qt::Key_I, false, true},
        {"Ctrl+I in the panel hides", Qt::CTRL | Qt::Key_I, true, false},
    };
    std::uint64_t frame = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        QCursor::setPos(step.inPanel ? panel->frameGeometry().center() : window->frameGeometry().center());
        if (step.inPanel) {
            panel->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
        }
        pressInActiveWindow(step.key);
        if (step.key.key() == Qt::Key_Right) EXPECT_TRUE(waitForFrame(window, ++frame));
        EXPECT_EQ(panel->isVisible(), step.shownAfter);
        EXPECT_EQ(item->text(), step.shownAfter ? "Hide &Info" : "Show &Info");
        const QWidget* keyboard = step.inPanel && step.shownAfter ? static_cast<QWidget*>(panel) : window;
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == keyboard; }, 1000))
            << "the keyboard is with " << QApplication::activeWindow();
        EXPECT_EQ(window->document()->infoPanel(), panel);
        EXPECT_EQ(panel->pos(), place);
    }

    // Closed with the panel shown, by Ctrl+W, the document takes its panel along.
    pressInActiveWindow(Qt::CTRL | Qt::Key_I);
    pressInActiveWindow(Qt::CTRL | Qt::Key_W);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull() && panel.isNull(); }, 2000));

    // A file without frames says so once, and shows no panel.
    AlertRecorder alerts;
    Document* document = open(files_.write("empty.anim", animFile({})));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(alerts.settlesAt(1));  // it cannot be played either
    trigger(document->window(), kShowInfoAction);
    EXPECT_TRUE(alerts.settlesAt(2, {"“empty.anim” holds no animation frames."}));
    EXPECT_EQ(document->infoPanel(), nullptr);
}

}  // namespace
}  // namespace velarium::app
