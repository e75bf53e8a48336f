// The application's side of archive import: an archive opened through the
// document controller is extracted, and the animation chosen afterwards opens
// as a document. And the names the application's own alerts show.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>

#include "DocumentTestSupport.h"
#include "app/ErrorPresentation.h"
#include "lha/ui/BW_LHAExtractor.h"
#include "support/LHAArchives.h"

namespace velarium {
namespace {

using namespace velarium::testing;

class LHAImportTest : public ApplicationTest {};

// Answers each file dialog by typing `answer(dialog)` and accepting.
void typeIntoFileDialogs(QTimer& timer, std::function<QString(QFileDialog*)> answer) {
    QObject::connect(&timer, &QTimer::timeout, [answer] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(answer(dialog));
        dialog->findChild<QDialogButtonBox*>()->button(dialog->acceptMode() == QFileDialog::AcceptSave
                                                           ? QDialogButtonBox::Save
                                                           : QDialogButtonBox::Open)->click();
    });
    timer.start(10);
}

TEST_F(LHAImportTest, TheAnimationChosenAfterExtractingOpensAsADocument) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    const auto archive = files_ / "multi.lzh";
    std::filesystem::copy_file(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", archive);
    const auto chosen = files_ / "multi" / "Anims" / "Walk" / "walk_cycle.anim";
    QTimer timer;
    typeIntoFileDialogs(timer, [&](QFileDialog* dialog) {
        return dialog->acceptMode() == QFileDialog::AcceptSave ? QString("multi") : QString("Walk/walk_cycle.anim");
    });
    controller()->openURL(url(archive));
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }, 60000));

    app::Document* document = controller()->documentForURL(url(chosen));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_TRUE(waitForFirstFrame(document));
    EXPECT_EQ(controller()->recentDocumentURLs().mid(0, 2), (QList<QUrl>{url(chosen), url(archive)}));
}

// The application installs archive import's English table with its own.
TEST_F(LHAImportTest, TextsNamingAnotherPlatformsProgramsReadAsTheyShouldHere) {
    EXPECT_EQ(QCoreApplication::translate("velarium::ExtractionDialogs", "Show in Finder"), "Show in File Manager");
}

TEST(AppErrorAlerts, FileNamesAreShownWithControlCharactersEscaped) {
    const Error error = app::noSuchFileError("/files/walk\n…and 3 more.anim");
    EXPECT_EQ(error.localizedDescription,
              "The file “walk\\x0a…and 3 more.anim” couldn’t be opened because there is no such file.");
}

}  // namespace
}  // namespace velarium
