// Opening LHA archives: the queue, the save dialog, the destination's
// errors, the progress sheet, the problem report, the no-animations alert
// and the Open dialog with the animations found, driven as a user does.
#include <gtest/gtest.h>

#include <QAbstractProxyModel>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/ErrorPresentation.h"
#include "app/SingleInstance.h"
#include "DocumentTestSupport.h"
#include "PrivateSessionBus.h"
#include "lha/ui/BW_LHAExtractor.h"
#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/ElidingLabel.h"
#include "support/Corpus.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// Long enough for the 50 MB archive under the sanitizers.
constexpr int kWorkflowMs = 60000;

std::filesystem::path lhaCorpus() { return corpusDir() / "lha"; }

QString qpath(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// Every file and folder under `root`, relative, sorted.
QStringList treeOf(const std::filesystem::path& root) {
    QStringList entries;
    if (!std::filesystem::exists(root)) return entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        entries << qpath(std::filesystem::relative(entry.path(), root));
    return sorted(entries);
}

// What a dialog showed when it came up.
struct SeenDialog {
    enum class Kind { save, open, alert } kind = Kind::alert;
    QString title;
    QString text;         // an alert's text, a file dialog's message line
    QString informative;  // an alert's informative text
    QString directory;    // where a file dialog started
    QString name;         // a save dialog's name field
    QString acceptLabel;  // a file dialog's accept button
    QString nameLabel;    // a save dialog's name field label
    QStringList buttons;  // an alert's buttons, in order
    QString defaultButton;
    Qt::WindowModality modality = Qt::NonModal;
    QString extracting;   // the archive being worked on then
    bool sheetVisible = false;
};

QAbstractButton* acceptButton(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!box) return nullptr;
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) return button;
    return nullptr;
}

// Types `name` into the dialog's name field and presses its accept button.
void typeAndAccept(QFileDialog* dialog, const QString& name) {
    auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QAbstractButton* accept = acceptButton(dialog);
    if (!field || !accept) {
        ADD_FAILURE() << "the file dialog has no name field or accept button";
        dialog->reject();
        return;
    }
    field->setText(name);
    accept->click();
}

bool progressSheetVisible() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "BW_ProgressSheetPanel" && window->isVisible()) return true;
    return false;
}

// Answers every modal dialog as it comes up, after noting what it showed.
// By default a save dialog is cancelled, an Open dialog too, and an alert
// gets its default button.
class ModalDriver {
public:
    std::function<void(QFileDialog*)> save = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QFileDialog*)> open = [](QFileDialog* dialog) { dialog->reject(); };
    std::function<void(QMessageBox*)> alert = [](QMessageBox* box) { acceptMessageBox(box); };
    std::vector<SeenDialog> seen;

    ModalDriver() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }

    std::vector<SeenDialog> ofKind(SeenDialog::Kind kind) const {
        std::vector<SeenDialog> out;
        for (const SeenDialog& dialog : seen)
            if (dialog.kind == kind) out.push_back(dialog);
        return out;
    }

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (answering_ || !modal || !modal->isVisible()) return;
        for (const QPointer<QWidget>& done : answered_)
            if (done == modal) return;
        answered_ << modal;
        answering_ = true;
        SeenDialog record;
        record.title = modal->windowTitle();
        record.modality = modal->windowModality();
        record.sheetVisible = progressSheetVisible();
        if (BW_LHAExtractor* current = BW_LHAExtractor::currentExtractor())
            record.extracting = current->archiveURL().fileName();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            record.kind = dialog->acceptMode() == QFileDialog::AcceptSave ? SeenDialog::Kind::save : SeenDialog::Kind::open;
            if (auto* message = dialog->findChild<QLabel*>(QStringLiteral("message"))) record.text = message->text();
            record.directory = dialog->directory().absolutePath();
            if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) record.name = field->text();
            if (QAbstractButton* accept = acceptButton(dialog)) record.acceptLabel = accept->text();
            record.nameLabel = dialog->labelText(QFileDialog::FileName);
            seen.push_back(record);
            (record.kind == SeenDialog::Kind::save ? save : open)(dialog);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            record.text = box->text();
            record.informative = box->informativeText();
            for (QAbstractButton* button : box->buttons()) record.buttons << button->text();
            if (box->defaultButton()) record.defaultButton = box->defaultButton()->text();
            seen.push_back(record);
            alert(box);
        } else {
            ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
            modal->close();
        }
        answering_ = false;
    }

    QTimer timer_;
    QList<QPointer<QWidget>> answered_;
    bool answering_ = false;
};

// What the progress sheet showed each time it closed.
class SheetWatcher : public QObject {
public:
    struct Closing {
        QString title;
        QString details;
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
            const auto* panel = static_cast<QWidget*>(object);
            const auto* bar = panel->findChild<QProgressBar*>();
            const double range = bar->maximum() - bar->minimum();
            closings.push_back({panel->findChild<ElidingLabel*>(QStringLiteral("title"))->text(),
                                panel->findChild<ElidingLabel*>(QStringLiteral("details"))->text(),
                                range > 0 ? (bar->value() - bar->minimum()) / range : 0.0});
        }
        return false;
    }
};

class LHAExtractorTest : public ApplicationTest {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(lhaCorpus())) GTEST_SKIP() << "no LHA corpus at " << lhaCorpus();
        ApplicationTest::SetUp();
        BW_LHAExtractor::setRevealer([this](const QUrl& url) { revealed_ << url; });
    }
    void TearDown() override {
        if (BW_LHAExtractor::isBusy()) {
            ADD_FAILURE() << "an archive workflow was still running";
            ModalDriver dismiss;
            waitFor([] { return !BW_LHAExtractor::isBusy(); }, kWorkflowMs);
        }
        BW_LHAExtractor::setRevealer({});
        BW_LHAExtractor::setEngineSetupForTesting({});
        if (delegate_) ApplicationTest::TearDown();
    }

    // A copy of a corpus archive in the test's own folder, so that the save
    // dialog starts there and nothing can land beside the corpus.
    std::filesystem::path archive(const std::string& corpusPath) {
        const auto from = lhaCorpus() / corpusPath;
        const auto to = files_ / from.filename();
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return to;
    }

    // Opens the archive as the user does, and waits for its workflow to end.
    static bool openAndWait(const std::filesystem::path& path) {
        controller()->openURL(url(path));
        return waitFor([] { return !BW_LHAExtractor::isBusy(); }, kWorkflowMs);
    }

    // A save dialog answer: the destination typed as a full path.
    static std::function<void(QFileDialog*)> extractTo(const std::filesystem::path& destination) {
        return [destination](QFileDialog* dialog) { typeAndAccept(dialog, qpath(destination)); };
    }

    QList<QUrl> revealed_;
};

// The run the feature exists for: a real multi-folder archive made by jlha,
// extracted into a new folder, one of its animations opened from the list.
TEST_F(LHAExtractorTest, ExtractsAnArchiveAndOpensTheChosenAnimation) {
    const auto path = archive("jlha/multi_lh5_l2.lzh");
    const auto destination = files_ / "extracted" / "multi";
    const auto chosen = destination / "Anims" / "Walk" / "walk_cycle.anim";
    ModalDriver modals;
    modals.save = extractTo(destination);
    modals.open = [&](QFileDialog* dialog) { typeAndAccept(dialog, "Walk/walk_cycle.anim"); };
    SheetWatcher sheet;

    std::optional<Error> answer;
    controller()->openDocumentWithContentsOfURL(url(path), true, [&](app::Document* document, bool, const Error* error) {
        EXPECT_EQ(document, nullptr);
        if (error) answer = *error;
    });
    // The document framework is told at once that the user cancelled: no
    // window, no alert; the archive waits in the queue.
    ASSERT_TRUE(answer);
    EXPECT_TRUE(app::isUserCancelled(*answer));
    EXPECT_TRUE(BW_LHAExtractor::isBusy());
    EXPECT_EQ(controller()->recentDocumentURLs().value(0), url(path));
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }, kWorkflowMs));

    ASSERT_EQ(modals.seen.size(), 2u);
    const SeenDialog& save = modals.seen[0];
    EXPECT_EQ(save.kind, SeenDialog::Kind::save);
    EXPECT_EQ(save.title, QString("Extract “multi_lh5_l2.lzh”"));
    EXPECT_EQ(save.text, QString("Choose where to create a folder for the contents of “multi_lh5_l2.lzh”."));
    EXPECT_EQ(save.acceptLabel, QString("Extract"));
    EXPECT_EQ(save.nameLabel, QString("Folder Name:"));
    EXPECT_EQ(save.name, QString("multi_lh5_l2"));
    EXPECT_EQ(save.directory, qpath(files_.path()));
    EXPECT_EQ(save.modality, Qt::ApplicationModal);

    ASSERT_EQ(sheet.closings.size(), 1u);
    EXPECT_EQ(sheet.shown, 1);
    EXPECT_EQ(sheet.closings[0].title, QString("Extracting “multi_lh5_l2.lzh”"));
    EXPECT_EQ(sheet.closings[0].barFraction, 1.0);
    // The details line named the last file.
    EXPECT_EQ(sheet.closings[0].details, QString("Docs/café notes.txt (10 of 10)"));

    // The four animations sit in Anims/Run, Anims/Walk and Anims/Idle/Loop.
    const SeenDialog& offer = modals.seen[1];
    EXPECT_EQ(offer.kind, SeenDialog::Kind::open);
    EXPECT_FALSE(offer.sheetVisible);
    EXPECT_EQ(offer.title, QString("Open ANIM Files"));
    EXPECT_EQ(offer.text, QString("“multi_lh5_l2.lzh” has been extracted. Choose the animations to open."));
    EXPECT_EQ(offer.acceptLabel, QString("Open"));
    EXPECT_EQ(offer.directory, qpath(destination / "Anims"));
    EXPECT_EQ(offer.modality, Qt::ApplicationModal);

    app::Document* document = controller()->documentForURL(url(chosen));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_TRUE(document->window()->isVisible());
    EXPECT_TRUE(waitForFirstFrame(document));
    EXPECT_EQ(controller()->recentDocumentURLs().mid(0, 2), (QList<QUrl>{url(chosen), url(path)}));
    EXPECT_TRUE(std::filesystem::is_regular_file(destination / "Docs" / "café notes.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(destination / "Empty"));
}

// Archives opened together are worked on one at a time: each save dialog
// comes only after the archive before has shown its last dialog.
TEST_F(LHAExtractorTest, ArchivesOpenedTogetherAreExtractedOneAfterAnother) {
    const std::vector<std::string> names{"crafted/dirs_only.lzh", "crafted/badcrc10.lzh", "crafted/anims_l1_nodirs.lzh"};
    std::vector<std::filesystem::path> archives;
    for (const std::string& name : names) archives.push_back(archive(name));
    ModalDriver modals;
    int saves = 0;
    modals.save = [&](QFileDialog* dialog) { typeAndAccept(dialog, qpath(files_ / ("out" + std::to_string(saves++)))); };
    SheetWatcher sheet;

    AlertRecorder noAlertsYet;
    for (const auto& path : archives) {
        int answered = 0;
        controller()->openDocumentWithContentsOfURL(url(path), true, [&](app::Document* document, bool, const Error* error) {
            ++answered;
            EXPECT_EQ(document, nullptr);
            ASSERT_NE(error, nullptr);
            EXPECT_TRUE(app::isUserCancelled(*error));
        });
        EXPECT_EQ(answered, 1);
    }
    EXPECT_EQ(noAlertsYet.count(), 0);
    EXPECT_TRUE(modals.seen.empty());  // nothing is asked before the event loop runs
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }, kWorkflowMs));

    QStringList order;
    for (const SeenDialog& dialog : modals.seen) {
        order << dialog.extracting + (dialog.kind == SeenDialog::Kind::save ? ":save" : dialog.kind == SeenDialog::Kind::open ? ":open" : ":alert");
        if (dialog.kind == SeenDialog::Kind::save) {
            EXPECT_FALSE(dialog.sheetVisible);
        }
    }
    EXPECT_EQ(order, (QStringList{"dirs_only.lzh:save", "dirs_only.lzh:alert", "badcrc10.lzh:save", "badcrc10.lzh:alert",
                                  "badcrc10.lzh:alert", "anims_l1_nodirs.lzh:save", "anims_l1_nodirs.lzh:open"}));
    EXPECT_EQ(sheet.shown, 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::filesystem::is_directory(files_ / ("out" + std::to_string(i))));
    QList<QUrl> recent = controller()->recentDocumentURLs().mid(0, 3);
    EXPECT_EQ(recent, (QList<QUrl>{url(archives[2]), url(archives[1]), url(archives[0])}));
    EXPECT_TRUE(controller()->documents().isEmpty());
}

// A second launch hands its archive to the running instance, which queues
// it behind the archive it is working on.
TEST_F(LHAExtractorTest, ArchiveFromASecondLaunchJoinsTheQueue) {
    PrivateSessionBus bus;
    if (!bus.running()) GTEST_SKIP() << bus.failure().toStdString();
    app::SingleInstance running;
    app::SingleInstance launched;
    ASSERT_EQ(running.claim(bus.connect()), app::SingleInstance::Role::primary);
    ASSERT_EQ(launched.claim(bus.connect()), app::SingleInstance::Role::secondary);
    // As the application's main() connects them.
    QObject::connect(&running, &app::SingleInstance::openFilesRequested, [](const QStringList& paths) {
        for (const QString& path : paths) controller()->openURL(QUrl::fromLocalFile(path));
    });
    const auto first = archive("crafted/dirs_only.lzh");
    const auto second = archive("crafted/anims_l2.lzh");
    ModalDriver modals;
    bool handedOff = false;
    int saves = 0;
    modals.save = [&](QFileDialog* dialog) {
        // The second launch comes while the first archive's save dialog is up.
        if (!handedOff) handedOff = launched.handOff({qpath(second)});
        typeAndAccept(dialog, qpath(files_ / ("out" + std::to_string(saves++))));
    };
    controller()->openURL(url(first));
    ASSERT_TRUE(waitFor([&] { return handedOff && !BW_LHAExtractor::isBusy(); }, kWorkflowMs));
    QStringList order;
    for (const SeenDialog& dialog : modals.seen) order << dialog.extracting + ":" + dialog.title;
    EXPECT_EQ(order, (QStringList{"dirs_only.lzh:Extract “dirs_only.lzh”", "dirs_only.lzh:" + QCoreApplication::applicationName(),
                                  "anims_l2.lzh:Extract “anims_l2.lzh”", "anims_l2.lzh:Open ANIM Files"}));
    EXPECT_EQ(controller()->recentDocumentURLs().value(0), url(second));
}

// Where the destination goes wrong before anything is extracted.
TEST_F(LHAExtractorTest, DestinationThatCannotBeAFolderIsRefusedAndNothingIsWritten) {
    const auto path = archive("crafted/anims_l2.lzh");
    writeFile(files_ / "taken", std::string("a file, not a folder"));
    struct Case {
        const char* name;
        std::string destination;
        QString text;
        QString informative;  // empty: the file system's own words, whatever they are
    };
    const Case cases[] = {
        {"a file of that name", "taken", "The folder could not be created.",
         "A file named “taken” already exists there. Choose a different name for the folder."},
        {"a folder under a file", "taken/inside", "", ""},
    };
    const QStringList before = treeOf(files_.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalDriver modals;
        modals.save = extractTo(files_ / c.destination);
        SheetWatcher sheet;
        ASSERT_TRUE(openAndWait(path));
        const auto alerts = modals.ofKind(SeenDialog::Kind::alert);
        ASSERT_EQ(alerts.size(), 1u);
        ASSERT_EQ(modals.seen.size(), 2u);
        EXPECT_EQ(alerts[0].modality, Qt::ApplicationModal);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(alerts[0].text, c.text);
            EXPECT_EQ(alerts[0].informative, c.informative);
        } else {
            EXPECT_FALSE(alerts[0].text.isEmpty());
            EXPECT_NE(alerts[0].text, QString("The folder could not be created."));
        }
        EXPECT_EQ(sheet.shown, 0);
        EXPECT_EQ(treeOf(files_.path()), before);
    }
}

// Cancelling the save dialog ends the workflow with nothing shown or made;
// an existing folder takes the entries beside what it holds.
TEST_F(LHAExtractorTest, SaveDialogCancelledDoesNothingAndAnExistingFolderIsExtractedInto) {
    const auto path = archive("crafted/anims_l1_nodirs.lzh");
    const QStringList before = treeOf(files_.path());
    {
        ModalDriver modals;
        SheetWatcher sheet;
        ASSERT_TRUE(openAndWait(path));
        EXPECT_EQ(modals.seen.size(), 1u);
        EXPECT_EQ(sheet.shown, 0);
        EXPECT_EQ(treeOf(files_.path()), before);
    }
    const auto existing = files_ / "existing";
    std::filesystem::create_directory(existing);
    writeFile(existing / "keep.txt", std::string("mine"));
    ModalDriver modals;
    modals.save = [&](QFileDialog* dialog) {
        // A name that is a folder beside the archive: typed as the user would.
        typeAndAccept(dialog, "existing");
    };
    ASSERT_TRUE(openAndWait(path));
    ASSERT_EQ(modals.seen.size(), 2u);
    EXPECT_EQ(modals.seen[1].kind, SeenDialog::Kind::open);
    EXPECT_EQ(modals.seen[1].directory, qpath(existing));
    EXPECT_TRUE(treeOf(existing).contains("keep.txt"));
    EXPECT_TRUE(treeOf(existing).contains("top.anim"));
    EXPECT_TRUE(treeOf(existing).contains("Anims/Walk/x.anim"));
}

// Files that are not LHA archives at all: the alert, and the folder made
// for them is left, empty.
TEST_F(LHAExtractorTest, UnreadableArchiveIsReportedAndLeavesTheEmptyFolder) {
    for (const char* name : {"crafted/empty.lha", "crafted/text.lha"}) {
        SCOPED_TRACE(name);
        const auto path = archive(name);
        const auto destination = files_ / ("from_" + path.filename().string());
        ModalDriver modals;
        modals.save = extractTo(destination);
        SheetWatcher sheet;
        ASSERT_TRUE(openAndWait(path));
        const auto alerts = modals.ofKind(SeenDialog::Kind::alert);
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(modals.seen.size(), 2u);  // no Open dialog, no other alert
        EXPECT_EQ(alerts[0].text, QString("The archive could not be read."));
        EXPECT_EQ(alerts[0].informative,
                  QString("“%1” is not an LHA archive, or it is damaged.").arg(qpath(path.filename())));
        EXPECT_FALSE(alerts[0].sheetVisible);
        EXPECT_EQ(sheet.closings.size(), 1u);
        EXPECT_TRUE(std::filesystem::is_directory(destination));
        EXPECT_TRUE(treeOf(destination).isEmpty());
    }
}

// The problems alert lists at most eight items, then how many more; links
// and a damaged end are reported in it too; then the no-animations alert.
// With no file to report, the sheet's details keep "Reading archive…".
TEST_F(LHAExtractorTest, ProblemsAreListedBeforeTheAnimationsAreOffered) {
    struct Case {
        const char* archive;
        QString problems;  // the problems alert's informative text; empty: no such alert
        bool animations;   // the Open dialog comes, else the no-animations alert
        QString detailsAtClose;
    };
    QString badcrc = "These items could not be extracted, or failed their checksum:\n";
    for (int i = 0; i < 8; ++i) badcrc += QString("bad%1.txt\n").arg(i, 2, 10, QChar('0'));
    badcrc += "…and 2 more";
    const Case cases[] = {
        {"crafted/badcrc10.lzh", badcrc, false, "bad09.txt (10 of 10)"},
        {"crafted/dirs_only.lzh", "", false, "Reading archive…"},
        {"crafted/symlinks_only.lzh",
         "These symbolic links were not extracted:\nlink0\nsub/link1\nlink2\nAnims/walk_link\nevil_link\ndirlink",
         false, "Reading archive…"},
        {"crafted/broken_l2_header_crc.lzh",
         "The archive is damaged: entries after “second.anim” are missing.", true, "second.anim (2 of 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const auto path = archive(c.archive);
        const auto destination = files_ / ("out_" + path.stem().string());
        ModalDriver modals;
        modals.save = extractTo(destination);
        SheetWatcher sheet;
        ASSERT_TRUE(openAndWait(path));

        std::vector<SeenDialog> after(modals.seen.begin() + 1, modals.seen.end());
        if (!c.problems.isEmpty()) {
            ASSERT_FALSE(after.empty());
            EXPECT_EQ(after.front().kind, SeenDialog::Kind::alert);
            EXPECT_EQ(after.front().text, QString("Some of “%1” was not extracted.").arg(qpath(path.filename())));
            EXPECT_EQ(after.front().informative, c.problems);
            EXPECT_EQ(after.front().modality, Qt::ApplicationModal);
            after.erase(after.begin());
        }
        ASSERT_EQ(after.size(), 1u);
        if (c.animations) {
            EXPECT_EQ(after[0].kind, SeenDialog::Kind::open);
        } else {
            EXPECT_EQ(after[0].kind, SeenDialog::Kind::alert);
            EXPECT_EQ(after[0].text, QString("“%1” contains no ANIM files.").arg(qpath(path.filename())));
            EXPECT_EQ(after[0].informative, QString("Its contents were extracted to “%1”.").arg(qpath(destination.filename())));
        }
        ASSERT_EQ(sheet.closings.size(), 1u);
        if (!c.detailsAtClose.isEmpty()) {
            EXPECT_EQ(sheet.closings[0].details, c.detailsAtClose);
        }
        EXPECT_EQ(sheet.closings[0].barFraction, 1.0);
    }
}

// "Show in Finder" names a program this system does not have: the English
// table makes it "Show in File Manager", which shows the destination.
TEST_F(LHAExtractorTest, NoAnimationsAlertOffersShowInFileManager) {
    EXPECT_EQ(QCoreApplication::translate("velarium::BW_LHAExtractor", "Show in Finder"),
              QString("Show in File Manager"));
    const auto path = archive("crafted/dirs_only.lzh");
    for (const bool show : {true, false}) {
        SCOPED_TRACE(show ? "Show in File Manager" : "OK");
        revealed_.clear();
        const auto destination = files_ / (show ? "shown" : "not_shown");
        ModalDriver modals;
        modals.save = extractTo(destination);
        modals.alert = [show](QMessageBox* box) { acceptMessageBox(box, show ? QMessageBox::AcceptRole : QMessageBox::RejectRole); };
        ASSERT_TRUE(openAndWait(path));
        ASSERT_EQ(modals.seen.size(), 2u);
        EXPECT_EQ(modals.seen[1].buttons, (QStringList{"Show in File Manager", "OK"}));
        EXPECT_EQ(modals.seen[1].defaultButton, QString("Show in File Manager"));
        EXPECT_EQ(revealed_, show ? QList<QUrl>{url(destination)} : QList<QUrl>{});
    }
}

// The Open dialog shows everything but lets only folders and files with the
// ANIM signature be chosen, whatever their names; cancelling it opens nothing.
TEST_F(LHAExtractorTest, OpenDialogLetsOnlyAnimationsAndFoldersBeChosen) {
    const auto path = archive("crafted/anims_l2.lzh");
    const auto destination = files_ / "anims";
    ModalDriver modals;
    modals.save = extractTo(destination);
    std::map<QString, bool> enabled;  // path inside the destination → can be chosen
    QStringList refusedTyped;
    modals.open = [&](QFileDialog* dialog) {
        auto* files = qobject_cast<QFileSystemModel*>(dialog->proxyModel() ? dialog->proxyModel()->sourceModel() : nullptr);
        if (!files) {
            ADD_FAILURE() << "the Open dialog has no proxy over its file model";
            dialog->reject();
            return;
        }
        QAbstractProxyModel* proxy = dialog->proxyModel();
        for (const QString& folder : {QString(), QString("Anims"), QString("Anims/Run")}) {
            const QString absolute = QDir::cleanPath(QDir(qpath(destination)).filePath(folder));
            // Proxy indexes do not outlive changes of the model: each look is fresh.
            const auto root = [&] { return proxy->mapFromSource(files->index(absolute)); };
            files->fetchMore(files->index(absolute));
            waitFor([&] { return proxy->rowCount(root()) > 0; });
            for (int row = 0; row < proxy->rowCount(root()); ++row) {
                const QModelIndex index = proxy->index(row, 0, root());
                const QString name = QDir(qpath(destination)).relativeFilePath(files->filePath(proxy->mapToSource(index)));
                enabled[name] = (proxy->flags(index) & (Qt::ItemIsEnabled | Qt::ItemIsSelectable)) ==
                                (Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
        }
        // A name that cannot be chosen is not taken when typed either.
        for (const char* typed : {"picture.iff", "Anims/Run/fake.anim"}) {
            typeAndAccept(dialog, typed);
            if (dialog->isVisible()) refusedTyped << typed;
        }
        dialog->reject();
    };
    ASSERT_TRUE(openAndWait(path));
    ASSERT_EQ(modals.seen.size(), 2u);
    // top.anim at the top and two more in Anims' sub-folders: the dialog starts at the top.
    EXPECT_EQ(modals.seen[1].directory, qpath(destination));
    const std::map<QString, bool> expected{
        {"Anims", true},           {"picture.iff", false},        {"top.anim", true},
        {"Anims/Run", true},       {"Anims/Walk", true},          {"Anims/readme.txt", false},
        {"Anims/short.anim", false}, {"Anims/Run/y.anim", true},  {"Anims/Run/fake.anim", false},
    };
    EXPECT_EQ(enabled, expected);
    EXPECT_EQ(refusedTyped, (QStringList{"picture.iff", "Anims/Run/fake.anim"}));
    EXPECT_TRUE(controller()->documents().isEmpty());
}

// Cancel in the sheet: the entry being written is finished, nothing after
// it is, and no report follows. The worker is held inside the first big
// entry until Cancel has been pressed, and slowed afterwards.
TEST_F(LHAExtractorTest, CancelStopsBeforeTheNextEntryAndKeepsWhatWasWritten) {
    const QString python = QStandardPaths::findExecutable("python3");
    const auto generator = lhaCorpus() / "tools" / "make_crafted.py";
    if (python.isEmpty() || !std::filesystem::exists(generator)) GTEST_SKIP() << "python3 or make_crafted.py missing";
    QProcess make;
    make.start(python, {qpath(generator), qpath(files_.path()), "--large-only"});
    ASSERT_TRUE(make.waitForFinished(120000) && make.exitCode() == 0) << make.readAllStandardError().toStdString();
    const auto path = files_ / "large_stored.lzh";
    ASSERT_TRUE(std::filesystem::exists(path));
    const auto destination = files_ / "large";

    std::atomic<bool> cancelPressed{false};
    std::atomic<int> entriesStarted{0};
    BW_LHAExtractor::setEngineSetupForTesting([&](ArchiveExtractor& engine) {
        engine.setBlockHook([&](unsigned done, unsigned) {
            if (done == 0 && ++entriesStarted == 1) {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!cancelPressed && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        });
    });
    ModalDriver modals;
    modals.save = extractTo(destination);
    SheetWatcher sheet;
    controller()->openURL(url(path));
    BW_ProgressSheet* progress = nullptr;
    ASSERT_TRUE(waitFor([&] {
        BW_LHAExtractor* current = BW_LHAExtractor::currentExtractor();
        progress = current ? current->progressSheet() : nullptr;
        return progress && entriesStarted > 0 &&
               progress->detailTextField()->text() == QString("Large/big1.bin (1 of 3)");
    }));
    QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(progress->detailTextField()->text(), QString("Cancelling…"));
    EXPECT_TRUE(BW_LHAExtractor::currentExtractor()->isCancelled());
    cancelPressed = true;
    ASSERT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }, kWorkflowMs));

    EXPECT_EQ(modals.seen.size(), 1u);  // the save dialog; no report, no Open dialog
    ASSERT_EQ(sheet.closings.size(), 1u);
    EXPECT_EQ(sheet.closings[0].details, QString("Cancelling…"));
    EXPECT_EQ(entriesStarted, 1);
    EXPECT_EQ(std::filesystem::file_size(destination / "Large" / "big1.bin"), 30u * 1024 * 1024);
    EXPECT_EQ(treeOf(destination), (QStringList{"Large", "Large/big1.bin"}));
    EXPECT_TRUE(controller()->documents().isEmpty());
}

// Where the Open dialog starts, for animations in various places.
TEST(LHAExtractorFolders, OpenDialogStartsInTheDeepestFolderHoldingEveryAnimation) {
    struct Case {
        QStringList animations;  // paths under /d/out
        QString expected;
    };
    const Case cases[] = {
        {{"Anims/Walk/x.anim", "Anims/Run/y.anim"}, "/d/out/Anims"},
        {{"Anims/Walk/x.anim"}, "/d/out/Anims/Walk"},
        {{"Anims/Walk/x.anim", "Anims/Walk/y.anim"}, "/d/out/Anims/Walk"},
        {{"Anims/Walk/x.anim", "top.anim"}, "/d/out"},
        {{"a/b/c/x.anim", "a/b/d/y.anim", "a/e/z.anim"}, "/d/out/a"},
        {{"Anims/x.anim", "AnimsMore/y.anim"}, "/d/out"},  // shared letters are no shared folder
        {{}, "/d/out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.animations.join(", ").toStdString());
        QList<QUrl> urls;
        for (const QString& path : c.animations) urls << QUrl::fromLocalFile("/d/out/" + path);
        EXPECT_EQ(BW_LHAExtractor::folderContainingAnimations(urls, QUrl::fromLocalFile("/d/out")).toLocalFile(),
                  c.expected);
    }
    // A destination named like the start of another folder does not hold it.
    EXPECT_EQ(BW_LHAExtractor::folderContainingAnimations({QUrl::fromLocalFile("/d/outer/x.anim")},
                                                          QUrl::fromLocalFile("/d/out")),
              QUrl::fromLocalFile("/d/out"));
}

TEST(LHAExtractorLists, ListTextShowsEightItemsThenHowManyMore) {
    const QStringList nine{"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    EXPECT_EQ(BW_LHAExtractor::listText({}), QString());
    EXPECT_EQ(BW_LHAExtractor::listText(nine.mid(0, 8)), QString("1\n2\n3\n4\n5\n6\n7\n8"));
    EXPECT_EQ(BW_LHAExtractor::listText(nine), QString("1\n2\n3\n4\n5\n6\n7\n8\n…and 1 more"));
}

TEST(LHAArchiveRouting, ArchivesAreRecognisedByNameAndTheirTypes) {
    TemporaryFolder files;
    struct Case {
        const char* name;
        bool folder;
        bool archive;
    };
    const Case cases[] = {
        {"disk.lha", false, true}, {"DISK.LZH", false, true}, {"old.Lzh", false, true},
        {"disk.lha.anim", false, false}, {"walk.anim", false, false}, {"notes.txt", false, false},
        {"lha", false, false}, {"folder.lha", true, false},
    };
    app::BW_DocumentController controller;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.folder) std::filesystem::create_directory(files / c.name);
        else writeFile(files / c.name, std::string("x"));
        EXPECT_EQ(controller.isLHAArchiveURL(QUrl::fromLocalFile(qpath(files / c.name))), c.archive);
    }
}

}  // namespace
}  // namespace velarium
