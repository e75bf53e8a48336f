// What the user is told and offered: alerts that say why in plain words on
// the window they concern, with names escaped, a cut-off file that opens and
// says what is missing, command-line failures, and the Help menu.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/ErrorPresentation.h"
#include "app/MenuActions.h"
#include "core/ANIMParser.h"
#include "DocumentTestSupport.h"
#include "platform/coremedia/CoreMediaStatus.h"
#include "platform/foundation/SystemError.h"
#include "platform/playback/PlayerItem.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

// One alert as the user meets it: its two lines, and the window it is modal on.
struct SeenAlert {
    QString text, informative;
    QWidget* window = nullptr;
};

class AlertsAndMenusTest : public ApplicationTest {
protected:
    // Drops `path` on `target` and answers the one alert that follows.
    SeenAlert dropAndAnswer(DocumentWindow* target, const std::filesystem::path& path) {
        SeenAlert seen;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return;
            seen = {box->text(), box->informativeText(), box->windowModality() == Qt::WindowModal ? box->parentWidget() : nullptr};
            acceptMessageBox(box);
        });
        QMimeData data;
        data.setUrls({url(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        waitFor([&] { return !seen.text.isEmpty(); }, 5000);
        return seen;
    }
};

// Every bad file a user can drop reads in plain words, window-modal on the
// window it was dropped on, or on its own window once it has one. A cut-off
// file plays the frames it has and names the last, counted from 1.
TEST_F(AlertsAndMenusTest, BadFilesSayWhyInPlainWordsOnTheirWindow) {
    DocumentWindow* anchor = openWindow(animationFile("anchor.anim"));
    ASSERT_NE(anchor, nullptr);
    std::filesystem::create_directory(files_ / "clips.anim");
    struct Case {
        std::filesystem::path path;
        QString text, informative;
        bool ownWindow;
    };
    std::vector<Case> cases = {
        {files_.write("empty.anim", ""), "“empty.anim” could not be played.", "The file is empty.", true},
        {files_.write("noise.anim", std::string(4096, 'Z')), "“noise.anim” could not be played.",
         "The file is not an IFF ANIM animation.", true},
        {files_.write("notes.txt", "Just notes.\n"), "The document “notes.txt” could not be opened.",
         "The file is not an IFF ANIM animation.", false},
        {files_ / "clips.anim", "The document “clips.anim” could not be opened.", "This is a folder, not an animation.", false},
        {files_ / "gone.anim", "The file “gone.anim” couldn’t be opened because there is no such file.",
         "Check the file name and whether it was moved or deleted.", false},
    };
    std::vector<std::filesystem::path> whole = {files_.write("walk.anim", syntheticAnimation({.ticks = std::vector<std::uint32_t>(9, 2)}))};
    if (haveCorpus())
        for (const auto& entry : std::filesystem::directory_iterator(corpusDir() / "anim/real")) whole.push_back(entry.path());
    for (const auto& file : whole) {  // each cut to two thirds of its length
        const std::string bytes = readWholeFile(file);
        const auto cut = files_.write("cut-" + file.filename().string(), bytes.substr(0, bytes.size() * 2 / 3));
        const auto frames = coreFrames(cut).size();
        cases.push_back({cut, QString("Part of “%1” is missing.").arg(cut.filename().c_str()),
                         QString("The file ends early: frames after %1 are missing.").arg(frames), true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        const SeenAlert seen = dropAndAnswer(anchor, c.path);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.informative, c.informative);
        Document* document = controller()->documentForURL(url(c.path));
        EXPECT_EQ(seen.window, c.ownWindow && document ? document->window() : anchor);
        if (c.text.startsWith("Part of"))
            EXPECT_EQ(document->playerItem()->sampleTimes().size(), c.informative.section(' ', 6, 6).toULongLong());
        if (document) document->close();
    }
}

// Failures meant for developers never reach the alert; the reader's and the
// parser's are put in plain words; the system's own stay as they are.
TEST_F(AlertsAndMenusTest, InternalErrorTextsBecomePlainReasons) {
    const auto empty = files_.write("empty.anim", ""), large = files_.write("large.anim", "FORM");
    const struct {
        Error error;
        std::filesystem::path file;
        const char* said;
    } cases[] = {
        {Error(kANIMFormatReaderErrorDomain, kANIMFormatReaderErrorInvalidFileSize, "Invalid file size"), empty, "The file is empty."},
        {Error(kANIMFormatReaderErrorDomain, kANIMFormatReaderErrorInvalidFileSize, "Invalid file size"), large, "The file is too large to open."},
        {Error(kANIMFormatReaderErrorDomain, kANIMFormatReaderErrorParseFailed, "Failed to parse ANIM file"), large, "The file is not an IFF ANIM animation."},
        {Error(kANIMParserErrorDomain, kANIMParserErrorNotANIM, "Not an IFF ANIM file"), large, "The file is not an IFF ANIM animation."},
        {Error(kOSStatusErrorDomain, -6661, "Failed to create pixel block buffer"), large, "The animation could not be decoded."},
        {Error(kPOSIXErrorDomain, 13, "Permission denied"), large, "Permission denied"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorForUser(c.error, QString::fromStdString(c.file.string())).localizedDescription, c.said) << c.said;
}

// Files named on the command line that cannot be opened or played each print
// their reason on standard error, and make the exit status 1.
TEST_F(AlertsAndMenusTest, CommandLineFailuresPrintTheirReasonAndExitOne) {
    const QString good = QString::fromStdString(animationFile("good.anim").string());
    delegate_->openCommandLineFiles({good});
    EXPECT_EQ(delegate_->exitStatus(), 0);
    closeAllDocuments();

    const auto noise = files_.write("noise.anim", std::string(64, 'Z'));
    AlertRecorder alerts;
    ::testing::internal::CaptureStderr();
    delegate_->openCommandLineFiles({QString::fromStdString((files_ / "gone.anim").string()), QString::fromStdString(noise.string())});
    EXPECT_TRUE(alerts.settlesAt(2));
    QString printed;  // our lines, not the platform's
    for (const QString& line : QString::fromStdString(::testing::internal::GetCapturedStderr()).split('\n'))
        if (line.startsWith("velarium:")) printed += line + '\n';
    EXPECT_EQ(delegate_->exitStatus(), 1);
    EXPECT_EQ(printed, QString("velarium: The file “gone.anim” couldn’t be opened because there is no such file. Check the file "
                       "name and whether it was moved or deleted.\n"
                       "velarium: “noise.anim” could not be played. The file is not an IFF ANIM animation.\n"));
}

// The menus offer nothing a viewer cannot do. F1 lists every key of the
// window's actions; Check for Updates… shows only with a feed.
TEST_F(AlertsAndMenusTest, HelpMenuListsEveryShortcutAndOffersOnlyWhatWorks) {
    DocumentWindow* window = openWindow(animationFile("walk.anim"));
    ASSERT_NE(window, nullptr);
    QStringList items;
    for (QAction* action : window->findChildren<QAction*>()) items << action->text();
    for (const char* gone : {"&Save", "Save &As…", "&Duplicate"}) EXPECT_FALSE(items.contains(gone)) << gone;
    EXPECT_TRUE(items.contains("About &Qt"));

    QStringList listed;
    QString about;
    ModalAnswerer answerer([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) about = box->text();
        if (auto* list = modal->findChild<QTreeWidget*>("shortcuts"))
            for (QTreeWidgetItemIterator item(list); *item; ++item) listed << (*item)->text(1).split(", ");
        modal->close();
    });
    QTest::keyClick(window, Qt::Key_F1);
    waitFor([&] { return !listed.isEmpty(); }, 5000);
    for (QAction* action : window->findChildren<QAction*>())
        for (const QKeySequence& keys : action->shortcuts())
            EXPECT_TRUE(keys.isEmpty() || listed.contains(keys.toString(QKeySequence::NativeText)))
                << action->text().toStdString() << ": " << keys.toString().toStdString();

    trigger(window, kAboutAction);
    waitFor([&] { return !about.isEmpty(); }, 5000);
    for (const char* phrase : {"MIT licence", "Qt, lhasa, GStreamer and libpng", "https://brackwater.com/velarium"})
        EXPECT_TRUE(about.contains(phrase)) << phrase;

    QAction* updates = window->action(kCheckForUpdatesAction);
    for (const QString& feed : {QString(), QStringLiteral("https://example.com/appcast.xml")}) {
        QSettings().setValue(settings::kUpdateFeedURL, feed);
        auto* help = qobject_cast<QMenu*>(updates->associatedObjects().first());
        emit help->aboutToShow();
        EXPECT_EQ(updates->isVisible(), !feed.isEmpty());
    }
}

TEST(AppErrorAlerts, FileNamesAreShownWithControlCharactersEscapedAndMarkupAsText) {
    const Error error = noSuchFileError("/files/<b>walk\n…and 3 more.anim");
    EXPECT_EQ(error.localizedDescription,
              "The file “<b>walk\\x0a…and 3 more.anim” couldn’t be opened because there is no such file.");

    // Shown with a context line, the description goes to the informative text.
    std::vector<Qt::TextFormat> formats;
    ModalAnswerer answerer([&](QWidget* modal) {
        for (const QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty()) formats.push_back(label->textFormat());
        static_cast<QDialog*>(modal)->accept();
    });
    presentError(error, nullptr, QStringLiteral("<i>walk</i> could not be opened."));
    EXPECT_EQ(formats, (std::vector<Qt::TextFormat>{Qt::PlainText, Qt::PlainText}));
}

}  // namespace
}  // namespace velarium::app
