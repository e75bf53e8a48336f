// Opening LHA archives as a user does: the queue, the save dialog and the
// question about a folder that holds files, the errors before extraction,
// the progress sheet and Cancel, the problem report with names escaped, the
// no-animations alert and the Open dialog with the animations found.
#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "lha/ui/BW_LHAExtractor.h"
#include "lha/ui/ElidingLabel.h"
#include "support/GuiTestSupport.h"
#include "support/LHAArchives.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace velarium::testing;

constexpr int kWorkflowMs = 60000;  // long enough for the 50 MB archive under the sanitizers

QString qpath(const fs::path& path) { return QString::fromStdString(path.string()); }
QUrl url(const fs::path& path) { return QUrl::fromLocalFile(qpath(path)); }
bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWorkflowMs); }
bool workflowEnds() { return waitFor([] { return !BW_LHAExtractor::isBusy(); }); }

// Every file and folder under `root`, relative, sorted.
QStringList treeOf(const fs::path& root) {
    QStringList entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) entries << qpath(fs::relative(entry.path(), root));
    entries.sort();
    return entries;
}

QWidget* progressPanel() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "BW_ProgressSheetPanel" && window->isVisible()) return window;
    return nullptr;
}

QAbstractButton* acceptButton(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) return button;
    return nullptr;
}

QLineEdit* nameField(QFileDialog* dialog) { return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

// Types `name` into the dialog's name field and presses its accept button.
void typeAndAccept(QFileDialog* dialog, const QString& name) {
    if (!nameField(dialog) || !acceptButton(dialog)) {
        ADD_FAILURE() << "the file dialog has no name field or accept button";
        return dialog->reject();
    }
    nameField(dialog)->setText(name);
    acceptButton(dialog)->click();
}

// Answers every modal dialog as it comes up, and keeps one line of what each
// showed (folders relative to `base`, the default button starred):
//   "[ARCHIVE] save TITLE | MESSAGE | ACCEPT | NAME LABEL NAME | in FOLDER"
//   "[ARCHIVE] open TITLE | MESSAGE | ACCEPT | in FOLDER"
//   "[ARCHIVE] alert TEXT | INFORMATIVE | BUTTON, BUTTON*"
// Every dialog must be application-modal and come after the sheet has gone.
// By default file dialogs are cancelled and alerts get their default button.
class ModalDriver {
public:
    std::function<void(QFileDialog*)> save = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QFileDialog*)> open = save;
    std::function<void(QMessageBox*)> alert = [](QMessageBox* box) { acceptMessageBox(box); };
    QStringList transcript;

    explicit ModalDriver(const fs::path& base) : base_(qpath(base)) {}

private:
    void answer(QWidget* modal) {
        EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal) << modal->windowTitle().toStdString();
        EXPECT_EQ(progressPanel(), nullptr) << "the sheet is still up under " << modal->windowTitle().toStdString();
        const BW_LHAExtractor* current = BW_LHAExtractor::currentExtractor();
        QString line = "[" + (current ? current->archiveURL().fileName() : QString()) + "] ";
        // Answered once this line is in the transcript: an answer may wait
        // for another dialog, whose line comes after this one.
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            const bool isSave = dialog->acceptMode() == QFileDialog::AcceptSave;
            const auto* message = dialog->findChild<QLabel*>(QStringLiteral("message"));
            line += (isSave ? "save " : "open ") + dialog->windowTitle() + " | " + (message ? message->text() : "") +
                    " | " + (acceptButton(dialog) ? acceptButton(dialog)->text() : "") + " | ";
            if (isSave) line += dialog->labelText(QFileDialog::FileName) + " " + nameField(dialog)->text() + " | ";
            line += "in " + QDir(base_).relativeFilePath(dialog->directory().absolutePath());
            QTimer::singleShot(0, dialog, [dialog, answer = isSave ? save : open] { answer(dialog); });
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QStringList buttons;
            for (QAbstractButton* button : box->buttons())
                buttons << button->text() + (button == box->defaultButton() ? "*" : "");
            line += "alert " + box->text() + " | " + box->informativeText() + " | " + buttons.join(", ");
            QTimer::singleShot(0, box, [box, answer = alert] { answer(box); });
        } else {
            ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
            modal->close();
        }
        transcript << line;
    }

    QString base_;
    ModalAnswerer answerer_{[this](QWidget* modal) { answer(modal); }};
};

// What the progress sheet showed each time it closed: "TITLE | DETAILS | BAR".
class SheetWatcher : public QObject {
public:
    QStringList closings;
    SheetWatcher() { qApp->installEventFilter(this); }
    ~SheetWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object->objectName() != "BW_ProgressSheetPanel" || event->type() != QEvent::Hide) return false;
        const auto* bar = object->findChild<QProgressBar*>();
        closings << object->findChild<ElidingLabel*>(QStringLiteral("title"))->text() + " | " +
                        object->findChild<ElidingLabel*>(QStringLiteral("details"))->text() + " | " +
                        QString::number(double(bar->value()) / std::max(1, bar->maximum()));
        return false;
    }
};

class LHAExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
        BW_LHAExtractor::setRevealer([this](const QUrl& folder) { revealed_ << folder; });
        BW_LHAExtractor::setAnimationOpener([this](const QUrl& animation) { opened_ << animation; });
    }
    void TearDown() override {
        if (BW_LHAExtractor::isBusy()) {
            ADD_FAILURE() << "an archive workflow was still running";
            ModalDriver dismiss(files_.path());
            workflowEnds();
        }
        BW_LHAExtractor::setRevealer({});
        BW_LHAExtractor::setAnimationOpener({});
        BW_LHAExtractor::setEngineSetupForTesting({});
    }

    // A copy of a corpus archive in the test's own folder, so that the save
    // dialog starts there and nothing can land beside the corpus.
    fs::path archive(const std::string& corpusPath, const std::string& name = {}) {
        const fs::path to = files_ / (name.empty() ? fs::path(corpusPath).filename().string() : name);
        fs::copy_file(lhaCorpusDir() / corpusPath, to, fs::copy_options::overwrite_existing);
        return to;
    }
    // A driver whose save dialogs extract to `destination`, typed as a full path.
    std::unique_ptr<ModalDriver> extractingTo(const fs::path& destination) {
        auto modals = std::make_unique<ModalDriver>(files_.path());
        modals->save = [destination](QFileDialog* dialog) { typeAndAccept(dialog, qpath(destination)); };
        return modals;
    }
    static QString saveLine(const QString& archive) {
        return QString("[%1] save Extract “%1” | Choose where to create a folder for the contents of “%1”. | Extract | "
                       "Folder Name: %2 | in .")
            .arg(archive, archive.section('.', 0, 0));
    }

    TemporaryFolder files_;
    QList<QUrl> revealed_, opened_;
};

// A real multi-folder archive made by jlha, then an archive whose every
// file fails its CRC, and one queued while the first save dialog was up (as
// a second launch queues one): each save dialog comes only after the
// archive before has shown its last dialog.
TEST_F(LHAExtractorTest, ArchivesAreExtractedOneAfterAnotherAndTheirAnimationsOffered) {
    const fs::path multi = archive("jlha/multi_lh5_l2.lzh"), badcrc = archive("crafted/badcrc10.lzh"),
                   dirs = archive("crafted/dirs_only.lzh");
    ModalDriver modals(files_.path());
    int saves = 0;
    modals.save = [&](QFileDialog* dialog) {
        if (saves == 0) BW_LHAExtractor::extractArchiveAtURL(url(dirs));
        typeAndAccept(dialog, qpath(files_ / ("out" + std::to_string(saves++))));
    };
    modals.open = [](QFileDialog* dialog) { typeAndAccept(dialog, "Walk/walk_cycle.anim"); };
    // "Show in File Manager" only for the folder without animations that came last.
    modals.alert = [&](QMessageBox* box) { acceptMessageBox(box, saves == 3 ? QMessageBox::AcceptRole : QMessageBox::RejectRole); };
    SheetWatcher sheet;
    BW_LHAExtractor::extractArchiveAtURL(url(multi));
    BW_LHAExtractor::extractArchiveAtURL(url(badcrc));
    EXPECT_TRUE(modals.transcript.isEmpty());  // nothing is asked before the event loop runs
    ASSERT_TRUE(workflowEnds());

    QString failed = "These items could not be extracted, or failed their checksum:\n";
    for (int i = 0; i < 8; ++i) failed += QString("bad%1.txt\n").arg(i, 2, 10, QChar('0'));
    const QString noAnimations = "alert “%1” contains no ANIM files. | Its contents were extracted to “%2”. | "
                                 "Show in File Manager*, OK";
    EXPECT_EQ(modals.transcript,
              (QStringList{saveLine("multi_lh5_l2.lzh"),
                           "[multi_lh5_l2.lzh] open Open ANIM Files | “multi_lh5_l2.lzh” has been extracted. Choose "
                           "the animations to open. | Open | in out0/Anims",
                           saveLine("badcrc10.lzh"),
                           "[badcrc10.lzh] alert Some of “badcrc10.lzh” was not extracted. | " + failed +
                               "…and 2 more | OK",
                           "[badcrc10.lzh] " + noAnimations.arg("badcrc10.lzh", "out1"), saveLine("dirs_only.lzh"),
                           "[dirs_only.lzh] " + noAnimations.arg("dirs_only.lzh", "out2")}));
    // The four animations are in Anims/Run, Anims/Walk and Anims/Idle/Loop:
    // the Open dialog started in Anims.
    EXPECT_EQ(opened_, QList<QUrl>{url(files_ / "out0" / "Anims" / "Walk" / "walk_cycle.anim")});
    EXPECT_EQ(revealed_, QList<QUrl>{url(files_ / "out2")});
    EXPECT_TRUE(fs::is_directory(files_ / "out0" / "Empty"));
    // The details line names the last file; without files it keeps its first words.
    EXPECT_EQ(sheet.closings, (QStringList{"Extracting “multi_lh5_l2.lzh” | Docs/café notes.txt (10 of 10) | 1",
                                           "Extracting “badcrc10.lzh” | bad09.txt (10 of 10) | 1",
                                           "Extracting “dirs_only.lzh” | Reading archive… | 1"}));
}

// The problem report names links and a damaged end, and shows names with
// their control characters escaped: badterm.lzh's one entry is "/tmp/" ESC
// "]2;malicious" BEL LF, made to fail by a file named "tmp" (the folder then
// holds a file: the user is asked, and agrees).
TEST_F(LHAExtractorTest, ProblemsAreReportedWithNamesEscaped) {
    struct Case {
        const char* archive;
        QString problems;
        const char* next;  // what comes after the report
    };
    const Case cases[] = {
        {"crafted/symlinks_only.lzh",
         "These symbolic links were not extracted:\nlink0\nsub/link1\nlink2\nAnims/walk_link\nevil_link\ndirlink", "alert"},
        {"crafted/broken_l2_header_crc.lzh", "The archive is damaged: entries after “second.anim” are missing.", "open"},
        {"real/archives/regression/badterm.lzh",
         "These items could not be extracted, or failed their checksum:\ntmp/\\x1b]2;malicious\\x07\\x0a", "alert"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const fs::path path = archive(c.archive), destination = files_ / ("out_" + path.stem().string());
        fs::create_directories(destination);
        if (path.filename() == "badterm.lzh") std::ofstream(destination / "tmp") << "not a folder";
        const auto modals = extractingTo(destination);
        modals->alert = [](QMessageBox* box) { acceptMessageBox(box, QMessageBox::AcceptRole); };
        BW_LHAExtractor::extractArchiveAtURL(url(path));
        ASSERT_TRUE(workflowEnds());
        const QString name = qpath(path.filename());
        ASSERT_GE(modals->transcript.size(), 3);
        EXPECT_EQ(modals->transcript.end()[-2],
                  QString("[%1] alert Some of “%1” was not extracted. | %2 | OK").arg(name, c.problems));
        EXPECT_TRUE(modals->transcript.last().startsWith("[" + name + "] " + c.next));
    }
}

// Before anything is extracted: a destination that cannot be a folder, and
// files that are no LHA archives (their new folder stays, empty).
TEST_F(LHAExtractorTest, EachFailureBeforeExtractionGivesOneAlert) {
    std::ofstream(files_ / "taken") << "a file, not a folder";
    const fs::path anims = archive("crafted/anims_l2.lzh");
    struct Case {
        fs::path archive;
        std::string destination;
        QString alert;
        int sheets;
    };
    const Case cases[] = {
        {anims, "taken", "The folder could not be created. | A file named “taken” already exists there. Choose a "
                         "different name for the folder.", 0},
        {anims, "taken/inside", "The folder could not be created. | “inside” could not be created: Not a directory.", 0},
        {archive("crafted/empty.lha"), "from_empty",
         "The archive could not be read. | “empty.lha” is not an LHA archive, or it is damaged.", 1},
        {archive("crafted/text.lha", "two\nlines.lha"), "from_text",
         "The archive could not be read. | “two\\x0alines.lha” is not an LHA archive, or it is damaged.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        const QStringList before = treeOf(files_.path());
        const auto modals = extractingTo(files_ / c.destination);
        SheetWatcher sheet;
        BW_LHAExtractor::extractArchiveAtURL(url(c.archive));
        ASSERT_TRUE(workflowEnds());
        ASSERT_EQ(modals->transcript.size(), 2);
        EXPECT_EQ(modals->transcript[1], "[" + qpath(c.archive.filename()) + "] alert " + c.alert + " | OK");
        EXPECT_EQ(sheet.closings.size(), c.sheets);
        EXPECT_EQ(treeOf(c.sheets ? files_ / c.destination : files_.path()), c.sheets ? QStringList{} : before);
    }
}

// A folder that holds files is extracted into only after the user agreed to
// replacing files of the same names; Cancel leaves the save dialog up. An
// empty folder is taken without a question.
TEST_F(LHAExtractorTest, AFolderThatHoldsFilesIsExtractedIntoOnlyAfterTheUserAgrees) {
    const fs::path path = archive("crafted/anims_l1_nodirs.lzh");
    fs::create_directories(files_ / "existing");
    fs::create_directories(files_ / "empty");
    std::ofstream(files_ / "existing" / "top.anim") << "mine";
    std::ofstream(files_ / "existing" / "keep.txt") << "mine";
    const QStringList before = treeOf(files_.path());
    const QString question = "[anims_l1_nodirs.lzh] alert “existing” already exists. Files in it with the same "
                             "names as files in the archive will be replaced. |  | Replace, Cancel*";
    struct Case {
        const char* folder;
        QMessageBox::ButtonRole answer;  // to the question, if it comes
        QStringList after;               // what comes after the save dialog
    };
    const Case cases[] = {
        {"existing", QMessageBox::RejectRole, {question}},
        {"existing", QMessageBox::AcceptRole, {question, "open"}},
        {"empty", QMessageBox::RejectRole, {"open"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ModalDriver modals(files_.path());
        modals.save = [&](QFileDialog* dialog) {
            typeAndAccept(dialog, c.folder);  // a name beside the archive, typed as a user would
            if (dialog->isVisible()) dialog->reject();
        };
        modals.alert = [&](QMessageBox* box) { acceptMessageBox(box, c.answer); };
        BW_LHAExtractor::extractArchiveAtURL(url(path));
        ASSERT_TRUE(workflowEnds());
        QStringList after = modals.transcript.mid(1);
        if (!after.isEmpty() && after.last().contains("] open ")) after.last() = "open";
        EXPECT_EQ(after, c.after);
        if (c.after.last() == question) {
            EXPECT_EQ(treeOf(files_.path()), before);
        }
    }
    EXPECT_TRUE(readFileBytes(files_ / "existing" / "top.anim").size() > 4) << "the archive's copy replaced it";
    EXPECT_EQ(readFileBytes(files_ / "existing" / "keep.txt").size(), 4u);
    EXPECT_TRUE(fs::is_regular_file(files_ / "empty" / "Anims" / "Walk" / "x.anim"));
}

// The Open dialog shows everything but lets only folders and files with the
// ANIM signature be chosen, whatever their names, typed or clicked.
TEST_F(LHAExtractorTest, OpenDialogLetsOnlyAnimationsAndFoldersBeChosen) {
    const fs::path destination = files_ / "anims";
    const auto modals = extractingTo(destination);
    std::map<QString, bool> enabled;  // path inside the destination → can be chosen
    QStringList refusedTyped;
    modals->open = [&](QFileDialog* dialog) {
        QAbstractProxyModel* proxy = dialog->proxyModel();
        auto* files = qobject_cast<QFileSystemModel*>(proxy ? proxy->sourceModel() : nullptr);
        if (!files) {
            ADD_FAILURE() << "the Open dialog has no proxy over its file model";
            return dialog->reject();
        }
        const QDir root(qpath(destination));
        for (const QString& folder : {QString(), QString("Anims"), QString("Anims/Run")}) {
            const QString absolute = QDir::cleanPath(root.filePath(folder));
            // Proxy indexes do not outlive changes of the model: each look is fresh.
            const auto parent = [&] { return proxy->mapFromSource(files->index(absolute)); };
            files->fetchMore(files->index(absolute));
            EXPECT_TRUE(QTest::qWaitFor([&] { return proxy->rowCount(parent()) > 0; }));
            for (int row = 0; row < proxy->rowCount(parent()); ++row) {
                const QModelIndex index = proxy->index(row, 0, parent());
                const auto flags = proxy->flags(index);
                enabled[root.relativeFilePath(files->filePath(proxy->mapToSource(index)))] =
                    (flags & Qt::ItemIsEnabled) && (flags & Qt::ItemIsSelectable);
            }
        }
        for (const char* typed : {"picture.iff", "Anims/Run/fake.anim"}) {
            typeAndAccept(dialog, typed);
            if (dialog->isVisible()) refusedTyped << typed;
        }
        dialog->reject();
    };
    BW_LHAExtractor::extractArchiveAtURL(url(archive("crafted/anims_l2.lzh")));
    ASSERT_TRUE(workflowEnds());
    // top.anim at the top and two more in Anims' sub-folders: the dialog starts at the top.
    ASSERT_EQ(modals->transcript.size(), 2);
    EXPECT_TRUE(modals->transcript[1].endsWith("| in anims"));
    EXPECT_EQ(enabled, (std::map<QString, bool>{
                           {"Anims", true}, {"Anims/Run", true}, {"Anims/Walk", true}, {"top.anim", true},
                           {"Anims/Run/y.anim", true}, {"picture.iff", false}, {"Anims/readme.txt", false},
                           {"Anims/short.anim", false}, {"Anims/Run/fake.anim", false}}));
    EXPECT_EQ(refusedTyped, (QStringList{"picture.iff", "Anims/Run/fake.anim"}));
    EXPECT_TRUE(opened_.isEmpty());
}

// Cancel in the sheet: the entry being written is finished, nothing after
// it is, no temporary file stays, and no report follows. The worker is held
// inside the first big entry until Cancel has been pressed.
TEST_F(LHAExtractorTest, CancelStopsBeforeTheNextEntryAndKeepsWhatWasWritten) {
    const auto path = generatedArchive(kLargeArchive);
    if (!path) GTEST_SKIP() << "python3 could not make " << kLargeArchive;
    const fs::path destination = files_ / "large";
    std::atomic<bool> cancelPressed{false};
    std::atomic<int> entriesStarted{0};
    BW_LHAExtractor::setEngineSetupForTesting([&](ArchiveExtractor& engine) {
        engine.setBlockHook([&](unsigned done, unsigned) {
            if (done != 0 || ++entriesStarted != 1) return;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!cancelPressed && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    });
    const auto modals = extractingTo(destination);
    SheetWatcher sheet;
    BW_LHAExtractor::extractArchiveAtURL(url(*path));
    QWidget* panel = nullptr;
    const auto details = [&] { return panel->findChild<ElidingLabel*>("details")->text(); };
    ASSERT_TRUE(waitFor([&] {
        panel = progressPanel();
        return panel && entriesStarted > 0 && details() == QString("Large/big1.bin (1 of 3)");
    }));
    QTest::mouseClick(panel->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_EQ(details(), QString("Cancelling…"));
    cancelPressed = true;
    ASSERT_TRUE(workflowEnds());

    EXPECT_EQ(modals->transcript.size(), 1);  // the save dialog; no report, no Open dialog
    EXPECT_EQ(sheet.closings, QStringList{"Extracting “large_stored.lzh” | Cancelling… | 1"});
    EXPECT_EQ(entriesStarted, 1);
    EXPECT_EQ(fs::file_size(destination / "Large" / "big1.bin"), 30u * 1024 * 1024);
    EXPECT_EQ(treeOf(destination), (QStringList{"Large", "Large/big1.bin"}));  // nothing else, nothing temporary
}

TEST(LHAExtractorFolders, OpenDialogStartsInTheDeepestFolderHoldingEveryAnimation) {
    struct Case {
        QStringList animations;  // paths under /d/out
        QString expected;
    };
    const Case cases[] = {
        {{"Anims/Walk/x.anim", "Anims/Run/y.anim"}, "/d/out/Anims"},
        {{"Anims/Walk/x.anim"}, "/d/out/Anims/Walk"},
        {{"Anims/Walk/x.anim", "top.anim"}, "/d/out"},
        {{"a/b/c/x.anim", "a/b/d/y.anim", "a/e/z.anim"}, "/d/out/a"},
        {{"Anims/x.anim", "AnimsMore/y.anim"}, "/d/out"},  // shared letters are no shared folder
        {{"../outer/x.anim"}, "/d/out"},                   // nor is a folder named like the start of another
        {{}, "/d/out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.animations.join(", ").toStdString());
        QList<QUrl> urls;
        for (const QString& path : c.animations) urls << QUrl::fromLocalFile(QDir::cleanPath("/d/out/" + path));
        EXPECT_EQ(BW_LHAExtractor::folderContainingAnimations(urls, QUrl::fromLocalFile("/d/out")).toLocalFile(),
                  c.expected);
    }
}

}  // namespace
}  // namespace velarium
