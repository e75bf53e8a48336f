// The progress sheet: the bar, long texts, Cancel and Escape with the frozen
// "Cancelling…" line, who is told when it closes, and where it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/ElidingLabel.h"

namespace velarium {
namespace {

using Log = std::vector<std::string>;

// Delegates with each combination of the two optional slots; each call, and
// the sheet's close signal, goes into one shared log so that order shows.
class CancelOnlyDelegate : public QObject {
    Q_OBJECT
public:
    explicit CancelOnlyDelegate(Log* log) : log_(log) {}
public slots:
    void progressCancelled() { log_->push_back("cancelled"); }

private:
    Log* log_;
};

class CompletionOnlyDelegate : public QObject {
    Q_OBJECT
public:
    explicit CompletionOnlyDelegate(Log* log) : log_(log) {}
public slots:
    void progressCompleted() { log_->push_back("completed"); }

protected:
    Log* log_;
};

class FullDelegate : public CompletionOnlyDelegate {
    Q_OBJECT
public:
    using CompletionOnlyDelegate::CompletionOnlyDelegate;
public slots:
    void progressCancelled() { log_->push_back("cancelled"); }
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

QString details(const BW_ProgressSheet& sheet) { return sheet.detailTextField()->text(); }

// Long texts are shortened in the middle; they never widen the panel.
TEST(ProgressSheet, LongTextsAreElidedInTheMiddleAndKeepTheWidth) {
    BW_ProgressSheet sheet;
    const QString longName = QString("Anims/") + QString(200, 'x') + "/last.anim";
    QVariantMap settings = extractingSettings();
    settings[kProgSheetTitleKey] = "Extracting “" + longName + "”";
    sheet.progSheetEntryWithDict(settings, nullptr);
    sheet.setDetailsValue(longName + " (1 of 3)");
    QApplication::processEvents();
    EXPECT_EQ(sheet.panel()->width(), 440);
    for (ElidingLabel* label : {sheet.titleTextField(), sheet.detailTextField()}) {
        const QString shown = label->displayedText();
        EXPECT_TRUE(shown.contains(QChar(0x2026)) && shown.endsWith(label->text().right(3)) &&
                    shown.startsWith(label->text().left(3)))
            << shown.toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    }
}

TEST(ProgressSheet, BarShowsValuesWithinTheRangeOrRunsIndeterminate) {
    struct Case {
        double min, max, start, set;
        bool indeterminate;
        double expectedFraction;  // of the bar's steps; ignored when indeterminate
    };
    const Case cases[] = {
        {0.0, 1.0, 0.25, 0.5, false, 0.5},
        {10.0, 20.0, 10.0, 15.0, false, 0.5},
        {0.0, 1.0, 0.0, 7.0, false, 1.0},  // beyond the end: full, never past it
        {0.0, 0.0, 0.0, 0.0, false, 0.0},  // an empty range (no settings) shows nothing
        {0.0, 1.0, 0.0, 0.5, true, 0.0},
    };
    BW_ProgressSheet sheet;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " set " << c.set);
        QVariantMap settings = extractingSettings();
        settings[kProgSheetMinValueKey] = c.min;
        settings[kProgSheetMaxValueKey] = c.max;
        settings[kProgSheetStartValueKey] = c.start;
        settings[kProgSheetIndeterminateKey] = c.indeterminate;
        sheet.progSheetEntryWithDict(settings, nullptr);
        const QProgressBar* bar = sheet.progress();
        const auto fraction = [bar] { return double(bar->value()) / std::max(1, bar->maximum()); };
        if (!c.indeterminate && c.max > c.min) {
            EXPECT_NEAR(fraction(), (c.start - c.min) / (c.max - c.min), 1e-3);
        }
        sheet.setProgressValue(c.set);
        EXPECT_EQ(sheet.progressValue(), c.set);
        EXPECT_EQ(bar->maximum() == 0, c.indeterminate);
        EXPECT_NEAR(fraction(), c.expectedFraction, 1e-3);
        sheet.progSheetExit();
    }
}

// Cancel disables itself and freezes the details at "Cancelling…" until the
// sheet's user closes it. Only a delegate that takes completion gets the
// close signal and the call, signal first; Cancel reaches only a delegate
// that takes it; one that has gone is not called.
TEST(ProgressSheet, CancelFreezesTheDetailsAndEachDelegateHearsWhatItTakes) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<QObject>(Log*)> make;
        bool hasDelegate;
        Log expected;  // after Cancel, then exit
        bool deleteFirst = false;
    };
    const Case cases[] = {
        {"none", [](Log*) { return std::unique_ptr<QObject>(); }, false, {}},
        {"plain object", [](Log*) { return std::make_unique<QObject>(); }, false, {}},
        {"cancel only", [](Log* log) { return std::make_unique<CancelOnlyDelegate>(log); }, false, {"cancelled"}},
        {"completion only", [](Log* log) { return std::make_unique<CompletionOnlyDelegate>(log); }, true,
         {"close", "completed"}},
        {"both", [](Log* log) { return std::make_unique<FullDelegate>(log); }, true,
         {"cancelled", "close", "completed"}},
        {"both, gone", [](Log* log) { return std::make_unique<FullDelegate>(log); }, true, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        BW_ProgressSheet sheet;
        QObject::connect(&sheet, &BW_ProgressSheet::progSheetClose, [&](BW_ProgressSheet* closed) {
            EXPECT_EQ(closed, &sheet);
            log.push_back("close");
        });
        std::unique_ptr<QObject> delegate = c.make(&log);
        sheet.setDelegate(delegate.get());
        EXPECT_EQ(sheet.hasDelegate(), c.hasDelegate);
        sheet.progSheetEntryWithDict(extractingSettings(), nullptr);
        sheet.setDetailsValue("Anims/walk.anim (1 of 3)");
        if (c.deleteFirst) delegate.reset();
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(sheet.cancelButton()->isEnabled());
        sheet.setDetailsValue("Anims/run.anim (2 of 3)");
        EXPECT_EQ(details(sheet), QString("Cancelling…"));
        EXPECT_TRUE(sheet.panel()->isVisible());
        sheet.progSheetExit();
        EXPECT_FALSE(sheet.panel()->isVisible());
        EXPECT_EQ(log, c.expected);
    }
}

TEST(ProgressSheet, EscapeIsCancelAndNeverClosesThePanel) {
    for (const bool cancellable : {true, false}) {
        SCOPED_TRACE(cancellable ? "cancellable" : "not cancellable");
        Log log;
        CancelOnlyDelegate delegate(&log);
        BW_ProgressSheet sheet;
        sheet.setDelegate(&delegate);
        sheet.progSheetEntryWithDict(extractingSettings(cancellable), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.panel()));
        QTest::keyClick(sheet.panel(), Qt::Key_Escape);
        QTest::keyClick(sheet.panel(), Qt::Key_Escape);  // a second one while cancelling does nothing more
        EXPECT_TRUE(sheet.panel()->isVisible());
        EXPECT_EQ(log.size(), cancellable ? 1u : 0u);
        EXPECT_EQ(details(sheet), cancellable ? QString("Cancelling…") : QString("Reading archive…"));
        sheet.setDetailsValue("Docs/readme.txt (1 of 2)");
        EXPECT_EQ(details(sheet) == "Docs/readme.txt (1 of 2)", !cancellable);
        sheet.progSheetExit();
    }
}

// Without a window the panel stands alone, centred and active; on one it is
// a window-modal sheet, and a window that has gone is no window. Each entry
// reuses the panel and resets it, Cancel included.
TEST(ProgressSheet, ThePanelStandsAloneOrSitsOnAWindowAndIsReused) {
    Log log;
    CompletionOnlyDelegate delegate(&log);
    BW_ProgressSheet sheet;
    sheet.setDelegate(&delegate);
    sheet.progSheetEntryWithDict(extractingSettings(), nullptr);
    QDialog* panel = sheet.panel();
    EXPECT_EQ(panel->parentWidget(), nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel));
    // Centred as placed, before the window system added its frame.
    const QRect frame = panel->frameGeometry();
    const int frameMargins = frame.width() - panel->width() + frame.height() - panel->height();
    EXPECT_LE((frame.center() - QGuiApplication::primaryScreen()->availableGeometry().center()).manhattanLength(),
              frameMargins + 2);
    sheet.cancelButton()->click();
    sheet.progSheetExit();

    auto window = std::make_unique<QMainWindow>();
    window->show();
    QVariantMap settings = extractingSettings();
    settings[kProgSheetTitleKey] = QStringLiteral("Extracting “other.lzh”");
    sheet.progSheetEntryWithDict(settings, window.get());
    EXPECT_EQ(sheet.panel(), panel);
    EXPECT_EQ(panel->parentWidget(), window.get());
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(sheet.cancelButton()->isEnabled());
    EXPECT_EQ(details(sheet), QString("Reading archive…"));
    EXPECT_EQ(sheet.titleTextField()->text(), QString("Extracting “other.lzh”"));
    EXPECT_EQ(sheet.progressValue(), 0.0);
    sheet.progSheetExit();
    EXPECT_FALSE(panel->isVisible());

    sheet.progSheetEntryWithDict(extractingSettings(), window.get());
    window.reset();  // takes the panel it carries with it
    sheet.progSheetExit();
    sheet.progSheetEntryWithDict(extractingSettings(), nullptr);
    ASSERT_NE(sheet.panel(), nullptr);
    EXPECT_TRUE(sheet.panel()->isVisible());
    EXPECT_EQ(sheet.panel()->parentWidget(), nullptr);
    EXPECT_EQ(log, (Log{"completed", "completed", "completed"}));
}

}  // namespace
}  // namespace velarium

#include "ProgressSheetTest.moc"
