// The progress sheet: the bar, long texts, Cancel and Escape with the frozen
// "Cancelling…" line, who is told when it closes, and where it shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>

#include "lha/ui/BW_ProgressSheet.h"
#include "lha/ui/ElidingLabel.h"

namespace velarium {
namespace {

// What the delegates below and the sheet's close signal report, in order.
std::vector<std::string> events;

// Delegates with each combination of the two optional slots.
class CancelOnlyDelegate : public QObject {
    Q_OBJECT
public slots:
    void progressCancelled() { events.push_back("cancelled"); }
};

class CompletionOnlyDelegate : public QObject {
    Q_OBJECT
public slots:
    void progressCompleted() { events.push_back("completed"); }
};

class FullDelegate : public CompletionOnlyDelegate {
    Q_OBJECT
public slots:
    void progressCancelled() { events.push_back("cancelled"); }
};

QVariantMap settings(bool cancellable = true, QVariantMap changes = {}) {
    QVariantMap all{{kProgSheetTitleKey, QStringLiteral("Extracting “disk.lha”")},
                    {kProgSheetDetailsKey, QStringLiteral("Reading archive…")}, {kProgSheetIndeterminateKey, false},
                    {kProgSheetMinValueKey, 0.0}, {kProgSheetMaxValueKey, 1.0}, {kProgSheetStartValueKey, 0.0},
                    {kProgSheetCancellableKey, cancellable}};
    all.insert(changes);
    return all;
}

// Without a window the panel stands alone, centred and active. Long texts
// are shortened in the middle; they never widen it.
TEST(ProgressSheet, ThePanelStandsCentredAndLongTextsAreElidedInTheMiddle) {
    BW_ProgressSheet sheet;
    const QString longName = QString("Anims/") + QString(200, 'x') + "/last.anim";
    sheet.progSheetEntryWithDict(settings(true, {{kProgSheetTitleKey, "Extracting “" + longName + "”"}}), nullptr);
    sheet.setDetailsValue(longName + " (1 of 3)");
    QDialog* panel = sheet.panel();
    EXPECT_TRUE(QTest::qWaitForWindowActive(panel));
    EXPECT_EQ(panel->width(), 440);
    // Centred as placed, before the window system added its frame.
    const QRect frame = panel->frameGeometry();
    const int frameMargins = frame.width() - panel->width() + frame.height() - panel->height();
    EXPECT_LE((frame.center() - QGuiApplication::primaryScreen()->availableGeometry().center()).manhattanLength(),
              frameMargins + 2);
    for (ElidingLabel* label : {sheet.titleTextField(), sheet.detailTextField()}) {
        const QString shown = label->displayedText();
        EXPECT_TRUE(shown.contains(QChar(0x2026)) && shown.endsWith(label->text().right(3)) &&
                    shown.startsWith(label->text().left(3)))
            << shown.toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    }
}

TEST(ProgressSheet, TheBarShowsValuesWithinItsRange) {
    struct Case {
        double min, max, start, set, startFraction, setFraction;  // fractions of the bar's length
    } const cases[] = {
        {0.0, 1.0, 0.25, 0.5, 0.25, 0.5},
        {10.0, 20.0, 10.0, 15.0, 0.0, 0.5},
        {0.0, 1.0, 0.0, 7.0, 0.0, 1.0},  // beyond the end: full, never past it
    };
    BW_ProgressSheet sheet;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " set " << c.set);
        sheet.progSheetEntryWithDict(settings(true, {{kProgSheetMinValueKey, c.min}, {kProgSheetMaxValueKey, c.max},
                                                     {kProgSheetStartValueKey, c.start}}),
                                     nullptr);
        const QProgressBar* bar = sheet.progress();
        EXPECT_NEAR(double(bar->value()) / bar->maximum(), c.startFraction, 1e-3);
        sheet.setProgressValue(c.set);
        EXPECT_NEAR(double(bar->value()) / bar->maximum(), c.setFraction, 1e-3);
        sheet.progSheetExit();
    }
}

// Cancel and Escape disable the button and freeze the details at "Cancelling…"
// until the sheet is closed. Only a delegate taking completion gets the close
// signal and then the call; Cancel reaches only one taking it; a gone one, none.
TEST(ProgressSheet, CancelFreezesTheDetailsAndEachDelegateHearsWhatItTakes) {
    const auto full = [] { return std::make_unique<FullDelegate>(); };
    struct Case {
        const char* name;
        std::function<std::unique_ptr<QObject>()> make;
        std::vector<std::string> expected;  // after Cancel, then exit
        bool cancellable = true, escape = false, deleteFirst = false;
    } const cases[] = {
        {"none", [] { return std::unique_ptr<QObject>(); }, {}},
        {"plain object", [] { return std::make_unique<QObject>(); }, {}},
        {"cancel only", [] { return std::make_unique<CancelOnlyDelegate>(); }, {"cancelled"}},
        {"completion only", [] { return std::make_unique<CompletionOnlyDelegate>(); }, {"close", "completed"}},
        {"both", full, {"cancelled", "close", "completed"}},
        {"both, gone", full, {}, true, false, true},
        {"Escape", full, {"cancelled", "close", "completed"}, true, true},
        {"Escape, not cancellable", full, {"close", "completed"}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        BW_ProgressSheet sheet;
        QObject::connect(&sheet, &BW_ProgressSheet::progSheetClose, [&](BW_ProgressSheet* closed) {
            EXPECT_EQ(closed, &sheet);
            events.push_back("close");
        });
        std::unique_ptr<QObject> delegate = c.make();
        sheet.setDelegate(delegate.get());
        EXPECT_EQ(sheet.hasDelegate(), qobject_cast<CompletionOnlyDelegate*>(delegate.get()) != nullptr);
        sheet.progSheetEntryWithDict(settings(c.cancellable), nullptr);
        sheet.setDetailsValue("Anims/walk.anim (1 of 3)");
        if (c.deleteFirst) delegate.reset();
        if (c.escape) {
            ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.panel()));
            QTest::keyClick(sheet.panel(), Qt::Key_Escape);
            QTest::keyClick(sheet.panel(), Qt::Key_Escape);  // a second one while cancelling does nothing more
        } else {
            QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
        }
        sheet.setDetailsValue("Anims/run.anim (2 of 3)");
        EXPECT_EQ(sheet.detailTextField()->text(), c.cancellable ? "Cancelling…" : "Anims/run.anim (2 of 3)");
        EXPECT_EQ(sheet.cancelButton()->isEnabled(), !c.cancellable);
        EXPECT_TRUE(sheet.panel()->isVisible());
        sheet.progSheetExit();
        EXPECT_FALSE(sheet.panel()->isVisible());
        EXPECT_EQ(events, c.expected);
    }
}

}  // namespace
}  // namespace velarium

#include "ProgressSheetTest.moc"
