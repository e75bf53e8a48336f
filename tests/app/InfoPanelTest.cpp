// The information panel: the texts it shows for an animation, and the tool
// window that shows them.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/ANIMInfo.h"
#include "app/InfoPanel.h"
#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/IFFWriter.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

constexpr std::uint32_t kCamgHAM = 0x800;
constexpr std::uint32_t kCamgEHB = 0x80;

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// An animation as the panel sees it: the first frame's header and display
// mode, then one ANHD per frame. The first frame carries a BODY, the others
// a DLTA; the panel never decodes, so their contents do not matter.
std::unique_ptr<ANIMParser> parsed(const BMHDFields& header, std::uint32_t camgMode,
                                   const std::vector<ANHDFields>& anhds) {
    std::vector<ByteVector> frames;
    for (std::size_t f = 0; f < anhds.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) chunks = {bmhd(header), camg(camgMode)};
        chunks.push_back(anhd(anhds[f]));
        chunks.push_back(chunk(f == 0 ? "BODY" : "DLTA", ByteVector(8, 0)));
        frames.push_back(form("ILBM", chunks));
    }
    auto parser = std::make_unique<ANIMParser>(makeSharedBytes(animFile(frames)));
    EXPECT_TRUE(parser->parseWithError(nullptr));
    return parser;
}

std::vector<ANHDFields> ticks(std::size_t count, std::uint32_t relTime) {
    return std::vector<ANHDFields>(count, ANHDFields{.operation = 0, .relTime = relTime});
}

std::vector<ANHDFields> operations(std::initializer_list<unsigned> ops) {
    std::vector<ANHDFields> frames;
    for (unsigned op : ops) frames.push_back({.operation = op});
    return frames;
}

const std::vector<ANHDFields> kOneFrame = ticks(1, 1);

std::string valueFor(const std::vector<InfoRow>& rows, const char* label) {
    for (const auto& row : rows)
        if (row.label == QLatin1String(label)) return row.value.toStdString();
    return "<no row " + std::string(label) + ">";
}

TEST(InfoRows, OneFrameAnimationShowsEveryRowInOrder) {
    const auto parser = parsed({.width = 320, .height = 200, .planes = 5}, 0, ticks(1, 6));
    std::vector<std::string> shown;
    for (const auto& row : infoRows(*parser, kEnglish)) shown.push_back((row.label + ' ' + row.value).toStdString());
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Resolution: 320 × 200 pixels (5 bitplanes)",
                         "ANIM Opcode: 0 — Direct (BODY)",
                         "HAM Mode: Off",
                         "Extra Half-Brite: Off",
                         "Aspect Ratio: 10:11",
                         "Frames: 1",
                         "Frame Rate: 10.00 fps",  // one frame of 6/60 s
                         "Colours: 32",
                     }));
}

struct RowCase {
    const char* name;
    BMHDFields header;
    std::uint32_t camgMode;
    std::vector<ANHDFields> frames;
    QLocale locale;
    std::vector<std::pair<const char*, std::string>> expected;  // (label, value)
};

TEST(InfoRows, ValuesFollowTheHeaderModeAndTiming) {
    const BMHDFields plain;
    const std::vector<RowCase> cases = {
        {"zero x aspect", {.xAspect = 0, .yAspect = 11}, 0, kOneFrame, kEnglish, {{"Aspect Ratio:", "—"}}},
        {"zero y aspect", {.xAspect = 10, .yAspect = 0}, 0, kOneFrame, kEnglish, {{"Aspect Ratio:", "—"}}},
        {"HAM8", {.planes = 8}, kCamgHAM, kOneFrame, kEnglish,
         {{"HAM Mode:", "HAM8"}, {"Extra Half-Brite:", "Off"}, {"Colours:", "262,144 (64 base registers)"}}},
        {"HAM6", {.planes = 6}, kCamgHAM, kOneFrame, kEnglish,
         {{"HAM Mode:", "HAM6"}, {"Colours:", "4,096 (16 base registers)"}}},
        {"HAM6, German grouping", {.planes = 6}, kCamgHAM, kOneFrame, kGerman,
         {{"Colours:", "4.096 (16 base registers)"}}},
        {"Extra Half-Brite", {.planes = 6}, kCamgEHB, kOneFrame, kEnglish,
         {{"HAM Mode:", "Off"}, {"Extra Half-Brite:", "On"}, {"Colours:", "64 (32 + Extra Half-Brite)"}}},
        {"256 registers", {.planes = 8}, 0, kOneFrame, kEnglish, {{"Colours:", "256"}}},
        // Figures other than the colour count are never grouped, and the
        // frame rate keeps its '.' in every locale.
        {"wide picture, German", {.width = 1280, .height = 1024, .planes = 1}, 0, ticks(3, 7), kGerman,
         {{"Resolution:", "1280 × 1024 pixels (1 bitplanes)"}, {"Frames:", "3"}, {"Frame Rate:", "8.57 fps"}}},
        {"1000 frames", plain, 0, ticks(1000, 2), kEnglish, {{"Frames:", "1000"}, {"Frame Rate:", "30.00 fps"}}},
        // The first delta names the compression, whatever follows it.
        {"first delta", plain, 0, operations({0, 5, 7}), kEnglish,
         {{"ANIM Opcode:", "5 — Byte Vertical Delta (ANIM-5)"}}},
        {"Eric Graham", plain, 0, operations({0, 'J'}), kEnglish, {{"ANIM Opcode:", "J — Eric Graham (ANIM-J)"}}},
        {"vertical short", plain, 0, operations({0, 'l'}), kEnglish,
         {{"ANIM Opcode:", "l — Vertical Short Delta (ANIM-l)"}}},
        {"unknown method", plain, 0, operations({0, 9}), kEnglish, {{"ANIM Opcode:", "9 — Unknown"}}},
        {"long vertical", plain, 0, operations({0, 8}), kEnglish,
         {{"ANIM Opcode:", "8 — Short/Long Vertical Delta (ANIM-8)"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parser = parsed(c.header, c.camgMode, c.frames);
        const auto rows = infoRows(*parser, c.locale);
        for (const auto& [label, value] : c.expected) EXPECT_EQ(valueFor(rows, label), value) << label;
    }
}

TEST(InfoRows, AnimationWithoutFramesHasNoFrameRate) {
    // Every frame lasts at least one tick, so only an empty frame table has
    // no time at all: the rate must not come from a division by zero.
    ANIMParser parser(makeSharedBytes(animFile({})));
    EXPECT_FALSE(parser.parseWithError(nullptr));
    const auto rows = infoRows(parser, kEnglish);
    EXPECT_EQ(valueFor(rows, "Frame Rate:"), "—");
    EXPECT_EQ(valueFor(rows, "Frames:"), "0");
    EXPECT_EQ(valueFor(rows, "ANIM Opcode:"), "0 — Direct (BODY)");
}

// The catalogue of the shared corpus: one row per real file, tab-separated,
// with a header row naming the columns.
TEST(InfoRows, CorpusFilesShowTheirCataloguedGeometryAndMode) {
    const auto catalogue = corpusDir() / "anim" / "CATALOG.tsv";
    if (!std::filesystem::exists(catalogue)) GTEST_SKIP() << "no corpus catalogue";
    const auto lines = readLines(catalogue);
    ASSERT_GT(lines.size(), 1u);
    auto fields = [](const std::string& line) {
        std::vector<std::string> out;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');) out.push_back(field);
        return out;
    };
    const auto header = fields(lines[0]);
    auto column = [&](const char* name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const std::size_t file = column("file"), width = column("width"), height = column("height"),
                      planes = column("planes"), flags = column("camg_flags"), frameCount = column("nframes");
    ASSERT_LT(frameCount, header.size());

    int checked = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto row = fields(lines[i]);
        if (row.size() <= frameCount) continue;
        std::filesystem::path path;
        for (const char* folder : {"real", "generated"})
            if (std::filesystem::exists(corpusDir() / "anim" / folder / row[file]))
                path = corpusDir() / "anim" / folder / row[file];
        if (path.empty()) continue;
        SCOPED_TRACE(row[file]);

        ANIMParser parser(makeSharedBytes(readFileBytes(path)));
        ASSERT_TRUE(parser.parseWithError(nullptr));
        const auto rows = infoRows(parser, kEnglish);
        EXPECT_EQ(valueFor(rows, "Resolution:"),
                  row[width] + " × " + row[height] + " pixels (" + row[planes] + " bitplanes)");
        EXPECT_EQ(valueFor(rows, "Frames:"), row[frameCount]);
        const bool ham = row[flags].find("HAM") != std::string::npos;
        const bool ehb = row[flags].find("EHB") != std::string::npos;
        EXPECT_EQ(valueFor(rows, "HAM Mode:"), !ham ? "Off" : std::stoi(row[planes]) >= 8 ? "HAM8" : "HAM6");
        EXPECT_EQ(valueFor(rows, "Extra Half-Brite:"), ehb ? "On" : "Off");
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

std::vector<InfoRow> sampleRows() {
    const auto parser = parsed({.width = 320, .height = 256, .planes = 6}, kCamgHAM, operations({0, 5, 5}));
    return infoRows(*parser, kEnglish);
}

TEST(InfoPanelWindow, ShowsTheRowsAsRightAlignedLabelsBesideSelectableValues) {
    const auto rows = sampleRows();
    InfoPanel panel(QStringLiteral("walk.anim"), rows);
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("walk.anim Info"));
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_TRUE(panel.windowFlags() & Qt::WindowCloseButtonHint);

    panel.bringToFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ASSERT_EQ(panel.rows().size(), 8u);

    // The window is exactly as large as its content and cannot be resized.
    EXPECT_EQ(panel.minimumSize(), panel.maximumSize());
    EXPECT_EQ(panel.size(), panel.sizeHint());

    int left = panel.width(), top = panel.height(), right = 0, bottom = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        QLabel* label = panel.labelAt(i);
        QLabel* value = panel.valueAt(i);
        EXPECT_EQ(label->text(), rows[i].label);
        EXPECT_EQ(value->text(), rows[i].value);
        EXPECT_TRUE(value->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_LT(value->font().pointSizeF(), QApplication::font().pointSizeF());

        // Labels end at one edge, values start 10 px after it; rows are 6 px apart.
        EXPECT_EQ(label->geometry().right(), panel.labelAt(0)->geometry().right());
        EXPECT_EQ(value->geometry().left(), label->geometry().right() + 1 + InfoPanel::kColumnSpacing);
        if (i > 0) {
            EXPECT_EQ(value->geometry().top(), panel.valueAt(i - 1)->geometry().bottom() + 1 + InfoPanel::kRowSpacing);
        }
        left = std::min(left, label->geometry().left());
        top = std::min(top, label->geometry().top());
        right = std::max(right, value->geometry().right() + 1);
        bottom = std::max(bottom, value->geometry().bottom() + 1);
    }
    // 16 px of margin on every side.
    EXPECT_EQ(left, InfoPanel::kMargin);
    EXPECT_EQ(top, InfoPanel::kMargin);
    EXPECT_EQ(panel.width() - right, InfoPanel::kMargin);
    EXPECT_EQ(panel.height() - bottom, InfoPanel::kMargin);
}

TEST(InfoPanelWindow, SitsBesideTheDocumentWindowOrInTheScreenCentre) {
    QWidget document;
    document.setGeometry(100, 80, 300, 200);
    document.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&document));

    InfoPanel beside(QStringLiteral("a.anim"), sampleRows());
    beside.placeBeside(&document);
    beside.bringToFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beside));
    const QRect window = document.frameGeometry();
    EXPECT_EQ(beside.frameGeometry().topLeft(), QPoint(window.x() + window.width() + 12, window.y()));

    InfoPanel alone(QStringLiteral("b.anim"), sampleRows());
    alone.placeBeside(nullptr);
    alone.bringToFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&alone));
    // Before its first showing the window frame is unknown: the panel itself is centred.
    QRect centred({}, alone.size());
    centred.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    EXPECT_EQ(alone.frameGeometry().topLeft(), centred.topLeft());
}

TEST(InfoPanelWindow, ClosingHidesThePanelWithoutDeletingIt) {
    QPointer<InfoPanel> panel = new InfoPanel(QStringLiteral("c.anim"), sampleRows());
    panel->bringToFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_TRUE(panel->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(panel.isNull());
    EXPECT_FALSE(panel->isVisible());

    // Shown again, it is the same window at the same place.
    const QPoint place = panel->pos();
    panel->bringToFront();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->pos(), place);
    delete panel;
}

}  // namespace
}  // namespace velarium::app
