// Opening LHA archives as a user does: the queue, every dialog and its
// texts, the progress sheet and Cancel, names escaped, the folder shown.
#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QDBusConnection>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "lha/ui/BW_LHAExtractor.h"
#include "lha/ui/ElidingLabel.h"
#include "lha/ui/FileManagerReveal.h"
#include "support/GuiTestSupport.h"
#include "support/LHAArchives.h"
#include "support/OpenedURLs.h"
#include "support/PrivateSessionBus.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;
using namespace velarium::testing;

QString qpath(const fs::path& path) { return QString::fromStdString(path.string()); }
// Long enough for the 50 MB archive under the sanitizers.
bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 60000); }
bool workflowEnds() { return waitFor([] { return !BW_LHAExtractor::isBusy(); }); }

QWidget* progressPanel() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "BW_ProgressSheetPanel" && window->isVisible()) return window;
    return nullptr;
}

// Types `name` into the file dialog's name field and presses Return.
void typeAndAccept(QFileDialog* dialog, const QString& name) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(field);
    field->setText(name);
    QTest::keyClick(field, Qt::Key_Return);
}

// Answers each modal dialog, which must be application-modal and come after
// the sheet has gone, and keeps a line of what it and the closing sheet
// showed (folders relative to `base`, the default button starred):
//   "save TITLE | MESSAGE | ACCEPT | NAME LABEL NAME | in FOLDER"
//   "open TITLE | MESSAGE | ACCEPT | in FOLDER"
//   "alert TEXT | INFORMATIVE | BUTTON, BUTTON*"
//   "sheet TITLE | DETAILS | BAR"
// By default a save dialog gets `saveAs` (else is cancelled), an Open dialog
// is cancelled and an alert accepted.
class ModalDriver : public QObject {
public:
    std::function<void(QFileDialog*)> save, open = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QMessageBox*)> alert = [](QMessageBox* box) { acceptMessageBox(box); };
    QStringList transcript;

    explicit ModalDriver(const fs::path& base, const QString& saveAs = {}) : base_(qpath(base)) {
        save = [saveAs](QFileDialog* dialog) {
            if (!saveAs.isEmpty()) typeAndAccept(dialog, saveAs);
            if (dialog->isVisible()) dialog->reject();
        };
        qApp->installEventFilter(this);
    }
    ~ModalDriver() override { qApp->removeEventFilter(this); }

private:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object->objectName() != "BW_ProgressSheetPanel" || event->type() != QEvent::Hide) return false;
        const auto text = [object](const char* name) { return object->findChild<ElidingLabel*>(name)->text(); };
        const auto* bar = object->findChild<QProgressBar*>();
        transcript << "sheet " + text("title") + " | " + text("details") + " | " +
                          QString::number(double(bar->value()) / std::max(1, bar->maximum()));
        return false;
    }
    void answer(QWidget* modal) {
        EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal) << modal->windowTitle().toStdString();
        EXPECT_EQ(progressPanel(), nullptr) << "the sheet is still up under " << modal->windowTitle().toStdString();
        // Each line is kept before the answer, which may wait for another dialog.
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            const bool isSave = dialog->acceptMode() == QFileDialog::AcceptSave;
            const auto* message = dialog->findChild<QLabel*>(QStringLiteral("message"));
            transcript << (isSave ? "save " : "open ") + dialog->windowTitle() + " | " + (message ? message->text() : "") +
                              " | " + dialog->labelText(QFileDialog::Accept) + " | " +
                              (isSave ? dialog->labelText(QFileDialog::FileName) + " " +
                                            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text() + " | "
                                      : "") +
                              "in " + QDir(base_).relativeFilePath(dialog->directory().absolutePath());
            (isSave ? save : open)(dialog);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QStringList buttons;
            for (QAbstractButton* button : box->buttons())
                buttons << button->text() + (button == box->defaultButton() ? "*" : "");
            transcript << "alert " + box->text() + " | " + box->informativeText() + " | " + buttons.join(", ");
            alert(box);
        } else {
            ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
            modal->close();
        }
    }

    QString base_;
    ModalAnswerer answerer_{[this](QWidget* modal) { answer(modal); }};
};

class LHAExtractorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveLHACorpus()) GTEST_SKIP() << "no LHA corpus at " << lhaCorpusDir();
        BW_LHAExtractor::setRevealer([this](const QUrl& folder) { revealed_ << folder; });
        BW_LHAExtractor::setAnimationOpener([this](const QUrl& animation) { opened_ << animation; });
    }
    void TearDown() override {
        ModalDriver dismiss(files_.path());
        EXPECT_FALSE(BW_LHAExtractor::isBusy()) << "an archive workflow was still running";
        workflowEnds();
        BW_LHAExtractor::setRevealer({});
        BW_LHAExtractor::setAnimationOpener({});
        BW_LHAExtractor::setEngineSetupForTesting({});
    }

    // A copy in the test's folder: the save dialog starts there, not beside the corpus.
    fs::path archive(const std::string& corpusPath, const std::string& name = {}) {
        const fs::path to = files_ / (name.empty() ? fs::path(corpusPath).filename().string() : name);
        fs::copy_file(lhaCorpusDir() / corpusPath, to, fs::copy_options::overwrite_existing);
        return to;
    }
    static QString saveLine(const QString& archive) {
        return QString("save Extract “%1” | Choose where to create a folder for the contents of “%1”. | Extract | "
                       "Folder Name: %2 | in .").arg(archive, archive.section('.', 0, 0));
    }
    static QString sheetLine(const QString& archive, const QString& details) {
        return QString("sheet Extracting “%1” | %2 | 1").arg(archive, details);
    }
    static QString noAnimations(const QString& archive, const QString& folder) {
        return QString("alert “%1” contains no ANIM files. | Its contents were extracted to “%2”. | "
                       "Show in File Manager, OK*").arg(archive, folder);
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
    BW_LHAExtractor::extractArchiveAtURL(url(multi));
    BW_LHAExtractor::extractArchiveAtURL(url(badcrc));
    EXPECT_TRUE(modals.transcript.isEmpty());  // nothing is asked before the event loop runs
    ASSERT_TRUE(workflowEnds());

    QString failed = "These items could not be extracted, or failed their checksum:\n";
    for (int i = 0; i < 8; ++i) failed += QString("bad%1.txt\n").arg(i, 2, 10, QChar('0'));
    // The details line names the last file; without files it keeps its first
    // words. The animations are in Anims/Run, Anims/Walk and Anims/Idle/Loop.
    EXPECT_EQ(modals.transcript,
              (QStringList{saveLine("multi_lh5_l2.lzh"), sheetLine("multi_lh5_l2.lzh", "Docs/café notes.txt (10 of 10)"),
                           "open Open ANIM Files | “multi_lh5_l2.lzh” has been extracted. Choose the animations to "
                           "open. | Open | in out0/Anims",
                           saveLine("badcrc10.lzh"), sheetLine("badcrc10.lzh", "bad09.txt (10 of 10)"),
                           "alert Some of “badcrc10.lzh” was not extracted. | " + failed + "…and 2 more | OK",
                           noAnimations("badcrc10.lzh", "out1"), saveLine("dirs_only.lzh"),
                           sheetLine("dirs_only.lzh", "Reading archive…"), noAnimations("dirs_only.lzh", "out2")}));
    EXPECT_EQ(opened_, QList<QUrl>{url(files_ / "out0" / "Anims" / "Walk" / "walk_cycle.anim")});
    EXPECT_EQ(revealed_, QList<QUrl>{url(files_ / "out2")});
}

// One archive at a time, a folder name typed beside it, and what follows the
// save dialog (a sheet or an Open dialog as one word). A destination that
// cannot be a folder, and a file that is no LHA archive (its new folder
// stays, empty). A folder holding files is extracted into only once the user
// agreed to replacing files (Cancel leaves the save dialog up); an empty one
// without a question. The report names links, a damaged end, and names
// escaped: badterm.lzh's one entry, "/tmp/" ESC "]2;malicious" BEL LF, fails on a file "tmp".
TEST_F(LHAExtractorTest, EachOutcomeShowsItsDialogsWithNamesEscaped) {
    files_.write("taken", "a file, not a folder");
    fs::create_directories(files_ / "empty");
    files_.write("existing/top.anim", "mine");
    files_.write("existing/keep.txt", "mine");
    files_.write("badterm/tmp", "not a folder");
    const QString problems = "alert Some of “%1” was not extracted. | %2 | OK",
                  question = "alert “%1” already exists. Files in it with the same names as files in the archive "
                             "will be replaced. |  | Replace, Cancel*";
    const fs::path anims = archive("crafted/anims_l1_nodirs.lzh");
    enum Leaves { Anything, Nothing, AnEmptyFolder };  // in the test's folder
    struct Case {
        fs::path archive;
        QString destination;
        QStringList after;
        Leaves leaves = Anything;
        QMessageBox::ButtonRole answer = QMessageBox::AcceptRole;  // to every alert
    } const cases[] = {
        {anims, "taken", {"alert The folder could not be created. | A file named “taken” already exists there. "
                          "Choose a different name for the folder. | OK"}, Nothing},
        {anims, "taken/inside", {"alert The folder could not be created. | “inside” could not be created: Not a "
                                 "directory. | OK"}, Nothing},
        {archive("crafted/text.lha", "two\nlines.lha"), "from_text",
         {"sheet", "alert The archive could not be read. | “two\\x0alines.lha” is not an LHA archive, or it is damaged. | OK"},
         AnEmptyFolder},
        {anims, "existing", {question.arg("existing")}, Nothing, QMessageBox::RejectRole},
        {anims, "existing", {question.arg("existing"), "sheet", "open"}},
        {anims, "empty", {"sheet", "open"}},
        {archive("crafted/symlinks_only.lzh"), "links",
         {"sheet", problems.arg("symlinks_only.lzh", "These symbolic links were not extracted:\nlink0\nsub/link1\n"
                                                     "link2\nAnims/walk_link\nevil_link\ndirlink"),
          noAnimations("symlinks_only.lzh", "links")}},
        {archive("crafted/broken_l2_header_crc.lzh"), "broken",
         {"sheet", problems.arg("broken_l2_header_crc.lzh", "The archive is damaged: entries after “second.anim” are missing."),
          "open"}},
        {archive("real/archives/regression/badterm.lzh"), "badterm",
         {question.arg("badterm"), "sheet",
          problems.arg("badterm.lzh", "These items could not be extracted, or failed their checksum:\n"
                                      "tmp/\\x1b]2;malicious\\x07\\x0a"),
          noAnimations("badterm.lzh", "badterm")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination.toStdString());
        const TreeSnapshot before = snapshotTree(files_.path());
        ModalDriver modals(files_.path(), c.destination);
        modals.alert = [&](QMessageBox* box) { acceptMessageBox(box, c.answer); };
        BW_LHAExtractor::extractArchiveAtURL(url(c.archive));
        ASSERT_TRUE(workflowEnds());
        QStringList after;
        for (const QString& line : modals.transcript.mid(1))
            after << (line.startsWith("open ") || line.startsWith("sheet ") ? line.section(' ', 0, 0) : line);
        EXPECT_EQ(after, c.after);
        TreeSnapshot now = snapshotTree(files_.path());
        EXPECT_TRUE(c.leaves != AnEmptyFolder || now.erase(c.destination.toStdString()) == 1) << "the new folder stays";
        EXPECT_EQ(c.leaves == Anything ? before : now, before);
    }
    EXPECT_TRUE(readFileBytes(files_ / "existing" / "top.anim").size() > 4) << "the archive's copy replaced it";
    EXPECT_EQ(readFileBytes(files_ / "existing" / "keep.txt").size(), 4u);
}

// The Open dialog shows everything but lets only folders and files with the
// ANIM signature be chosen, whatever their names, typed or clicked.
TEST_F(LHAExtractorTest, OpenDialogLetsOnlyAnimationsAndFoldersBeChosen) {
    const fs::path destination = files_ / "anims";
    ModalDriver modals(files_.path(), "anims");
    std::map<QString, bool> enabled;  // path inside the destination → can be chosen
    QStringList refusedTyped;
    modals.open = [&](QFileDialog* dialog) {
        QAbstractProxyModel* proxy = dialog->proxyModel();
        auto* files = qobject_cast<QFileSystemModel*>(proxy ? proxy->sourceModel() : nullptr);
        const QDir root(qpath(destination));
        for (const QString& folder : {QString(), QString("Anims"), QString("Anims/Run")}) {
            if (!files) break;
            const QString absolute = QDir::cleanPath(root.filePath(folder));
            // Proxy indexes do not outlive changes of the model: each look is fresh.
            const auto parent = [&] { return proxy->mapFromSource(files->index(absolute)); };
            files->fetchMore(files->index(absolute));
            EXPECT_TRUE(QTest::qWaitFor([&] { return proxy->rowCount(parent()) > 0; }));
            for (int row = 0; row < proxy->rowCount(parent()); ++row) {
                const QModelIndex index = proxy->index(row, 0, parent());
                enabled[root.relativeFilePath(files->filePath(proxy->mapToSource(index)))] =
                    proxy->flags(index).testFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
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
    EXPECT_EQ(enabled, (std::map<QString, bool>{
                           {"Anims", true}, {"Anims/Run", true}, {"Anims/Walk", true}, {"top.anim", true},
                           {"Anims/Run/y.anim", true}, {"picture.iff", false}, {"Anims/readme.txt", false},
                           {"Anims/short.anim", false}, {"Anims/Run/fake.anim", false}}));
    EXPECT_EQ(refusedTyped, (QStringList{"picture.iff", "Anims/Run/fake.anim"}));
    EXPECT_TRUE(opened_.isEmpty());
}

// Cancel in the sheet: the entry being written is finished, nothing after it,
// no temporary stays, no report follows. The worker waits in the first entry.
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
    ModalDriver modals(files_.path(), qpath(destination));
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

    // After the save dialog only the sheet: no report, no Open dialog.
    EXPECT_EQ(modals.transcript.mid(1), QStringList{sheetLine("large_stored.lzh", "Cancelling…")});
    EXPECT_EQ(entriesStarted, 1);
    EXPECT_EQ(fs::file_size(destination / "Large" / "big1.bin"), 30u * 1024 * 1024);
    EXPECT_EQ(snapshotTree(destination).size(), 2u) << "Large and Large/big1.bin, nothing else, nothing temporary";
}

TEST(LHAExtractorFolders, OpenDialogStartsInTheDeepestFolderHoldingEveryAnimation) {
    const std::pair<QStringList, QString> cases[] = {  // animations under /d/out, where the dialog starts
        {{"Anims/Walk/x.anim"}, "/d/out/Anims/Walk"},
        {{"Anims/Walk/x.anim", "top.anim"}, "/d/out"},
        {{"a/b/c/x.anim", "a/b/d/y.anim", "a/e/z.anim"}, "/d/out/a"},
        {{"Anims/x.anim", "AnimsMore/y.anim"}, "/d/out"},  // shared letters are no shared folder
        {{"../outer/x.anim"}, "/d/out"},                   // nor is a folder named like the start of another
        {{}, "/d/out"},
    };
    for (const auto& [animations, expected] : cases) {
        QList<QUrl> urls;
        for (const QString& path : animations) urls << QUrl::fromLocalFile(QDir::cleanPath("/d/out/" + path));
        EXPECT_EQ(BW_LHAExtractor::folderContainingAnimations(urls, QUrl::fromLocalFile("/d/out")).toLocalFile(),
                  expected) << animations.join(", ").toStdString();
    }
}

// Stands in for a file manager on the bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown, startupIds;
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shown << uris;
        startupIds << startupId;
    }
};

// "Show in File Manager": a file manager on the bus shows the item; without a
// bus (as in these tests) or one on it, the (file's) folder is opened.
TEST(LHAReveal, TheFileManagerShowsTheItemElseItsFolderIsOpened) {
    PrivateSessionBus bus;
    if (!bus.running()) GTEST_SKIP() << bus.failure().toStdString();
    TemporaryFolder files;
    files.write("café extracted/notes.txt", std::string("x"));
    const QUrl folder = url(files / "café extracted"), file = url(files / "café extracted" / "notes.txt");
    OpenedURLs opened;
    for (const auto& [item, connection] : {std::pair{folder, QDBusConnection::sessionBus()},
                                           std::pair{file, QDBusConnection::sessionBus()}, std::pair{folder, bus.connect()}}) {
        SCOPED_TRACE(item.toString().toStdString() + " " + connection.name().toStdString());
        opened.urls.clear();
        revealInFileManager(item, connection);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 5000));
        EXPECT_EQ(opened.urls, QList<QUrl>{folder});
    }

    QDBusConnection service = bus.connect();
    FakeFileManager fileManager;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    opened.urls.clear();
    revealInFileManager(folder, bus.connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shown.isEmpty(); }, 5000));
    EXPECT_EQ(fileManager.shown, QStringList{folder.toString(QUrl::FullyEncoded)});
    EXPECT_EQ(fileManager.startupIds, QStringList{QString()});
    QTest::qWait(100);
    EXPECT_TRUE(opened.urls.isEmpty());
}

// With nothing that can open the folder, an alert says so and names it.
TEST(LHAReveal, WithNoFileManagerAnAlertNamesTheFolder) {
    TemporaryFolder files;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");  // no xdg-open
    QString said;
    ModalAnswerer answerer([&](QWidget* modal) {
        said = acceptMessageBox(modal) + ' ' + qobject_cast<QMessageBox*>(modal)->informativeText();
    });
    revealInFileManager(url(files / "notes.txt"), QDBusConnection::sessionBus());
    qputenv("PATH", path);
    EXPECT_EQ(said, "No file manager could be started. The folder is “" + QString::fromStdString(files.path().string()) + "”.");
}

}  // namespace
}  // namespace velarium

#include "LHAExtractorTest.moc"
