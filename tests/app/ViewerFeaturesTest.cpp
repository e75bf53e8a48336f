// The viewer's conveniences driven as a user drives them: Go to Frame,
// the next and previous animation of a folder, and dragging the picture out.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include "DocumentTestSupport.h"
#include "app/GoToFrameDialog.h"
#include "app/MenuActions.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;

using ViewerFeaturesTest = ApplicationTest;

// Numbers are typed as the counter counts, from 1; anything else is said
// under the field, the dialog stays open, and no alert comes.
TEST_F(ViewerFeaturesTest, GoToFrameShowsTheFrameTheCorpusExpects) {
    const std::vector<CorpusAnimation> animations = corpusAnimations({"mm_op5_1plane_16x16.anim"});
    if (animations.empty()) GTEST_SKIP() << "no corpus";
    const std::vector<std::string> hashes = readLines(animations[0].expectedHashes);
    ASSERT_EQ(hashes.size(), 14u);
    DocumentWindow* window = openWindow(animations[0].file);
    ASSERT_NE(window, nullptr);
    const struct {
        QStringList typed;  // the last is accepted
        std::uint64_t frame;
        const char* counter;
    } cases[] = {
        {{"14"}, 13, "14 / 14"}, {{"0", "15", "seven", "", "7"}, 6, "7 / 14"}, {{"1"}, 0, "1 / 14"}, {{"-2", " 2 "}, 1, "2 / 14"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.join(", ").toStdString());
        QStringList messages;
        int alerts = 0;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<GoToFrameDialog*>(modal);
            if (!dialog) {
                ++alerts;
                acceptMessageBox(modal);
                return;
            }
            auto* field = dialog->findChild<QLineEdit*>();
            for (const QString& text : c.typed) {
                field->clear();
                QTest::keyClicks(field, text);
                QTest::keyClick(field, Qt::Key_Return);
                if (dialog->isVisible()) messages << dialog->findChild<QLabel*>("goToFrameMessage")->text();
            }
        });
        window->activateWindow();  // back from the last dialog
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_G, Qt::ControlModifier);
        ASSERT_TRUE(waitForFrame(window, c.frame));
        EXPECT_EQ(screenHash(window->playerView()->currentImage()), hashes[c.frame]);
        EXPECT_TRUE(window->playerView()->transportBar()->counterLabel()->text().startsWith(c.counter));
        EXPECT_EQ(messages.size(), c.typed.size() - 1);
        for (const QString& message : messages) EXPECT_TRUE(message.contains("from 1 to 14")) << message.toStdString();
        EXPECT_EQ(alerts, 0);
    }
}

// Page Down and Page Up walk the folder's animations, found by their
// signature, in natural order, in the same window; the ends disable the
// items. A file gone between two presses is said once and then passed over.
TEST_F(ViewerFeaturesTest, NextAndPreviousAnimationWalkTheFolderInNaturalOrder) {
    const std::vector<std::string> order = {"a.iff", "b2.anim", "b10.anim", "c1"};
    for (std::size_t i = 0; i < order.size(); ++i)
        files_.write(order[i], pictureSequenceFile({.width = 16 + 8 * static_cast<unsigned>(i)}));
    files_.write("b3.anim", std::string("FORM\0\0\0\4ILBM", 12));  // a picture, not an animation
    DocumentWindow* window = openWindow(files_.path() / "b2.anim");
    ASSERT_NE(window, nullptr);
    Document* document = window->document();
    const auto shows = [&](std::size_t i) {
        return waitFor([&] { return window->playerView()->pictureSize().width() == 16 + 8 * static_cast<int>(i); }) &&
               document->fileURL() == url(files_.path() / order[i]) &&
               window->windowTitle().startsWith(QString::fromStdString(order[i]));
    };
    const struct {
        Qt::Key key;
        std::size_t shown;
    } walk[] = {{Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 3}, {Qt::Key_PageDown, 3}, {Qt::Key_PageUp, 2},
                {Qt::Key_PageUp, 1},   {Qt::Key_PageUp, 0},   {Qt::Key_PageUp, 0}};
    AlertRecorder alerts;
    for (const auto& step : walk) {
        SCOPED_TRACE(::testing::Message() << "key " << step.key << " to " << order[step.shown]);
        QTest::keyClick(window, step.key);
        ASSERT_TRUE(shows(step.shown)) << document->fileURL().toString().toStdString();
        EXPECT_EQ(window->action(kNextAnimationAction)->isEnabled(), step.shown + 1 < order.size());
        EXPECT_EQ(window->action(kPreviousAnimationAction)->isEnabled(), step.shown > 0);
    }
    EXPECT_EQ(controller()->documents(), QList<Document*>{document});

    std::filesystem::remove(files_.path() / "b2.anim");
    QTest::keyClick(window, Qt::Key_PageDown);
    EXPECT_TRUE(alerts.settlesAt(1));
    EXPECT_TRUE(shows(0));
    window->activateWindow();  // back from the alert
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_PageDown);
    EXPECT_TRUE(shows(2));
    EXPECT_EQ(alerts.count(), 1);
}

}  // namespace
}  // namespace velarium::app
