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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "lha/LHATestSupport.h"
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

// Every file and folder under `root`, relative, sorted.
QStringList treeOf(const fs::path& root) {
    QStringList entries;
    if (!fs::exists(root)) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) entries << qpath(fs::relative(entry.path(), root));
    entries.sort();
    return entries;
}

QWidget* progressPanel() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "BW_ProgressSheetPanel" && window->isVisible()) return window;
    return nullptr;
}

// What a modal dialog showed when it came up.
struct SeenDialog {
    enum class Kind { save, open, alert } kind = Kind::alert;
    QString extracting;  // the archive being worked on then
    QString title, text, informative;  // a file dialog's text is its message line
    QString directory, name, acceptLabel, nameLabel;  // file dialogs
    QStringList buttons;  // an alert's, in order
    QString defaultButton;
    Qt::WindowModality modality = Qt::NonModal;
    bool sheetVisible = false;
};

QAbstractButton* acceptButton(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) return button;
    return nullptr;
}

// Types `name` into the dialog's name field and presses its accept button.
void typeAndAccept(QFileDialog* dialog, const QString& name) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QAbstractButton* accept = acceptButton(dialog);
    if (!field || !accept) {
        ADD_FAILURE() << "the file dialog has no name field or accept button";
        return dialog->reject();
    }
    field->setText(name);
    accept->click();
}

// Answers every modal dialog as it comes up, after noting what it showed;
// a dialog's answer may bring up another (a question over the save dialog).
// By default file dialogs are cancelled and alerts get their default button.
class ModalDriver {
public:
    std::function<void(QFileDialog*)> save = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QFileDialog*)> open = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QMessageBox*)> alert = [](QMessageBox* box) { acceptMessageBox(box); };
    std::vector<SeenDialog> seen;

    ModalDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(10);
    }
    QStringList order() const {
        QStringList out;
        for (const SeenDialog& d : seen)
            out << d.extracting + (d.kind == SeenDialog::Kind::save ? ":save" : d.kind == SeenDialog::Kind::open ? ":open" : ":alert");
        return out;
    }

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || answered_.contains(modal)) return;
        answered_ << modal;
        SeenDialog record{};
        record.title = modal->windowTitle();
        record.modality = modal->windowModality();
        record.sheetVisible = progressPanel() != nullptr;
        if (BW_LHAExtractor* current = BW_LHAExtractor::currentExtractor()) record.extracting = current->archiveURL().fileName();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            const bool isSave = dialog->acceptMode() == QFileDialog::AcceptSave;
            record.kind = isSave ? SeenDialog::Kind::save : SeenDialog::Kind::open;
            if (auto* message = dialog->findChild<QLabel*>(QStringLiteral("message"))) record.text = message->text();
            record.directory = dialog->directory().absolutePath();
            if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) record.name = field->text();
            if (QAbstractButton* accept = acceptButton(dialog)) record.acceptLabel = accept->text();
            record.nameLabel = dialog->labelText(QFileDialog::FileName);
            seen.push_back(record);
            later(dialog, isSave ? save : open);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            record.text = box->text();
            record.informative = box->informativeText();
            for (QAbstractButton* button : box->buttons()) record.buttons << button->text();
            if (box->defaultButton()) record.defaultButton = box->defaultButton()->text();
            seen.push_back(record);
            later(box, alert);
        } else {
            ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
            modal->close();
        }
    }

    // Answers from a timer of its own: Qt does not run a timer again while
    // its handler runs, and an answer may wait in a dialog of its own.
    template <typename Dialog>
    void later(Dialog* dialog, const std::function<void(Dialog*)>& handler) {
        QTimer::singleShot(0, dialog, [dialog, handler] { handler(dialog); });
    }

    QTimer timer_;
    QList<QPointer<QWidget>> answered_;
};

// What the progress sheet showed each time it closed.
class SheetWatcher : public QObject {
public:
    struct Closing {
        QString title, details;
        double barFraction;
    };
    int shown = 0;
    std::vector<Closing> closings;

    SheetWatcher() { qApp->installEventFilter(this); }
    ~SheetWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object->objectName() != "BW_ProgressSheetPanel") return false;
        if (event->type() == QEvent::Show) ++shown;
        if (event->type() == QEvent::Hide) {
            const auto* bar = object->findChild<QProgressBar*>();
            closings.push_back({object->findChild<ElidingLabel*>(QStringLiteral("title"))->text(),
                                object->findChild<ElidingLabel*>(QStringLiteral("details"))->text(),
                                double(bar->value() - bar->minimum()) / std::max(1, bar->maximum() - bar->minimum())});
        }
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
            ModalDriver dismiss;
            waitFor([] { return !BW_LHAExtractor::isBusy(); });
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
    // Opens the archive as the user does, and waits for its workflow to end.
    static bool openAndWait(const fs::path& path) {
        BW_LHAExtractor::extractArchiveAtURL(url(path));
        return waitFor([] { return !BW_LHAExtractor::isBusy(); });
    }
    // A save dialog answer: the destination typed as a full path.
    static std::function<void(QFileDialog*)> extractTo(const fs::path& destination) {
        return [destination](QFileDialog* dialog) { typeAndAccept(dialog, qpath(destination)); };
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
    ModalDriver modals;
    int saves = 0;
    modals.save = [&](QFileDialog* dialog) {
        if (saves == 0) BW_LHAExtractor::extractArchiveAtURL(url(dirs));
        typeAndAccept(dialog, qpath(files_ / ("out" + std::to_string(saves++))));
    };
    modals.open = [](QFileDialog* dialog) { typeAndAccept(dialog, "Walk/walk_cycle.anim"); };
    // "Show in File Manager" for the folder without animations that came last.
    modals.alert = [&](QMessageBox* box) { acceptMessageBox(box, saves == 3 ? QMessageBox::AcceptRole : QMessageBox::RejectRole); };
    SheetWatcher sheet;
    BW_LHAExtractor::extractArchiveAtURL(url(multi));
    BW_LHAExtractor::extractArchiveAtURL(url(badcrc));
    EXPECT_TRUE(modals.seen.empty());  // nothing is asked before the event loop runs
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }));

    EXPECT_EQ(modals.order(), (QStringList{"multi_lh5_l2.lzh:save", "multi_lh5_l2.lzh:open", "badcrc10.lzh:save",
                                           "badcrc10.lzh:alert", "badcrc10.lzh:alert", "dirs_only.lzh:save",
                                           "dirs_only.lzh:alert"}));
    const SeenDialog& save = modals.seen[0];
    EXPECT_EQ(save.title, QString("Extract “multi_lh5_l2.lzh”"));
    EXPECT_EQ(save.text, QString("Choose where to create a folder for the contents of “multi_lh5_l2.lzh”."));
    EXPECT_EQ(save.acceptLabel, QString("Extract"));
    EXPECT_EQ(save.nameLabel, QString("Folder Name:"));
    EXPECT_EQ(save.name, QString("multi_lh5_l2"));
    EXPECT_EQ(save.directory, qpath(files_.path()));
    for (const SeenDialog& dialog : modals.seen) {
        EXPECT_EQ(dialog.modality, Qt::ApplicationModal);
        EXPECT_FALSE(dialog.sheetVisible);
    }

    // The four animations sit in Anims/Run, Anims/Walk and Anims/Idle/Loop.
    const SeenDialog& offer = modals.seen[1];
    EXPECT_EQ(offer.title, QString("Open ANIM Files"));
    EXPECT_EQ(offer.text, QString("“multi_lh5_l2.lzh” has been extracted. Choose the animations to open."));
    EXPECT_EQ(offer.acceptLabel, QString("Open"));
    EXPECT_EQ(offer.directory, qpath(files_ / "out0" / "Anims"));
    EXPECT_EQ(opened_, QList<QUrl>{url(files_ / "out0" / "Anims" / "Walk" / "walk_cycle.anim")});
    EXPECT_TRUE(fs::is_directory(files_ / "out0" / "Empty"));

    QString failed = "These items could not be extracted, or failed their checksum:\n";
    for (int i = 0; i < 8; ++i) failed += QString("bad%1.txt\n").arg(i, 2, 10, QChar('0'));
    EXPECT_EQ(modals.seen[3].text, QString("Some of “badcrc10.lzh” was not extracted."));
    EXPECT_EQ(modals.seen[3].informative, failed + "…and 2 more");
    for (const int i : {4, 6}) {
        const QString archiveName = i == 4 ? "badcrc10.lzh" : "dirs_only.lzh";
        EXPECT_EQ(modals.seen[i].text, QString("“%1” contains no ANIM files.").arg(archiveName));
        EXPECT_EQ(modals.seen[i].informative, QString("Its contents were extracted to “out%1”.").arg(i == 4 ? 1 : 2));
        EXPECT_EQ(modals.seen[i].buttons, (QStringList{"Show in File Manager", "OK"}));
        EXPECT_EQ(modals.seen[i].defaultButton, QString("Show in File Manager"));
    }
    EXPECT_EQ(revealed_, QList<QUrl>{url(files_ / "out2")});

    // The details line names the last file; without files it keeps its first words.
    ASSERT_EQ(sheet.shown, 3);
    ASSERT_EQ(sheet.closings.size(), 3u);
    EXPECT_EQ(sheet.closings[0].title, QString("Extracting “multi_lh5_l2.lzh”"));
    EXPECT_EQ(sheet.closings[0].details, QString("Docs/café notes.txt (10 of 10)"));
    EXPECT_EQ(sheet.closings[1].details, QString("bad09.txt (10 of 10)"));
    EXPECT_EQ(sheet.closings[2].details, QString("Reading archive…"));
    for (const auto& closing : sheet.closings) EXPECT_EQ(closing.barFraction, 1.0);
}

// The problem report names links and a damaged end, and shows names with
// their control characters escaped: badterm.lzh's one entry is "/tmp/" ESC
// "]2;malicious" BEL LF, made to fail by a file named "tmp".
TEST_F(LHAExtractorTest, ProblemsAreReportedWithNamesEscaped) {
    struct Case {
        const char* archive;
        QString problems;
        SeenDialog::Kind next;  // what comes after the report
    };
    const Case cases[] = {
        {"crafted/symlinks_only.lzh",
         "These symbolic links were not extracted:\nlink0\nsub/link1\nlink2\nAnims/walk_link\nevil_link\ndirlink",
         SeenDialog::Kind::alert},
        {"crafted/broken_l2_header_crc.lzh", "The archive is damaged: entries after “second.anim” are missing.",
         SeenDialog::Kind::open},
        {"real/archives/regression/badterm.lzh",
         "These items could not be extracted, or failed their checksum:\ntmp/\\x1b]2;malicious\\x07\\x0a",
         SeenDialog::Kind::alert},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const fs::path path = archive(c.archive);
        const fs::path destination = files_ / ("out_" + path.stem().string());
        fs::create_directories(destination);
        if (path.filename() == "badterm.lzh") std::ofstream(destination / "tmp") << "not a folder";
        ModalDriver modals;
        modals.save = extractTo(destination);
        modals.alert = [](QMessageBox* box) { acceptMessageBox(box, QMessageBox::AcceptRole); };  // Replace
        ASSERT_TRUE(openAndWait(path));
        ASSERT_GE(modals.seen.size(), 3u);
        const SeenDialog& report = modals.seen[modals.seen.size() - 2];
        EXPECT_EQ(report.text, QString("Some of “%1” was not extracted.").arg(qpath(path.filename())));
        EXPECT_EQ(report.informative, c.problems);
        EXPECT_EQ(modals.seen.back().kind, c.next);
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
        QString text, informative;
        int sheets;
    };
    const Case cases[] = {
        {anims, "taken", "The folder could not be created.",
         "A file named “taken” already exists there. Choose a different name for the folder.", 0},
        {anims, "taken/inside", "The folder could not be created.", "“inside” could not be created: Not a directory.", 0},
        {archive("crafted/empty.lha"), "from_empty", "The archive could not be read.",
         "“empty.lha” is not an LHA archive, or it is damaged.", 1},
        {archive("crafted/text.lha", "two\nlines.lha"), "from_text", "The archive could not be read.",
         "“two\\x0alines.lha” is not an LHA archive, or it is damaged.", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        const QStringList before = treeOf(files_.path());
        ModalDriver modals;
        modals.save = extractTo(files_ / c.destination);
        SheetWatcher sheet;
        ASSERT_TRUE(openAndWait(c.archive));
        ASSERT_EQ(modals.seen.size(), 2u);
        EXPECT_EQ(modals.seen[1].text, c.text);
        EXPECT_EQ(modals.seen[1].informative, c.informative);
        EXPECT_EQ(sheet.shown, c.sheets);
        EXPECT_EQ(treeOf(c.sheets == 0 ? files_.path() : files_ / c.destination),
                  c.sheets == 0 ? before : QStringList{});
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
    struct Case {
        const char* folder;
        QMessageBox::ButtonRole answer;  // to the question, if it comes
        QStringList order;
    };
    const Case cases[] = {
        {"existing", QMessageBox::RejectRole, {":save", ":alert"}},
        {"existing", QMessageBox::AcceptRole, {":save", ":alert", ":open"}},
        {"empty", QMessageBox::RejectRole, {":save", ":open"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ModalDriver modals;
        modals.save = [&](QFileDialog* dialog) {
            typeAndAccept(dialog, c.folder);  // a name beside the archive, typed as a user would
            if (dialog->isVisible()) dialog->reject();
        };
        modals.alert = [&](QMessageBox* box) { acceptMessageBox(box, c.answer); };
        ASSERT_TRUE(openAndWait(path));
        QStringList order = modals.order();
        order.replaceInStrings("anims_l1_nodirs.lzh", "");
        EXPECT_EQ(order, c.order);
        if (c.order.back() == ":alert") {
            EXPECT_EQ(treeOf(files_.path()), before);
        }
        if (c.order[1] != ":alert") continue;
        EXPECT_EQ(modals.seen[1].text, QString("“existing” already exists. Files in it with the same names as files "
                                               "in the archive will be replaced."));
        EXPECT_EQ(modals.seen[1].buttons, (QStringList{"Replace", "Cancel"}));
        EXPECT_EQ(modals.seen[1].defaultButton, QString("Cancel"));
    }
    EXPECT_EQ(readText(files_ / "existing" / "top.anim").substr(0, 4), "FORM");
    EXPECT_EQ(readText(files_ / "existing" / "keep.txt"), "mine");
    EXPECT_TRUE(fs::is_regular_file(files_ / "empty" / "Anims" / "Walk" / "x.anim"));
}

// The Open dialog shows everything but lets only folders and files with the
// ANIM signature be chosen, whatever their names, typed or clicked.
TEST_F(LHAExtractorTest, OpenDialogLetsOnlyAnimationsAndFoldersBeChosen) {
    const fs::path destination = files_ / "anims";
    ModalDriver modals;
    modals.save = extractTo(destination);
    std::map<QString, bool> enabled;  // path inside the destination → can be chosen
    QStringList refusedTyped;
    modals.open = [&](QFileDialog* dialog) {
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
    ASSERT_TRUE(openAndWait(archive("crafted/anims_l2.lzh")));
    ASSERT_EQ(modals.seen.size(), 2u);
    // top.anim at the top and two more in Anims' sub-folders: the dialog starts at the top.
    EXPECT_EQ(modals.seen[1].directory, qpath(destination));
    EXPECT_EQ(enabled, (std::map<QString, bool>{{"Anims", true},
                                                {"picture.iff", false},
                                                {"top.anim", true},
                                                {"Anims/Run", true},
                                                {"Anims/Walk", true},
                                                {"Anims/readme.txt", false},
                                                {"Anims/short.anim", false},
                                                {"Anims/Run/y.anim", true},
                                                {"Anims/Run/fake.anim", false}}));
    EXPECT_EQ(refusedTyped, (QStringList{"picture.iff", "Anims/Run/fake.anim"}));
    EXPECT_TRUE(opened_.isEmpty());
}

// Cancel in the sheet: the entry being written is finished, nothing after
// it is, no temporary file stays, and no report follows. The worker is held
// inside the first big entry until Cancel has been pressed.
TEST_F(LHAExtractorTest, CancelStopsBeforeTheNextEntryAndKeepsWhatWasWritten) {
    const auto path = GeneratedArchives::shared().archive(kLargeArchive);
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
    ModalDriver modals;
    modals.save = extractTo(destination);
    SheetWatcher sheet;
    BW_LHAExtractor::extractArchiveAtURL(url(*path));
    QWidget* panel = nullptr;
    ASSERT_TRUE(waitFor([&] {
        panel = progressPanel();
        return panel && entriesStarted > 0 &&
               panel->findChild<ElidingLabel*>("details")->text() == QString("Large/big1.bin (1 of 3)");
    }));
    QTest::mouseClick(panel->findChild<QPushButton*>(), Qt::LeftButton);
    EXPECT_EQ(panel->findChild<ElidingLabel*>("details")->text(), QString("Cancelling…"));
    cancelPressed = true;
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }));

    EXPECT_EQ(modals.seen.size(), 1u);  // the save dialog; no report, no Open dialog
    ASSERT_EQ(sheet.closings.size(), 1u);
    EXPECT_EQ(sheet.closings[0].details, QString("Cancelling…"));
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
