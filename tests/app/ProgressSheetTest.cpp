// The progress sheet: what one showing sets up, Cancel and Escape, the
// frozen "Cancelling…" line, who is told when it closes, and reuse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/ElidingLabel.h"

namespace velarium {
namespace {

// Delegates with each combination of the two optional slots; each call, and
// the sheet's close signal, goes into one shared log so that order shows.
class CancelOnlyDelegate : public QObject {
    Q_OBJECT
public:
    explicit CancelOnlyDelegate(std::vector<std::string>* log) : log_(log) {}
public slots:
    void progressCancelled() { log_->push_back("cancelled"); }

private:
    std::vector<std::string>* log_;
};

class CompletionOnlyDelegate : public QObject {
    Q_OBJECT
public:
    explicit CompletionOnlyDelegate(std::vector<std::string>* log) : log_(log) {}
public slots:
    void progressCompleted() { log_->push_back("completed"); }

private:
    std::vector<std::string>* log_;
};

class FullDelegate : public QObject {
    Q_OBJECT
public:
    explicit FullDelegate(std::vector<std::string>* log) : log_(log) {}
public slots:
    void progressCompleted() { log_->push_back("completed"); }
    void progressCancelled() { log_->push_back("cancelled"); }

private:
    std::vector<std::string>* log_;
};

QVariantMap extractingSettings(bool cancellable = true) {
    return {{kProgSheetTitleKey, QStringLiteral("Extracting “disk.lha”")},
            {kProgSheetDetailsKey, QStringLiteral("Reading archive…")},
            {kProgSheetIndeterminateKey, false},
            {kProgSheetMinValueKey, 0.0},
            {kProgSheetMaxValueKey, 1.0},
            {kProgSheetStartValueKey, 0.0},
            {kProgSheetCancellableKey, cancellable}};
}

class ProgressSheetTest : public ::testing::Test {
protected:
    void TearDown() override { sheet_.reset(); }

    BW_ProgressSheet& sheet() { return *sheet_; }
    QDialog* panel() { return sheet_->panel(); }
    QString details() { return sheet_->detailTextField()->text(); }

    std::unique_ptr<BW_ProgressSheet> sheet_ = std::make_unique<BW_ProgressSheet>();
    std::vector<std::string> log_;
};

// Long texts are shortened in the middle; they never widen the panel.
TEST_F(ProgressSheetTest, LongTextsAreElidedInTheMiddleAndKeepTheWidth) {
    const QString longName = QString("Anims/") + QString(200, 'x') + "/last.anim";
    QVariantMap settings = extractingSettings();
    settings[kProgSheetTitleKey] = "Extracting “" + longName + "”";
    sheet().progSheetEntryWithDict(settings, nullptr);
    sheet().setDetailsValue(longName + " (1 of 3)");
    QApplication::processEvents();
    EXPECT_EQ(panel()->width(), 440);
    for (ElidingLabel* label : {sheet().titleTextField(), sheet().detailTextField()}) {
        const QString shown = label->displayedText();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(label->text().right(3))) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith(label->text().left(3))) << shown.toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    }
}

TEST_F(ProgressSheetTest, BarShowsValuesWithinTheRangeOrRunsIndeterminate) {
    struct Case {
        double min, max, start, set;
        bool indeterminate;
        double expectedFraction;  // of the bar's steps; ignored when indeterminate
    };
    const Case cases[] = {
        {0.0, 1.0, 0.0, 0.5, false, 0.5},
        {0.0, 1.0, 0.25, 1.0, false, 1.0},
        {10.0, 20.0, 10.0, 15.0, false, 0.5},
        {0.0, 1.0, 0.0, 7.0, false, 1.0},  // beyond the end: full, never past it
        {0.0, 1.0, 0.0, 0.5, true, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " set " << c.set);
        QVariantMap settings = extractingSettings();
        settings[kProgSheetMinValueKey] = c.min;
        settings[kProgSheetMaxValueKey] = c.max;
        settings[kProgSheetStartValueKey] = c.start;
        settings[kProgSheetIndeterminateKey] = c.indeterminate;
        sheet().progSheetEntryWithDict(settings, nullptr);
        const QProgressBar* bar = sheet().progress();
        if (c.indeterminate) {
            EXPECT_EQ(bar->minimum(), 0);
            EXPECT_EQ(bar->maximum(), 0);
        } else {
            EXPECT_NEAR(double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()),
                        (c.start - c.min) / (c.max - c.min), 1e-3);
        }
        sheet().setProgressValue(c.set);
        EXPECT_EQ(sheet().progressValue(), c.set);
        if (!c.indeterminate) {
            EXPECT_NEAR(double(bar->value()) / bar->maximum(), c.expectedFraction, 1e-3);
        }
        sheet().progSheetExit();
    }
}

TEST_F(ProgressSheetTest, WithoutAWindowThePanelIsCentredAndExitCompletesAtOnce) {
    FullDelegate delegate(&log_);
    sheet().setDelegate(&delegate);
    sheet().progSheetEntryWithDict(extractingSettings(), nullptr);
    ASSERT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->parentWidget(), nullptr);
    EXPECT_FALSE(panel()->isModal());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred as the panel was placed, before the window system added its
    // frame (offscreen adds 2 pixels on every side).
    const QRect frame = panel()->frameGeometry();
    const int frameMargins = frame.width() - panel()->width() + frame.height() - panel()->height();
    EXPECT_LE((frame.center() - screen.center()).manhattanLength(), frameMargins + 2)
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel()));

    sheet().progSheetExit();
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(log_, std::vector<std::string>{"completed"});
}

TEST_F(ProgressSheetTest, CancelFreezesTheDetailsAtCancellingAndTellsTheDelegate) {
    FullDelegate delegate(&log_);
    sheet().setDelegate(&delegate);
    sheet().progSheetEntryWithDict(extractingSettings(), nullptr);
    sheet().setDetailsValue("Anims/walk.anim (1 of 3)");
    QTest::mouseClick(sheet().cancelButton(), Qt::LeftButton);

    EXPECT_EQ(details(), QString("Cancelling…"));
    EXPECT_FALSE(sheet().cancelButton()->isEnabled());
    EXPECT_TRUE(panel()->isVisible());  // the sheet's user closes it
    EXPECT_EQ(log_, std::vector<std::string>{"cancelled"});

    sheet().setDetailsValue("Anims/run.anim (2 of 3)");
    sheet().setProgressValue(0.75);
    EXPECT_EQ(details(), QString("Cancelling…"));
    EXPECT_EQ(sheet().progressValue(), 0.75);
}

TEST_F(ProgressSheetTest, EscapeIsCancelAndNeverClosesThePanel) {
    for (const bool cancellable : {true, false}) {
        SCOPED_TRACE(cancellable ? "cancellable" : "not cancellable");
        log_.clear();
        CancelOnlyDelegate delegate(&log_);
        sheet().setDelegate(&delegate);
        sheet().progSheetEntryWithDict(extractingSettings(cancellable), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel()));
        QTest::keyClick(panel(), Qt::Key_Escape);
        EXPECT_TRUE(panel()->isVisible());
        EXPECT_EQ(log_.size(), cancellable ? 1u : 0u);
        EXPECT_EQ(details(), cancellable ? QString("Cancelling…") : QString("Reading archive…"));
        // A second Escape while cancelling does nothing more.
        QTest::keyClick(panel(), Qt::Key_Escape);
        EXPECT_EQ(log_.size(), cancellable ? 1u : 0u);
        sheet().progSheetExit();
    }
}

// Only a delegate that takes completion gets the close signal and the call,
// signal first; Cancel reaches only a delegate that takes it.
TEST_F(ProgressSheetTest, OnlyADelegateThatTakesCompletionIsToldOfTheClose) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<QObject>(std::vector<std::string>*)> make;
        bool hasDelegate;
        std::vector<std::string> expected;  // after Cancel, then exit
    };
    const Case cases[] = {
        {"none", [](auto*) { return std::unique_ptr<QObject>(); }, false, {}},
        {"cancel only", [](auto* log) { return std::make_unique<CancelOnlyDelegate>(log); }, false, {"cancelled"}},
        {"completion only", [](auto* log) { return std::make_unique<CompletionOnlyDelegate>(log); }, true,
         {"close", "completed"}},
        {"both", [](auto* log) { return std::make_unique<FullDelegate>(log); }, true,
         {"cancelled", "close", "completed"}},
        {"plain object", [](auto*) { return std::make_unique<QObject>(); }, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.clear();
        BW_ProgressSheet sheet;
        QObject::connect(&sheet, &BW_ProgressSheet::progSheetClose, [&](BW_ProgressSheet* closed) {
            EXPECT_EQ(closed, &sheet);
            log_.push_back("close");
        });
        const std::unique_ptr<QObject> delegate = c.make(&log_);
        sheet.setDelegate(delegate.get());
        EXPECT_EQ(sheet.hasDelegate(), c.hasDelegate);
        sheet.progSheetEntryWithDict(extractingSettings(), nullptr);
        sheet.cancelButton()->click();
        sheet.progSheetExit();
        EXPECT_FALSE(sheet.panel()->isVisible());
        EXPECT_EQ(log_, c.expected);
    }
}

TEST_F(ProgressSheetTest, DelegateThatHasGoneIsNotCalled) {
    auto delegate = std::make_unique<FullDelegate>(&log_);
    sheet().setDelegate(delegate.get());
    sheet().progSheetEntryWithDict(extractingSettings(), nullptr);
    delegate.reset();
    sheet().cancelButton()->click();
    sheet().progSheetExit();
    EXPECT_EQ(sheet().delegate(), nullptr);
    EXPECT_TRUE(log_.empty());
}

TEST_F(ProgressSheetTest, SecondEntryReusesThePanelAndEnablesCancelAgain) {
    sheet().progSheetEntryWithDict(extractingSettings(), nullptr);
    QDialog* first = panel();
    sheet().cancelButton()->click();
    sheet().setProgressValue(0.5);
    sheet().progSheetExit();

    QVariantMap settings = extractingSettings();
    settings[kProgSheetTitleKey] = QStringLiteral("Extracting “other.lzh”");
    sheet().progSheetEntryWithDict(settings, nullptr);
    EXPECT_EQ(panel(), first);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_TRUE(sheet().cancelButton()->isEnabled());
    EXPECT_EQ(details(), QString("Reading archive…"));
    EXPECT_EQ(sheet().titleTextField()->text(), QString("Extracting “other.lzh”"));
    EXPECT_EQ(sheet().progressValue(), 0.0);
    sheet().setDetailsValue("Docs/readme.txt (1 of 2)");
    EXPECT_EQ(details(), QString("Docs/readme.txt (1 of 2)"));
}

// On a window the panel is a window-modal sheet; a window that has gone is
// no window: the panel stands alone and exit completes at once.
TEST_F(ProgressSheetTest, OnAWindowThePanelIsASheetAndAGoneWindowIsNoWindow) {
    CompletionOnlyDelegate delegate(&log_);
    sheet().setDelegate(&delegate);
    auto window = std::make_unique<QMainWindow>();
    window->show();
    sheet().progSheetEntryWithDict(extractingSettings(), window.get());
    EXPECT_EQ(panel()->parentWidget(), window.get());
    EXPECT_EQ(panel()->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(panel()->isVisible());
    sheet().progSheetExit();
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(log_, std::vector<std::string>{"completed"});

    log_.clear();
    sheet().progSheetEntryWithDict(extractingSettings(), window.get());
    window.reset();  // takes the panel it carries with it
    sheet().progSheetExit();
    EXPECT_EQ(log_, std::vector<std::string>{"completed"});
    sheet().progSheetEntryWithDict(extractingSettings(), nullptr);
    ASSERT_NE(panel(), nullptr);
    EXPECT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->parentWidget(), nullptr);
    sheet().cancelButton()->click();
    EXPECT_EQ(details(), QString("Cancelling…"));
}

using ProgressSheetDeathTest = ProgressSheetTest;

TEST_F(ProgressSheetDeathTest, EntryOffTheMainThreadEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::thread worker([this] { sheet().progSheetEntryWithDict({}, nullptr); });
            worker.join();
        },
        "[Mm]ain ?[Tt]hread");
}

}  // namespace
}  // namespace velarium

#include "ProgressSheetTest.moc"
