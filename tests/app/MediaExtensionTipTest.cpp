// The Media Extension tip: when it shows (once per major version, never once
// suppressed, always from the Help menu), what it says where Velarium runs
// from, and what its buttons do. The alert is the real one, answered from a
// timer; opening a folder goes to a handler of the test's own.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>

#include <optional>

#include "DocumentTestSupport.h"
#include "support/OpenedURLs.h"
#include "app/BW_MediaExtensionTip.h"
#include "app/MenuActions.h"
#include "app/SettingsKeys.h"

namespace velarium::testing {
namespace {

using app::BW_MediaExtensionTip;

// What one showing of the alert looked like.
struct Showing {
    int alerts = 0;
    QString text;
    QString informative;
    QString checkBox;
    QString firstButton;   // accept role
    QString secondButton;  // reject role
};

// Runs `run` and answers every alert it shows by pressing the button of
// `role`, ticking the check box first when `tick`. Nothing lingers after
// `run` returns, so a later test's alert is never answered from here.
Showing answering(const std::function<void()>& run, QMessageBox::ButtonRole role, bool tick = false) {
    Showing showing;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        ++showing.alerts;
        showing.text = box->text();
        showing.informative = box->informativeText();
        if (box->checkBox()) showing.checkBox = box->checkBox()->text();
        QAbstractButton* press = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            const QMessageBox::ButtonRole buttonRole = box->buttonRole(button);
            if (buttonRole == QMessageBox::AcceptRole) showing.firstButton = button->text();
            if (buttonRole == QMessageBox::RejectRole) showing.secondButton = button->text();
            if (buttonRole == role) press = button;
        }
        if (tick && box->checkBox()) box->checkBox()->setChecked(true);
        if (press) press->click();
        else box->close();
    });
    timer.start(10);
    run();
    return showing;
}

QString storedVersion() { return QSettings().value(settings::kMediaExtensionTipLastShownVersion).toString(); }
bool suppressed() { return QSettings().value(settings::kMediaExtensionTipSuppressed).toBool(); }

class MediaExtensionTipTest : public ApplicationTest {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        QSettings settings;
        settings.remove(settings::kMediaExtensionTipLastShownVersion);
        settings.remove(settings::kMediaExtensionTipSuppressed);
        version_ = QCoreApplication::applicationVersion();
    }
    void TearDown() override {
        QCoreApplication::setApplicationVersion(version_);
        BW_MediaExtensionTip::setExecutableFilePath({});
        BW_MediaExtensionTip::setInstalledOverride(std::nullopt);
        ApplicationTest::TearDown();
    }

    // A program file at `relative` under the test's folder, with the
    // folders above it.
    QString programAt(const std::string& relative) {
        const auto path = files_ / relative;
        std::filesystem::create_directories(path.parent_path());
        files_.write(relative, "#!/bin/sh\n");
        return QString::fromStdString(path.string());
    }

    QString version_;
};

TEST_F(MediaExtensionTipTest, ShowsOncePerMajorVersionUnlessSuppressed) {
    const struct {
        const char* name;
        std::optional<QString> stored;  // nullopt: never shown before
        QString current;
        bool suppressedBefore;
        bool shown;
    } cases[] = {
        {"first launch", std::nullopt, "0.1.0", false, true},
        {"same major", "2.1", "2.7", false, false},
        {"new major", "2.9", "3.0", false, true},
        {"more components, same major", "10", "10.0.1", false, false},
        {"major compared as text", "1", "01.0", false, true},
        {"no version is 0", std::nullopt, "", false, true},
        {"stored 0, still none", "0", "", false, false},
        {"suppressed, first launch", std::nullopt, "0.1.0", true, false},
        {"suppressed, new major", "1.4", "2.0", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings settings;
        settings.clear();
        if (c.stored) settings.setValue(settings::kMediaExtensionTipLastShownVersion, *c.stored);
        if (c.suppressedBefore) settings.setValue(settings::kMediaExtensionTipSuppressed, true);
        QCoreApplication::setApplicationVersion(c.current);

        const Showing first = answering(&BW_MediaExtensionTip::showIfNeeded, QMessageBox::RejectRole);
        EXPECT_EQ(first.alerts, c.shown ? 1 : 0);
        const QString expectedStored = c.shown ? (c.current.isEmpty() ? "0" : c.current) : c.stored.value_or(QString());
        EXPECT_EQ(storedVersion(), expectedStored);
        // Asking again in the same launch shows nothing.
        EXPECT_EQ(answering(&BW_MediaExtensionTip::showIfNeeded, QMessageBox::RejectRole).alerts, 0);
    }
}

TEST_F(MediaExtensionTipTest, MajorVersionIsTheTextBeforeTheFirstDot) {
    const std::pair<QString, QString> cases[] = {
        {"2.7", "2"}, {"10.0.1", "10"}, {"10", "10"}, {"3.", "3"}, {".5", ".5"}, {"", ""},
    };
    for (const auto& [version, major] : cases) EXPECT_EQ(BW_MediaExtensionTip::majorVersionOf(version), major) << version.toStdString();
}

TEST_F(MediaExtensionTipTest, EitherButtonStoresTheVersionAndTheTickedBoxSuppresses) {
    BW_MediaExtensionTip::setInstalledOverride(true);
    QCoreApplication::setApplicationVersion("4.2.1");
    const struct {
        const char* name;
        QMessageBox::ButtonRole role;
        bool tick;
    } cases[] = {
        {"first button", QMessageBox::AcceptRole, false},
        {"Not Now", QMessageBox::RejectRole, false},
        {"first button, ticked", QMessageBox::AcceptRole, true},
        {"Not Now, ticked", QMessageBox::RejectRole, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings().clear();
        EXPECT_EQ(answering(&BW_MediaExtensionTip::showNow, c.role, c.tick).alerts, 1);
        EXPECT_EQ(storedVersion(), "4.2.1");
        EXPECT_EQ(suppressed(), c.tick);
        // A later launch of a new major version asks first whether it may.
        QCoreApplication::setApplicationVersion("5.0");
        EXPECT_EQ(answering(&BW_MediaExtensionTip::showIfNeeded, QMessageBox::RejectRole).alerts, c.tick ? 0 : 1);
        QCoreApplication::setApplicationVersion("4.2.1");
    }
}

// Installed means run from a prefix whose share/applications holds our
// desktop entry, or from anywhere inside a folder named Applications.
TEST_F(MediaExtensionTipTest, InstalledIsDecidedByWhereTheProgramRuns) {
    std::filesystem::create_directories(files_ / "usr/share/applications");
    files_.write("usr/share/applications/com.brackwater.Velarium.desktop", "[Desktop Entry]\n");
    std::filesystem::create_directories(files_ / "other/share/applications");
    files_.write("other/share/applications/org.example.Player.desktop", "[Desktop Entry]\n");
    std::filesystem::create_directories(files_ / "dir-entry/share/applications/com.brackwater.Velarium.desktop");
    const struct {
        const char* relative;
        bool installed;
    } cases[] = {
        {"usr/bin/velarium", true},
        {"other/bin/velarium", false},
        {"dir-entry/bin/velarium", false},
        {"build/app/velarium", false},
        {"Applications/velarium", true},
        {"home/Applications/Velarium-0.1/usr/bin/velarium", true},
        {"MyApplications/velarium", false},
        {"Applications.old/velarium", false},
    };
    for (const auto& c : cases) {
        BW_MediaExtensionTip::setExecutableFilePath(programAt(c.relative));
        EXPECT_EQ(BW_MediaExtensionTip::isInAnApplicationsFolder(), c.installed) << c.relative;
    }
}

TEST_F(MediaExtensionTipTest, NotInstalledTextNamesTheProgramsFolderWithTheHomeFolderAsTilde) {
    const QString home = QDir::cleanPath(QDir::homePath());
    const struct {
        QString program;
        QString shown;
    } cases[] = {
        {home + "/Downloads/velarium-0.1/bin/velarium", "~/Downloads/velarium-0.1/bin"},
        {home + "/velarium", "~"},
        {home + "2/bin/velarium", home + "2/bin"},
        {"/opt/velarium/bin/velarium", "/opt/velarium/bin"},
        {"/opt/velarium/bin/../app/velarium", "/opt/velarium/app"},
    };
    for (const auto& c : cases) {
        BW_MediaExtensionTip::setExecutableFilePath(c.program);
        const QString text = BW_MediaExtensionTip::notInstalledMessage();
        EXPECT_TRUE(text.startsWith("Velarium is running from " + c.shown + ". ")) << text.toStdString();
    }
}

// Texts and buttons as the user sees them, through the English table that
// start-up loads: nothing about another system's programs remains.
TEST_F(MediaExtensionTipTest, AlertSaysWhatIsTrueHereInEitherPlace) {
    BW_MediaExtensionTip::setExecutableFilePath(QDir::homePath() + "/Downloads/velarium/bin/velarium");
    const struct {
        const char* name;
        bool installed;
        QString firstButton;
        QStringList says;
    } cases[] = {
        {"installed", true, "OK", {"GStreamer", "GNOME Videos", "thumbnails", "nothing to switch on", "without it"}},
        {"not installed", false, "Show in File Manager",
         {"~/Downloads/velarium/bin", "GStreamer", "Debian package", "cmake --install", "from anywhere"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BW_MediaExtensionTip::setInstalledOverride(c.installed);
        const Showing showing = answering(&BW_MediaExtensionTip::showNow, QMessageBox::RejectRole);
        ASSERT_EQ(showing.alerts, 1);
        EXPECT_EQ(showing.text, "ANIM support for other apps");
        EXPECT_EQ(showing.checkBox, QString::fromUtf8("Don\u2019t show this again"));
        EXPECT_EQ(showing.firstButton, c.firstButton);
        EXPECT_EQ(showing.secondButton, "Not Now");
        EXPECT_EQ(showing.informative.count("\n\n"), 2) << showing.informative.toStdString();
        for (const QString& phrase : c.says)
            EXPECT_TRUE(showing.informative.contains(phrase)) << phrase.toStdString() << " in " << showing.informative.toStdString();
        for (const char* foreign : {"macOS", "QuickTime", "Finder", "System Settings", "Media Extensions"})
            EXPECT_FALSE((showing.informative + showing.firstButton).contains(foreign)) << foreign;
    }
}

TEST_F(MediaExtensionTipTest, FirstButtonShowsTheProgramsFolderOnlyWhenNotInstalled) {
    const QString program = programAt("unpacked/bin/velarium");
    BW_MediaExtensionTip::setExecutableFilePath(program);
    const struct {
        const char* name;
        bool installed;
        QMessageBox::ButtonRole role;
        QList<QUrl> opened;
    } cases[] = {
        {"not installed, first button", false, QMessageBox::AcceptRole,
         {QUrl::fromLocalFile(QFileInfo(program).absolutePath())}},
        {"not installed, Not Now", false, QMessageBox::RejectRole, {}},
        {"installed, first button", true, QMessageBox::AcceptRole, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenedURLs opened;
        BW_MediaExtensionTip::setInstalledOverride(c.installed);
        answering(&BW_MediaExtensionTip::showNow, c.role);
        // Without a file manager on the bus (these tests have no bus) the
        // folder itself is opened.
        if (!c.opened.isEmpty()) waitFor([&] { return !opened.urls.isEmpty(); });
        else QTest::qWait(kQuietMs);
        EXPECT_EQ(opened.urls, c.opened);
    }
}

TEST_F(MediaExtensionTipTest, HelpMenuShowsTheTipEvenWhenSuppressed) {
    QSettings().setValue(settings::kMediaExtensionTipSuppressed, true);
    QSettings().setValue(settings::kMediaExtensionTipLastShownVersion, "0.0.1");
    writeFile(files_ / "walk.anim", smallAnimation());
    app::Document* document = open(files_ / "walk.anim");
    ASSERT_NE(document, nullptr);
    QAction* item = action(document, app::kMediaExtensionTipAction);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->property(app::kTagProperty).toInt(), app::kMediaExtensionTipTag);
    EXPECT_TRUE(item->isEnabled());

    EXPECT_EQ(answering([item] { item->trigger(); }, QMessageBox::RejectRole).alerts, 1);
    EXPECT_EQ(storedVersion(), QCoreApplication::applicationVersion());
    EXPECT_TRUE(suppressed());
}

// Launching with nothing to open: the tip when due, then the Open dialog.
TEST_F(MediaExtensionTipTest, TipComesBeforeTheStartUpOpenDialogWhenDue) {
    QStringList order;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            order << "tip";
            box->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            order << "open";
            dialog->reject();
        }
    });
    timer.start(10);
    delegate_->applicationDidFinishLaunching();
    EXPECT_EQ(order, QStringList{"tip"});
    order.clear();
    EXPECT_FALSE(delegate_->applicationOpenUntitledFile());
    EXPECT_EQ(order, QStringList{"open"});

    QSettings().remove(settings::kMediaExtensionTipLastShownVersion);
    order.clear();
    EXPECT_FALSE(delegate_->applicationOpenUntitledFile());
    EXPECT_EQ(order, (QStringList{"tip", "open"}));
}

}  // namespace
}  // namespace velarium::testing

