// The application's side of archive import: an archive opened through the
// document controller is extracted, and the animation chosen afterwards opens
// as a document. And the names the application's own alerts show.
#include <gtest/gtest.h>

#include <QLabel>

#include "DocumentTestSupport.h"
#include "app/ErrorPresentation.h"
#include "lha/ui/BW_LHAExtractor.h"
#include "support/LHAArchives.h"

namespace velarium {
namespace {

using namespace velarium::testing;

using LHAImportTest = ApplicationTest;

TEST_F(LHAImportTest, TheAnimationChosenAfterExtractingOpensAsADocument) {
    if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
    const auto archive = files_ / "multi.lzh";
    std::filesystem::copy_file(lhaCorpusDir() / "jlha/multi_lh5_l2.lzh", archive);
    const auto chosen = files_ / "multi" / "Anims" / "Walk" / "walk_cycle.anim";
    // The archive is extracted to "multi", then one animation in it chosen.
    ModalAnswerer typing([](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(chooseInFileDialog(dialog, dialog->acceptMode() == QFileDialog::AcceptSave ? "multi" : "Walk/walk_cycle.anim"));
    });
    controller()->openURL(url(archive));
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }, 60000));

    app::Document* document = controller()->documentForURL(url(chosen));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_TRUE(waitForFirstFrame(document));
    EXPECT_EQ(controller()->recentDocumentURLs().mid(0, 2), (QList<QUrl>{url(chosen), url(archive)}));
    // The application installs archive import's English table with its own.
    EXPECT_EQ(QCoreApplication::translate("velarium::ExtractionDialogs", "Show in Finder"), "Show in File Manager");
}

TEST(AppErrorAlerts, FileNamesAreShownWithControlCharactersEscapedAndMarkupAsText) {
    const Error error = app::noSuchFileError("/files/<b>walk\n…and 3 more.anim");
    EXPECT_EQ(error.localizedDescription,
              "The file “<b>walk\\x0a…and 3 more.anim” couldn’t be opened because there is no such file.");

    // Shown with a context line, the description goes to the informative text.
    std::vector<Qt::TextFormat> formats;
    ModalAnswerer answerer([&](QWidget* modal) {
        for (const QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty()) formats.push_back(label->textFormat());
        static_cast<QDialog*>(modal)->accept();
    });
    app::presentError(error, nullptr, QStringLiteral("<i>walk</i> could not be opened."));
    EXPECT_EQ(formats, (std::vector<Qt::TextFormat>{Qt::PlainText, Qt::PlainText}));
}

}  // namespace
}  // namespace velarium
