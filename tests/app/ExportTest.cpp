// File ▸ Export Animation… and File ▸ Export Frames…, driven as the user
// drives them: the menu action, the options dialog, the save or folder
// dialog, the progress sheet (Escape cancels) and the alert at the end.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QSpinBox>

#include "DocumentTestSupport.h"
#include "app/ExportDialog.h"
#include "app/ExportWorkflow.h"
#include "app/MenuActions.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

// What the user answers in each dialog of one export.
struct UserAnswers {
    QString path = {};                               // typed into the save or folder dialog
    std::optional<std::pair<int, int>> range = {};   // frames from, to, numbered from 1
    bool cancel = false;                             // Escape as soon as the progress sheet shows
    QMessageBox::ButtonRole role = QMessageBox::AcceptRole;  // pressed in every alert
};

class ExportTest : public ApplicationTest {
protected:
    // Runs the menu action with `answers` given to every modal dialog, and
    // waits until the export is over and its alerts have come.
    void runExport(DocumentWindow* window, const char* action, const UserAnswers& answers) {
        alerts_.clear();
        sheetShown_ = false;
        ModalAnswerer answerer([&](QWidget* modal) { answer(modal, answers); });
        trigger(window, action);
        auto* workflow = window->findChild<ExportWorkflow*>();
        ASSERT_TRUE(waitFor([&] { return !workflow->isBusy(); }, 120000));
        QTest::qWait(kQuietMs);
    }

    void answer(QWidget* modal, const UserAnswers& answers) {
        if (auto* dialog = qobject_cast<ExportDialog*>(modal)) {
            dialog->formatBox()->setCurrentIndex(dialog->formatBox()->findText(QStringLiteral("APNG")));
            rangeOffered_ = {dialog->fromBox()->minimum(), dialog->toBox()->maximum()};
            if (answers.range) {
                dialog->fromBox()->setValue(answers.range->first);
                dialog->toBox()->setValue(answers.range->second);
            }
            QTest::keyClick(dialog, Qt::Key_Return);
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            chooseInFileDialog(dialog, answers.path);
        } else if (modal->objectName() == QLatin1String("BW_ProgressSheetPanel")) {
            sheetShown_ = true;
            if (answers.cancel) QTest::keyClick(modal, Qt::Key_Escape);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            alerts_ << box->text() + '\n' + box->informativeText();
            acceptMessageBox(box, answers.role);
        }
    }

    QStringList alerts_;
    bool sheetShown_ = false;
    std::pair<int, int> rangeOffered_;
};

// The number of frames an APNG's animation control chunk declares; 0 without one.
std::uint32_t apngFrameCount(const std::filesystem::path& file) {
    const ByteVector bytes = readFileBytes(file);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t at = text.find("acTL");
    if (at == std::string_view::npos || at + 8 > bytes.size()) return 0;
    return std::uint32_t(bytes[at + 4]) << 24 | std::uint32_t(bytes[at + 5]) << 16 |
           std::uint32_t(bytes[at + 6]) << 8 | bytes[at + 7];
}

// Cancelled, an export leaves and says nothing; finished, the file holds the
// frames asked for (numbered from 1) and an alert says so; failed, one alert
// names the file. Playback goes on throughout.
TEST_F(ExportTest, ExportAnimationCancelsFinishesAndFails) {
    const auto source = animationFile("walk.anim", 6);
    const auto output = files_ / "out";
    std::filesystem::create_directory(output);
    DocumentWindow* window = openWindow(source);
    ASSERT_NE(window, nullptr);
    window->action(kLoopAction)->setChecked(true);
    trigger(window, kPlayPauseAction);
    ASSERT_TRUE(window->playerView()->isPlaying());

    if (const auto bench = benchAnimation(); !bench.empty()) {
        DocumentWindow* benchWindow = openWindow(bench);
        ASSERT_NE(benchWindow, nullptr);
        runExport(benchWindow, kExportAnimationAction, {.path = QString::fromStdString(output / "bench.png"), .cancel = true});
        EXPECT_TRUE(sheetShown_);
        EXPECT_TRUE(alerts_.isEmpty()) << alerts_.join(" | ").toStdString();
        EXPECT_TRUE(filesIn(output).empty());
        benchWindow->close();
    }

    const QString finished = QString::fromStdString(output / "walk.png");
    runExport(window, kExportAnimationAction, {.path = finished, .range = std::pair{2, 5}});
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_TRUE(alerts_[0].contains(QStringLiteral("“walk.png” was exported"))) << alerts_[0].toStdString();
    EXPECT_EQ(rangeOffered_, std::pair(1, 6));
    EXPECT_EQ(apngFrameCount(output / "walk.png"), 4u);
    EXPECT_EQ(screenHash(QImage(finished)), screenHash(coreFrames(source)[1])) << "the first frame exported";
    EXPECT_EQ(filesIn(output), std::vector<std::string>{"walk.png"});
    EXPECT_TRUE(window->playerView()->isPlaying());

    const QString unwritable = QString::fromStdString(files_ / "no such folder" / "walk.png");
    runExport(window, kExportAnimationAction, {.path = unwritable});
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_TRUE(alerts_[0].contains(QStringLiteral("“walk.png” couldn’t be exported"))) << alerts_[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(unwritable));
    EXPECT_TRUE(window->playerView()->isPlaying());
}

// Every frame as a PNG numbered from 1, as the core decodes it. Frames already in
// the folder are replaced only when the user says so.
TEST_F(ExportTest, ExportFramesWritesNumberedPNGs) {
    const auto source = animationFile("walk.anim", 12);
    const auto folder = files_ / "frames";
    std::filesystem::create_directory(folder);
    DocumentWindow* window = openWindow(source);
    ASSERT_NE(window, nullptr);

    runExport(window, kExportFramesAction, {.path = QString::fromStdString(folder)});
    ASSERT_EQ(alerts_.size(), 1);
    const std::vector<QImage> frames = coreFrames(source);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        expected.push_back(QStringLiteral("walk_%1.png").arg(i + 1, 2, 10, QLatin1Char('0')).toStdString());
        EXPECT_EQ(screenHash(QImage(QString::fromStdString(folder / expected.back()))), screenHash(frames[i]))
            << expected.back();
    }
    EXPECT_EQ(filesIn(folder), expected);

    // Asked again, the user declines: nothing is written.
    const auto before = std::filesystem::last_write_time(folder / expected.front());
    runExport(window, kExportFramesAction, {.path = QString::fromStdString(folder), .role = QMessageBox::RejectRole});
    EXPECT_FALSE(sheetShown_);
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_TRUE(alerts_[0].contains(QLatin1String("12 of the frames"))) << alerts_[0].toStdString();
    EXPECT_EQ(std::filesystem::last_write_time(folder / expected.front()), before);
}

}  // namespace
}  // namespace velarium::app
