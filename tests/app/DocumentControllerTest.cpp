// The document controller (what a file is taken for, what opening it does,
// one alert per bad file, the recent documents, the Open dialog, drops and
// archives) and the documents it opens.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDropEvent>
#include <QMenu>
#include <QMimeData>

#include <fstream>
#include <set>
#include <thread>

#include "app/DocumentTypes.h"
#include "app/ErrorPresentation.h"
#include "app/MenuActions.h"
#include "DocumentTestSupport.h"
#include "lha/ui/BW_LHAExtractor.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"
#include "support/LHAArchives.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

const QString kANIM = QString::fromLatin1(kANIMTypeIdentifier), kLHA = QString::fromLatin1(kLHAArchiveTypeIdentifier);

enum class Contents { animation, garbage, empty, text, stillPicture, folder, missing, unreadable };

class DocumentControllerTest : public ApplicationTest {
protected:
    std::filesystem::path create(const std::string& name, Contents contents) {
        switch (contents) {
            case Contents::animation: return animationFile(name);
            case Contents::garbage: return files_.write(name, std::string(4096, '\x5a'));
            case Contents::empty: return files_.write(name, "");
            case Contents::text: return files_.write(name, "Just some notes.\n");
            case Contents::stillPicture: return files_.write(name, form("ILBM", {bmhd({}), chunk("BODY", ByteVector(2, 0))}));
            case Contents::folder: std::filesystem::create_directory(files_ / name); break;
            case Contents::missing: break;
            case Contents::unreadable: ::chmod(animationFile(name).c_str(), 0); break;
        }
        return files_ / name;
    }
};

// Opening a file gives a window, which stays open when playback fails, or
// one alert naming the file. A file not named .anim plays from a .anim copy
// in a folder of its own, gone once the document closes. Archives go to the
// extraction queue; their opener hears that the user cancelled.
TEST_F(DocumentControllerTest, FilesAreTypedByNameThenBySignatureAndBadOnesSayWhy) {
    const struct {
        const char* fileName;
        Contents contents;
        QString type;                  // empty: an error
        const char* saying = nullptr;  // a phrase of the one alert
        const char* copy = nullptr;    // the name the window plays, when not the file's
        bool lha = false;
    } cases[] = {
        {"x.anim", Contents::animation, kANIM}, {"LOUD.ANIM", Contents::animation, kANIM},
        {"old.anim5", Contents::animation, kANIM}, {"walk", Contents::animation, kANIM, nullptr, "walk.anim"},
        {"walk.iff", Contents::animation, kANIM, nullptr, "walk.iff.anim"},
        {"pic.dat", Contents::animation, kANIM, nullptr, "pic.dat.anim"},
        // The name alone makes these animations; playback finds them out.
        {"broken.anim", Contents::garbage, kANIM, "The file is not an IFF ANIM animation."},
        {"empty.anim", Contents::empty, kANIM, "The file is empty."},
        {"notes.txt", Contents::text, "text/plain", "The file is not an IFF ANIM animation."},
        {"still.iff", Contents::stillPicture, "image/x-ilbm", "The file is not an IFF ANIM animation."},
        {"notes", Contents::text, "", "The file is not an IFF ANIM animation."},
        {"clips.anim", Contents::folder, "inode/directory", "This is a folder, not an animation."},
        {"gone.anim", Contents::missing, "", "no such file"},
        // The alert says the file cannot be read, not that it is of the wrong type.
        {"locked.anim", Contents::unreadable, kANIM, "permission"}, {"locked.iff", Contents::unreadable, "", "permission"},
        // The second is an animation by its signature, but an archive by its name.
        {"disk.lha", Contents::garbage, kLHA, nullptr, nullptr, true}, {"DISK.LZH", Contents::animation, kANIM, nullptr, nullptr, true},
    };
    // The archives' workflows end at their save dialogs, cancelled.
    ModalAnswerer dismiss([](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) dialog->reject();
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        if (c.contents == Contents::unreadable && ::geteuid() == 0) continue;  // root reads a file of mode 000
        const auto path = create(c.fileName, c.contents);
        Error typeError;
        EXPECT_EQ(controller()->typeForContentsOfURL(url(path), &typeError), c.type);
        EXPECT_EQ(typeError.domain.empty(), !c.type.isEmpty());
        EXPECT_EQ(controller()->isLHAArchiveURL(url(path)), c.lha);
        if (c.lha) {
            std::optional<Error> openError;
            controller()->openDocumentWithContentsOfURL(url(path), false, [&](Document* document, bool, const Error* error) {
                EXPECT_EQ(document, nullptr);
                if (error) openError = *error;
            });
            ASSERT_TRUE(openError);
            EXPECT_EQ(openError->code, kUserCancelledError);
            continue;
        }
        AlertRecorder alerts;
        Document* document = open(path);
        EXPECT_TRUE(c.saying ? alerts.settlesAt(1, {c.fileName, c.saying}) : alerts.settlesAt(0));
        ASSERT_EQ(document != nullptr, c.type == kANIM && !c.lha);
        EXPECT_EQ(controller()->documents().size(), document ? 1 : 0);
        if (document) {
            EXPECT_TRUE(document->window()->isVisible());
            EXPECT_TRUE(c.saying || waitForFirstFrame(document));
            const QString folder = document->playbackCopyFolder();
            EXPECT_EQ(playbackCopyFolders(), c.copy ? QStringList{folder} : QStringList{});
            EXPECT_EQ(document->playbackURL(), c.copy ? QUrl::fromLocalFile(folder + '/' + c.copy) : url(path));
            document->close();
            EXPECT_TRUE(playbackCopyFolders().isEmpty());
            EXPECT_TRUE(std::filesystem::exists(path));
        }
    }
    EXPECT_TRUE(waitFor([] { return !BW_LHAExtractor::isBusy(); }));
}

// The Open Recent menu, as the user sees it when it opens: its items' texts,
// and the item with `text`.
std::pair<QStringList, QAction*> recentMenu(Document* document, const QString& text = {}) {
    auto* menu = qobject_cast<QMenu*>(document->window()->action(kClearRecentDocumentsAction)->parent());
    emit menu->aboutToShow();
    std::pair<QStringList, QAction*> shown{{}, nullptr};
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator()) shown.first << item->text();
        if (item->text() == text) shown.second = item;
    }
    return shown;
}

TEST_F(DocumentControllerTest, RecentDocumentsAreNewestFirstWithoutDuplicatesAtMostTen) {
    std::vector<std::filesystem::path> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(animationFile("clip" + std::to_string(i) + ".anim"));
        ASSERT_NE(open(paths.back()), nullptr);
        controller()->documents().first()->close();
    }
    // Opening a listed file again moves it to the front.
    Document* reopened = open(paths[5]);
    ASSERT_NE(reopened, nullptr);
    QStringList stored, names;
    for (int i : {5, 11, 10, 9, 8, 7, 6, 4, 3, 2}) {
        stored << url(paths[i]).toLocalFile();
        names << url(paths[i]).fileName();
    }
    EXPECT_EQ(QSettings().value(settings::kRecentDocuments).toStringList(), stored);
    EXPECT_EQ(recentMenu(reopened).first, names << "Clear Menu");

    // An item opens its file; one whose file has gone gives one alert, and the open windows stay.
    recentMenu(reopened, "clip11.anim").second->trigger();
    ASSERT_NE(controller()->documentForURL(url(paths[11])), nullptr);
    std::filesystem::remove(paths[10]);
    AlertRecorder alerts;
    recentMenu(reopened, "clip10.anim").second->trigger();
    EXPECT_TRUE(alerts.settlesAt(1, {"clip10.anim", "no such file"}));
    EXPECT_EQ(controller()->documents().size(), 2);

    // Clear Menu leaves nothing to choose, in the menu and in the settings.
    recentMenu(reopened, "Clear Menu").second->trigger();
    const auto [items, clear] = recentMenu(reopened, "Clear Menu");
    EXPECT_EQ(items, QStringList{"Clear Menu"});
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_FALSE(QSettings().contains(settings::kRecentDocuments));
}

// The Open dialog opens the chosen file, or nothing when cancelled. Opening
// an open file again, by any of its names or by dropping it on a window,
// brings its document forward. Dropped files open like any other; one that
// cannot be opened gives its alert and does not stop the others.
TEST_F(DocumentControllerTest, OpenDialogDropsAndOpeningAnOpenFileAgain) {
    const auto path = animationFile("once.anim");
    bool cancel = true;
    ModalAnswerer answerer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return;
        if (cancel) return dialog->reject();
        if (chooseInFileDialog(dialog, QString::fromStdString(path.string()))) return;
        ADD_FAILURE() << "the Open dialog did not take the file";
        dialog->reject();
    });
    EXPECT_FALSE(delegate_->applicationOpenUntitledFile());
    EXPECT_TRUE(controller()->documents().isEmpty());
    cancel = false;
    EXPECT_TRUE(delegate_->applicationOpenUntitledFile());
    ASSERT_EQ(controller()->documents().size(), 1);
    Document* document = controller()->documents().first();
    EXPECT_EQ(document->fileURL(), url(path));

    std::filesystem::create_directory(files_ / "sub");
    std::filesystem::create_symlink(path, files_ / "link.anim");
    for (const auto& again : {path, files_ / "sub" / ".." / "once.anim", files_ / "link.anim"}) {
        SCOPED_TRACE(again.string());
        bool wasOpen = false;
        Document* answered = nullptr;
        controller()->openDocumentWithContentsOfURL(url(again), true, [&](Document* d, bool alreadyOpen, const Error*) {
            answered = d;
            wasOpen = alreadyOpen;
        });
        EXPECT_EQ(answered, document);
        EXPECT_TRUE(wasOpen);
    }

    const auto dropped = animationFile("dropped"), notes = create("notes.txt", Contents::text);
    QMimeData data;
    data.setUrls({url(notes), QUrl("https://example.com/remote.anim"), url(files_ / "link.anim"), url(dropped)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(document->window(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    AlertRecorder alerts;
    QApplication::sendEvent(document->window(), &drop);
    EXPECT_TRUE(waitFor([&] { return controller()->documentForURL(url(dropped)) != nullptr; }));
    EXPECT_TRUE(alerts.settlesAt(1, {"notes.txt"}));
    EXPECT_EQ(controller()->documents().size(), 2);
    EXPECT_EQ(std::ranges::count_if(QApplication::topLevelWidgets(), [](QWidget* w) { return qobject_cast<DocumentWindow*>(w); }), 2);
}

// An archive opened through the controller is extracted, and the animation
// chosen afterwards opens as a document.
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

    Document* document = controller()->documentForURL(url(chosen));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_TRUE(waitForFirstFrame(document));
    EXPECT_EQ(controller()->recentDocumentURLs().mid(0, 2), (QList<QUrl>{url(chosen), url(archive)}));
    // The application installs archive import's English table with its own.
    EXPECT_EQ(QCoreApplication::translate("velarium::ExtractionDialogs", "Show in Finder"), "Show in File Manager");
}

// A document: its playback copy, one alert per failed player item, the
// commands it allows, and playback of a file deleted under it.
using DocumentTest = ApplicationTest;

// Threads named like the process: the main thread and the std::threads of
// players and loop searches (Qt names its own).
int unnamedThreadCount() {
    const auto name = [](const std::filesystem::path& file) { std::string line; std::getline(std::ifstream(file), line); return line; };
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        if (name(task.path() / "comm") == name("/proc/self/comm")) ++count;
    return count;
}

// Reload replaces the playback copy and the player; a document closed before
// its first frame or failure reaches the window leaves no copy, thread or alert.
TEST_F(DocumentTest, ReloadOrCloseLeavesNoOldCopyOrThread) {
    DocumentWindow* window = openWindow(animationFile("walker.iff"), std::nullopt);
    ASSERT_NE(window, nullptr);
    Document* document = window->document();
    QString folder = document->playbackCopyFolder();
    const int threads = unnamedThreadCount();
    for (int reload = 0; reload < 2; ++reload) {
        trigger(window, kRevertDocumentAction);
        EXPECT_NE(document->playbackCopyFolder(), folder);
        folder = document->playbackCopyFolder();
        EXPECT_EQ(playbackCopyFolders(), QStringList{folder});
        EXPECT_TRUE(waitForFirstFrame(document));
    }
    EXPECT_TRUE(waitFor([&] { return unnamedThreadCount() <= threads; })) << unnamedThreadCount() << " > " << threads;
    closeAllDocuments();
    const int threadsBefore = unnamedThreadCount();

    // ANIM by its signature, but nothing after it makes sense.
    const auto broken = files_.write("broken.iff", std::string("FORM\0\0\0\x40" "ANIM", 12) + std::string(56, '\x01'));
    for (const auto& path : {animationFile("walker.iff", 60), broken}) {
        SCOPED_TRACE(path.filename().string());
        AlertRecorder alerts;
        QPointer<Document> document = open(path);
        ASSERT_NE(document, nullptr);
        ASSERT_TRUE(document->window()->playerView()->currentImage().isNull());
        EXPECT_EQ(playbackCopyFolders().size(), 1);
        EXPECT_GT(unnamedThreadCount(), threadsBefore);  // its player's thread
        document->close();
        EXPECT_TRUE(playbackCopyFolders().isEmpty());
        EXPECT_TRUE(waitFor([&] { return document.isNull() && unnamedThreadCount() == threadsBefore; }))
            << unnamedThreadCount() << " threads, " << threadsBefore << " before";
        EXPECT_TRUE(alerts.settlesAt(0));
    }
}

// Each player item presents its failure once, however often it is
// reported, from whichever thread; an item made by Reload is a new item.
TEST_F(DocumentTest, EachFailedPlayerItemPresentsItsErrorOnce) {
    AlertRecorder alerts;
    Document* document = open(files_.write("broken.anim", std::string(64, '\x01')));
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(alerts.settlesAt(1));
    trigger(document->window(), kRevertDocumentAction);
    EXPECT_TRUE(alerts.settlesAt(2));
    EXPECT_EQ(alerts.texts()[0], alerts.texts()[1]);

    Document* healthy = open(animationFile("fine.anim"));
    ASSERT_NE(healthy, nullptr);
    std::shared_ptr<PlayerItem> item = healthy->playerItem();
    std::thread([item] {
        item->failWithError(Error("test", 1, "The first picture is damaged."));
        item->failWithError(Error("test", 2, "The second picture is damaged."));
    }).join();
    // Texts meant for developers go to the log; the user reads a plain reason.
    EXPECT_TRUE(alerts.settlesAt(3, {"fine.anim", "The animation could not be decoded."}));

    trigger(healthy->window(), kRevertDocumentAction);
    EXPECT_TRUE(waitForFirstFrame(healthy));
    healthy->playerItem()->failWithError(Error("test", 3, "Damaged again."));
    EXPECT_TRUE(alerts.settlesAt(4));
}

// The format reader holds the whole file: deleting it changes nothing until Reload.
TEST_F(DocumentTest, FileDeletedWhilePlayingPlaysToTheEnd) {
    constexpr std::size_t kFrames = 12;
    const auto path = animationFile("doomed.anim", kFrames);
    AlertRecorder alerts;
    DocumentWindow* window = openWindow(path, std::nullopt);
    ASSERT_NE(window, nullptr);
    std::set<std::uint64_t> shown;
    QObject::connect(window->playerView(), &PlayerView::frameShown, [&](std::uint64_t index) { shown.insert(index); });

    trigger(window, kPlayPauseAction);
    std::filesystem::remove(path);
    const std::shared_ptr<Player> player = window->document()->player();
    ASSERT_TRUE(waitFor([&] { return player->isAtEnd(); }));
    const PlaybackStatistics statistics = player->statistics();
    EXPECT_EQ(statistics.framesShown + statistics.framesDropped, kFrames);  // the first one by the initial seek
    EXPECT_TRUE(waitFor([&] { return shown.count(kFrames - 1) == 1; }));
    // Opened again though gone (from Open Recent, say), the document comes forward.
    EXPECT_EQ(open(path), window->document());
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(alerts.count(), 0);

    // Reloaded, the file is gone: one alert, and the window stays. Put back and reloaded, it plays again.
    trigger(window, kRevertDocumentAction);
    EXPECT_TRUE(alerts.settlesAt(1, {"doomed.anim"}));
    EXPECT_TRUE(window->isVisible());
    animationFile("doomed.anim", kFrames);
    trigger(window, kRevertDocumentAction);
    EXPECT_TRUE(waitForFirstFrame(window->document()));
    EXPECT_TRUE(alerts.settlesAt(1));
}

}  // namespace
}  // namespace velarium::app
