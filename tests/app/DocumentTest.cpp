// A document: its playback copy, one alert per failed player item, the
// commands it allows, and playback of a file deleted under it.
#include <gtest/gtest.h>

#include <QMenu>

#include <fstream>
#include <set>
#include <thread>

#include "app/MenuActions.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"
#include "DocumentTestSupport.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

using DocumentTest = ApplicationTest;

// Threads named like the process: the main thread and the ones started with
// std::thread (players, loop searches). Qt names its own threads after
// their class, so they are not counted.
int unnamedThreadCount() {
    const auto name = [](const std::filesystem::path& file) { std::string line; std::getline(std::ifstream(file), line); return line; };
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        if (name(task.path() / "comm") == name("/proc/self/comm")) ++count;
    return count;
}

// The saving commands are in the menus but disabled; Reload replaces the
// playback copy and the player.
TEST_F(DocumentTest, SavingIsDisabledAndReloadReplacesThePlaybackCopy) {
    DocumentWindow* window = openWindow(animationFile("walker.iff"), std::nullopt);
    ASSERT_NE(window, nullptr);
    for (QMenu* menu : window->findChildren<QMenu*>()) emit menu->aboutToShow();
    const std::pair<const char*, bool> expected[] = {
        {kSaveDocumentAction, false},  {kSaveDocumentAsAction, false}, {kDuplicateDocumentAction, false},
        {kRevertDocumentAction, true}, {kExportFrameAction, true},     {kCopyFrameAction, true},
    };
    for (const auto& [name, enabled] : expected) {
        QAction* item = window->action(name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isVisible() && !item->associatedObjects().isEmpty()) << name << " is not in a menu";
        EXPECT_EQ(item->isEnabled(), enabled) << name;
    }

    Document* document = window->document();
    QString folder = document->playbackCopyFolder();
    const int threads = unnamedThreadCount();
    for (int reload = 0; reload < 2; ++reload) {
        action(document, kRevertDocumentAction)->trigger();
        EXPECT_NE(document->playbackCopyFolder(), folder);
        folder = document->playbackCopyFolder();
        EXPECT_EQ(playbackCopyFolders(), QStringList{folder});
        EXPECT_TRUE(waitForFirstFrame(document));
    }
    // The replaced players have stopped.
    EXPECT_TRUE(waitFor([&] { return unnamedThreadCount() <= threads; })) << unnamedThreadCount() << " > " << threads;
    document->close();
    EXPECT_TRUE(playbackCopyFolders().isEmpty());
}

// Closed at once, before the first frame or the failure of its file has
// reached the window: the copy goes, every thread ends, no alert follows.
TEST_F(DocumentTest, DocumentClosedAtOnceLeavesNoCopyThreadOrAlert) {
    // One document first, so that whatever the platform starts once is running.
    ASSERT_NE(openWindow(animationFile("warm-up.anim"), std::nullopt), nullptr);
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

// Each player item presents its failure once, however often its status
// is reported; an item made by Reload is a new item.
TEST_F(DocumentTest, EachFailedPlayerItemPresentsItsErrorOnce) {
    AlertRecorder alerts;
    Document* document = open(files_.write("broken.anim", std::string(64, '\x01')));
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(alerts.settlesAt(1));
    action(document, kRevertDocumentAction)->trigger();
    EXPECT_TRUE(alerts.settlesAt(2));
    EXPECT_EQ(alerts.texts()[0], alerts.texts()[1]);
    EXPECT_TRUE(document->window()->isVisible());

    // A healthy item that fails on another thread just after becoming
    // ready: both reports reach the document after the failure.
    Document* healthy = open(animationFile("fine.anim"));
    ASSERT_NE(healthy, nullptr);
    std::shared_ptr<PlayerItem> item = healthy->playerItem();
    std::thread([item] {
        item->failWithError(Error("test", 1, "The first picture is damaged."));
        item->failWithError(Error("test", 2, "The second picture is damaged."));
    }).join();
    EXPECT_TRUE(alerts.settlesAt(3, {"fine.anim", "The first picture is damaged."}));

    // Reloaded, the file plays again, and a failure of the new item is new.
    action(healthy, kRevertDocumentAction)->trigger();
    EXPECT_TRUE(waitForFirstFrame(healthy));
    EXPECT_EQ(alerts.count(), 3);
    healthy->playerItem()->failWithError(Error("test", 3, "Damaged again."));
    EXPECT_TRUE(alerts.settlesAt(4));
}

// The format reader has the whole file in memory once the document is
// open: deleting the file changes nothing until the document is reloaded.
TEST_F(DocumentTest, FileDeletedWhilePlayingPlaysToTheEnd) {
    constexpr std::size_t kFrames = 12;
    const auto path = animationFile("doomed.anim", kFrames);
    AlertRecorder alerts;
    DocumentWindow* window = openWindow(path, std::nullopt);
    ASSERT_NE(window, nullptr);
    Document* document = window->document();
    std::set<std::uint64_t> shown;
    QObject::connect(window->playerView(), &PlayerView::frameShown, [&](std::uint64_t index) { shown.insert(index); });

    action(document, kPlayPauseAction)->trigger();
    std::filesystem::remove(path);
    const std::shared_ptr<Player> player = document->player();
    ASSERT_TRUE(waitFor([&] { return player->isAtEnd(); }));
    const PlaybackStatistics statistics = player->statistics();
    EXPECT_EQ(statistics.framesShown + statistics.framesDropped, kFrames);  // the first one by the initial seek
    EXPECT_TRUE(waitFor([&] { return shown.count(kFrames - 1) == 1; }));
    // Opened again (from Open Recent, say), the document comes forward.
    EXPECT_EQ(open(path), document);
    EXPECT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(alerts.count(), 0);

    // Reloaded, the file is gone: one alert, and the window stays.
    action(document, kRevertDocumentAction)->trigger();
    EXPECT_TRUE(alerts.settlesAt(1, {"doomed.anim"}));
    EXPECT_TRUE(window->isVisible());

    // Put back and reloaded, it plays again.
    animationFile("doomed.anim", kFrames);
    action(document, kRevertDocumentAction)->trigger();
    EXPECT_TRUE(waitForFirstFrame(document));
    EXPECT_TRUE(alerts.settlesAt(1));
}

}  // namespace
}  // namespace velarium::app
