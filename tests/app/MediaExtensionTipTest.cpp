// The Media Extension tip: when it shows (once per major version, never once
// suppressed, always from the Help menu), what it says where Velarium runs
// from, and what its buttons do.
#include <gtest/gtest.h>

#include <QCheckBox>

#include "DocumentTestSupport.h"
#include "support/OpenedURLs.h"
#include "app/BW_MediaExtensionTip.h"
#include "app/MenuActions.h"

namespace velarium::testing {
namespace {

using app::BW_MediaExtensionTip;

// How often the alert showed; the last one's informative text, its default
// button and, in order, its text, check box and accept and reject buttons.
struct Showing {
    int alerts = 0;
    QString informative, defaultButton;
    QStringList texts;
};

// Runs `run`, answering each alert with the button of `role`, ticked first when `tick`.
Showing answering(const std::function<void()>& run, QMessageBox::ButtonRole role, bool tick = false) {
    Showing showing;
    ModalAnswerer answerer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        ++showing.alerts;
        showing.informative = box->informativeText();
        showing.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
        showing.texts = {box->text(), box->checkBox() ? box->checkBox()->text() : QString()};
        for (const QMessageBox::ButtonRole shown : {QMessageBox::AcceptRole, QMessageBox::RejectRole})
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == shown) showing.texts << button->text();
        if (tick && box->checkBox()) box->checkBox()->setChecked(true);
        acceptMessageBox(box, role);
    });
    run();
    return showing;
}

QString storedVersion() { return QSettings().value(settings::kMediaExtensionTipLastShownVersion).toString(); }
bool suppressed() { return QSettings().value(settings::kMediaExtensionTipSuppressed).toBool(); }

class MediaExtensionTipTest : public ApplicationTest {
protected:
    void SetUp() override {
        ApplicationTest::SetUp();
        QSettings().clear();
        version_ = QCoreApplication::applicationVersion();
    }
    void TearDown() override {
        QCoreApplication::setApplicationVersion(version_);
        BW_MediaExtensionTip::setExecutableFilePath({});
        BW_MediaExtensionTip::setInstalledOverride(std::nullopt);
        ApplicationTest::TearDown();
    }

    // A program or desktop entry at `relative` in the test's folder.
    QString programAt(const std::string& relative) {
        return QString::fromStdString(files_.write(relative, "#!/bin/sh\n").string());
    }

    QString version_;
};

TEST_F(MediaExtensionTipTest, ShowsOncePerMajorVersionUnlessSuppressed) {
    const struct {
        std::optional<QString> stored;  // nullopt: never shown before
        QString current;
        bool suppressedBefore, shown;
    } cases[] = {
        {std::nullopt, "0.1.0", false, true}, {"2.1", "2.7", false, false},   {"2.9", "3.0", false, true},
        {"10", "10.0.1", false, false},       {"1", "01.0", false, true},     // the major version is compared as text
        {std::nullopt, "", false, true},      {"0", "", false, false},        // no version is "0"
        {std::nullopt, "0.1.0", true, false}, {"1.4", "2.0", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.value_or("none").toStdString() + " → " + c.current.toStdString());
        QSettings().clear();
        if (c.stored) QSettings().setValue(settings::kMediaExtensionTipLastShownVersion, *c.stored);
        if (c.suppressedBefore) QSettings().setValue(settings::kMediaExtensionTipSuppressed, true);
        QCoreApplication::setApplicationVersion(c.current);

        EXPECT_EQ(answering(&BW_MediaExtensionTip::showIfNeeded, QMessageBox::RejectRole).alerts, c.shown ? 1 : 0);
        EXPECT_EQ(storedVersion(), c.shown ? (c.current.isEmpty() ? "0" : c.current) : c.stored.value_or(QString()));
        // Asking again in the same launch shows nothing.
        EXPECT_EQ(answering(&BW_MediaExtensionTip::showIfNeeded, QMessageBox::RejectRole).alerts, 0);
    }
}

// The texts say what is true here, nothing about another system's programs.
// Either button stores the version; the ticked box suppresses the tip; only
// the first button of a copy that is not installed opens its folder.
TEST_F(MediaExtensionTipTest, AlertSaysWhatIsTrueHereAndItsButtonsDoWhatTheySay) {
    const QString program = programAt("unpacked/bin/velarium");
    BW_MediaExtensionTip::setExecutableFilePath(program);
    const QString folder = QFileInfo(program).absolutePath();
    const struct {
        bool installed;
        QMessageBox::ButtonRole role;
        bool tick;
    } cases[] = {
        {false, QMessageBox::AcceptRole, false}, {false, QMessageBox::RejectRole, false},
        {false, QMessageBox::AcceptRole, true},  {false, QMessageBox::RejectRole, true},
        {true, QMessageBox::AcceptRole, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.installed << " " << c.role << " " << c.tick);
        QSettings().clear();
        QCoreApplication::setApplicationVersion("4.2.1");
        BW_MediaExtensionTip::setInstalledOverride(c.installed);
        OpenedURLs opened;
        const Showing showing = answering(&BW_MediaExtensionTip::showNow, c.role, c.tick);
        ASSERT_EQ(showing.alerts, 1);
        EXPECT_EQ(showing.texts, QStringList({"ANIM support for other apps", QString::fromUtf8("Don\u2019t show this again"),
                                              c.installed ? "OK" : "Show in File Manager", "Not Now"}));
        EXPECT_EQ(showing.defaultButton, "Not Now");
        const QStringList says = c.installed
            ? QStringList{"GStreamer", "GNOME Videos", "thumbnails", "nothing to switch on", "without it"}
            : QStringList{folder, "GStreamer", "install the velarium package", "apt install", "from anywhere"};
        for (const QString& phrase : says) EXPECT_TRUE(showing.informative.contains(phrase)) << phrase.toStdString();
        for (const char* foreign : {"macOS", "QuickTime", "Finder", "System Settings", "Media Extensions", "cmake"})
            EXPECT_FALSE((showing.informative + showing.texts.join(' ')).contains(foreign)) << foreign;

        EXPECT_EQ(storedVersion(), "4.2.1");
        EXPECT_EQ(suppressed(), c.tick);
        // Without a file manager on the bus (these tests have none) the folder itself is opened.
        const bool opens = !c.installed && c.role == QMessageBox::AcceptRole;
        if (opens) waitFor([&] { return !opened.urls.isEmpty(); });
        else QTest::qWait(kQuietMs);
        EXPECT_EQ(opened.urls, opens ? QList<QUrl>{QUrl::fromLocalFile(folder)} : QList<QUrl>{});
    }
}

// Installed: run from a prefix whose share/applications holds our desktop
// entry, or inside a folder named Applications; else the tip names the folder.
TEST_F(MediaExtensionTipTest, WhereTheProgramRunsDecidesWhatTheTipSays) {
    programAt("usr/share/applications/com.brackwater.Velarium.desktop");
    programAt("other/share/applications/org.example.Player.desktop");
    std::filesystem::create_directories(files_ / "dir-entry/share/applications/com.brackwater.Velarium.desktop");
    const std::pair<const char*, bool> places[] = {
        {"usr/bin/velarium", true},       {"other/bin/velarium", false},
        {"dir-entry/bin/velarium", false}, {"build/app/velarium", false},
        {"Applications/velarium", true},  {"home/Applications/Velarium-0.1/usr/bin/velarium", true},
        {"MyApplications/velarium", false}, {"Applications.old/velarium", false},
    };
    for (const auto& [relative, installed] : places) {
        BW_MediaExtensionTip::setExecutableFilePath(programAt(relative));
        EXPECT_EQ(BW_MediaExtensionTip::isInAnApplicationsFolder(), installed) << relative;
    }

    const QString home = QDir::cleanPath(QDir::homePath());
    const std::pair<QString, QString> folders[] = {
        {home + "/velarium", "~"}, {home + "/Downloads/velarium/bin/velarium", "~/Downloads/velarium/bin"},
        {home + "2/bin/velarium", home + "2/bin"},
        {"/opt/velarium/bin/../app/velarium", "/opt/velarium/app"}};
    for (const auto& [program, shown] : folders) {
        BW_MediaExtensionTip::setExecutableFilePath(program);
        const QString text = BW_MediaExtensionTip::notInstalledMessage();
        EXPECT_TRUE(text.startsWith("Velarium is running from " + shown + ". ")) << text.toStdString();
    }
}

// Launching with nothing to open: the tip when due, then the Open dialog.
// The Help menu shows the tip even when it is suppressed.
TEST_F(MediaExtensionTipTest, TipComesBeforeTheStartUpOpenDialogWhenDueAndFromTheHelpMenuAlways) {
    QStringList order;
    ModalAnswerer answerer([&](QWidget* modal) {
        order << (qobject_cast<QFileDialog*>(modal) ? "open" : "tip");
        qobject_cast<QDialog*>(modal)->reject();
    });
    delegate_->applicationDidFinishLaunching();
    EXPECT_EQ(order, QStringList{"tip"});
    EXPECT_FALSE(delegate_->applicationOpenUntitledFile());
    EXPECT_EQ(order, (QStringList{"tip", "open"}));
    QSettings().remove(settings::kMediaExtensionTipLastShownVersion);
    EXPECT_FALSE(delegate_->applicationOpenUntitledFile());
    EXPECT_EQ(order, (QStringList{"tip", "open", "tip", "open"}));

    QSettings().setValue(settings::kMediaExtensionTipSuppressed, true);
    QSettings().setValue(settings::kMediaExtensionTipLastShownVersion, "0.0.1");
    app::Document* document = open(animationFile("walk.anim"));
    ASSERT_NE(document, nullptr);
    trigger(document->window(), app::kMediaExtensionTipAction);
    EXPECT_EQ(order, (QStringList{"tip", "open", "tip", "open", "tip"}));
    EXPECT_TRUE(suppressed());
}

}  // namespace
}  // namespace velarium::testing
