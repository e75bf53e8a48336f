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

// Threads named like the process: the main thread and the std::threads of
// players and loop searches (Qt names its own).
int unnamedThreadCount() {
    const auto name = [](const std::filesystem::path& file) { std::string line; std::getline(std::ifstream(file), line); return line; };
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        if (name(task.path() / "comm") == name("/proc/self/comm")) ++count;
    return count;
}

// Reload replaces the playback copy and the player; a document closed
// before its first frame or its failure reaches the window leaves no copy,
// thread or alert.
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
