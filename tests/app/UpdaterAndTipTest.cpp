// The software updater against appcasts read through file:// URLs: which
// release it picks, what it tells the user, and when it checks quietly. The
// Media Extension tip: when it shows (once per major version, never once
// suppressed, always from the Help menu), what it says where Velarium runs
// from, and what its buttons do.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>

#include <cstdlib>
#include <optional>

#include "DocumentTestSupport.h"
#include "app/Appcast.h"
#include "app/BW_MediaExtensionTip.h"
#include "app/MenuActions.h"
#include "app/SettingsKeys.h"
#include "app/SoftwareUpdater.h"
#include "support/OpenedURLs.h"

namespace velarium::app {
namespace {

using namespace velarium::testing;
using Outcome = SoftwareUpdater::Outcome;
constexpr const char* kInstalled = "0.1.0";

QByteArray rss(const QString& items) {
    return ("<?xml version=\"1.0\"?><rss version=\"2.0\" "
            "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>" +
            items + "</channel></rss>")
        .toUtf8();
}

// A release with its version on the enclosure, or in elements beside a <link>.
QString release(const QString& version, bool onEnclosure = true) {
    return onEnclosure ? QStringLiteral("<item><title>Velarium %1</title><enclosure url=\"https://example.com/V-%1\" "
                                        "sparkle:shortVersionString=\"%1\"/></item>").arg(version)
                       : QStringLiteral("<item><link>https://example.com/get/%1</link>"
                                        "<sparkle:shortVersionString>%1</sparkle:shortVersionString></item>").arg(version);
}

class SoftwareUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* key : {settings::kUpdateFeedURL, settings::kUpdateAutomatically, settings::kLastUpdateCheck})
            QSettings().remove(key);
    }

    // The feed in a file of its own, which the settings name.
    std::filesystem::path setFeed(const QByteArray& xml) {
        const auto path = folder_.write("appcast-" + std::to_string(++feeds_) + ".xml", xml.toStdString());
        QSettings().setValue(settings::kUpdateFeedURL, url(path).toString());
        return path;
    }

    TemporaryFolder folder_;
    int feeds_ = 0;
};

// An updater of the installed version, with the requests it makes and the checks it finishes.
struct Check {
    QNetworkAccessManager network;
    SoftwareUpdater updater{kInstalled};
    QSignalSpy requests{&network, &QNetworkAccessManager::finished};
    QSignalSpy finished{&updater, &SoftwareUpdater::checkFinished};
    Check() { updater.setNetworkAccessManager(&network); }
};

TEST(UpdateFeedTest, NewestReleaseIsChosenByVersionWhereverTheFeedKeepsIt) {
    const struct {
        const char* name;
        QString items, version, download;
    } cases[] = {
        {"numeric, not text order", release("1.9") + release("1.10") + release("1.2"), "1.10", "https://example.com/V-1.10"},
        {"versions as elements", release("1.0", false) + release("1.4", false), "1.4", "https://example.com/get/1.4"},
        {"both kinds mixed", release("2.1", false) + release("2.0"), "2.1", "https://example.com/get/2.1"},
        {"short version outranks build number",
         "<item><sparkle:version>100</sparkle:version><sparkle:shortVersionString>2.0</sparkle:shortVersionString>"
         "<link>https://a/2</link></item><item><sparkle:version>200</sparkle:version>"
         "<sparkle:shortVersionString>1.5</sparkle:shortVersionString><link>https://a/1</link></item>",
         "2.0", "https://a/2"},
        {"build number on the enclosure alone",
         "<item><enclosure url=\"https://a/41\" sparkle:version=\"41\"/></item>"
         "<item><enclosure url=\"https://a/402\" sparkle:version=\"402\"/></item>",
         "402", "https://a/402"},
        {"item element wins over enclosure",
         "<item><sparkle:shortVersionString>4.0</sparkle:shortVersionString>"
         "<enclosure url=\"https://a/4\" sparkle:shortVersionString=\"1.0\"/></item>" + release("3.0"),
         "4.0", "https://a/4"},
        {"release only for another system skipped",
         "<item><sparkle:version>3.0</sparkle:version><link>https://a/3</link>"
         "<enclosure url=\"https://a/3.exe\" sparkle:os=\"windows\"/></item>" + release("2.0"),
         "2.0", "https://example.com/V-2.0"},
        {"item without a version ignored", "<item><link>https://a/news</link></item>" + release("0.9"), "0.9",
         "https://example.com/V-0.9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Appcast> appcast = Appcast::parse(rss(c.items));
        ASSERT_TRUE(appcast && appcast->newestItem());
        EXPECT_EQ(appcast->newestItem()->displayVersion(), c.version);
        EXPECT_EQ(appcast->newestItem()->downloadURL, QUrl(c.download));
    }
}

// Asked for, a check always answers; a quiet one speaks only of a newer
// version and schedules the next a day later. Only safe links are opened.
TEST_F(SoftwareUpdaterTest, CheckTellsTheUserWhatTheFeedOffers) {
    const QByteArray kMissing = "missing", kNone = "none";
    const QUrl download("https://example.com/V-0.2.0");
    constexpr auto kAccept = QMessageBox::AcceptRole, kReject = QMessageBox::RejectRole;
    using enum SoftwareUpdater::Outcome;
    const struct {
        const char* name;
        QByteArray feed;
        bool quiet;
        QMessageBox::ButtonRole press;
        Outcome outcome;
        QStringList says;  // empty: says nothing
        QUrl opened;
    } cases[] = {
        {"newer, later", rss(release("0.2.0")), false, kReject, UpdateAvailable,
         {"Velarium 0.2.0 is available", "you have 0.1.0", "href=\"https://example.com/V-0.2.0\""}, {}},
        {"newer, download", rss(release("0.0.9") + release("0.2.0")), false, kAccept, UpdateAvailable, {"0.2.0"}, download},
        {"newer with a link no browser should open",
         rss("<item><link>javascript:alert(1)</link><sparkle:version>9</sparkle:version></item>"), false, kAccept,
         UpdateAvailable, {"9 is available"}, {}},
        {"same version", rss(release("0.1.0")), false, kAccept, UpToDate, {"0.1.0 is the newest version"}, {}},
        {"same version written longer", rss(release("0.1.0.0", false)), false, kAccept, UpToDate, {"newest version"}, {}},
        {"only older releases", rss(release("0.0.1") + release("0.0.9", false)), false, kAccept, UpToDate, {"newest version"}, {}},
        {"no feed", kNone, false, kAccept, NoFeed,
         {"No update feed is configured", "BW_UpdateFeedURL", "Brackwater/Velarium.conf"}, {}},
        {"missing file", kMissing, false, kAccept, Failed, {"could not check for updates", "appcast-"}, {}},
        {"malformed XML", "<rss><channel><item>", false, kAccept, Failed, {"could not check for updates", "not well-formed XML"}, {}},
        {"not RSS", "<feed><entry/></feed>", false, kAccept, Failed, {"not an RSS feed"}, {}},
        {"no versioned release", rss("<item><title>Hello</title></item>"), false, kAccept, Failed,
         {"no release with a version number"}, {}},
        {"quiet, newer", rss(release("1.0")), true, kReject, UpdateAvailable, {"1.0"}, {}},
        {"quiet, same", rss(release(kInstalled)), true, kReject, UpToDate, {}, {}},
        {"quiet, malformed", "<rss><channel>", true, kReject, Failed, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings().remove(settings::kLastUpdateCheck);
        QSettings().setValue(settings::kUpdateAutomatically, c.quiet);
        const auto feed = setFeed(c.feed);
        if (c.feed == kMissing) std::filesystem::remove(feed);
        if (c.feed == kNone) QSettings().remove(settings::kUpdateFeedURL);
        Check check;
        QList<QUrl> opened;
        check.updater.setLinkOpener([&opened](const QUrl& url) { opened.append(url); return true; });
        QString text;
        ModalAnswerer answerer([&](QWidget* modal) { text += acceptMessageBox(modal, c.press); });
        c.quiet ? check.updater.checkForUpdatesInBackground() : check.updater.checkForUpdates(nullptr);
        ASSERT_TRUE(check.finished.wait(5000));
        ASSERT_EQ(check.finished.at(0).at(0).value<Outcome>(), c.outcome);
        EXPECT_EQ(text.isEmpty(), c.says.isEmpty()) << text.toStdString();
        for (const QString& phrase : c.says) EXPECT_TRUE(text.contains(phrase)) << text.toStdString();
        EXPECT_EQ(opened, c.opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{c.opened});
        EXPECT_EQ(check.requests.count(), c.outcome == NoFeed ? 0 : 1);
        const QDateTime recorded = QSettings().value(settings::kLastUpdateCheck).toDateTime();
        EXPECT_EQ(recorded.isValid(), c.outcome != NoFeed);
        EXPECT_LE(std::abs(recorded.secsTo(QDateTime::currentDateTimeUtc())), 5);
        const qint64 nextCheck = QDateTime::currentDateTimeUtc().secsTo(check.updater.nextScheduledCheck());
        EXPECT_NEAR(c.quiet ? nextCheck : 24 * 3600, 24 * 3600, 5);
    }
}

TEST_F(SoftwareUpdaterTest, AskingAgainDuringACheckStartsNoSecondOne) {
    setFeed(rss(release(kInstalled)));
    Check check;
    int messages = 0;
    ModalAnswerer answerer([&](QWidget* modal) {
        ++messages;
        check.updater.checkForUpdates(nullptr);  // while the answer is on screen
        acceptMessageBox(modal);
    });
    check.updater.checkForUpdates(nullptr);
    check.updater.checkForUpdates(nullptr);  // while the feed is being read
    ASSERT_TRUE(check.finished.wait(5000));
    QTest::qWait(200);
    EXPECT_EQ(check.requests.count(), 1);
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(check.finished.count(), 1);
}

TEST_F(SoftwareUpdaterTest, UpdateCycleSchedulesAQuietCheckOnlyWhenSwitchedOnWithAFeed) {
    constexpr qint64 kNone = -1000000;  // no check scheduled
    const struct {
        const char* name;
        QVariant automatic;
        bool feed;
        std::optional<qint64> lastCheckSecondsAgo;
        qint64 delaySeconds;
    } cases[] = {
        {"nothing set", {}, true, std::nullopt, kNone},         {"switched off", false, true, 60, kNone},
        {"switched on without a feed", true, false, {}, kNone}, {"never checked", true, true, std::nullopt, 30},
        {"checked two hours ago", true, true, 2 * 3600, 22 * 3600}, {"overdue", true, true, 3 * 24 * 3600, 30},
        {"last check in the future", true, true, -5 * 24 * 3600, 24 * 3600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        QSettings settings;
        if (c.automatic.isValid()) settings.setValue(settings::kUpdateAutomatically, c.automatic);
        if (c.feed) settings.setValue(settings::kUpdateFeedURL, "file:///nonexistent/appcast.xml");
        if (c.lastCheckSecondsAgo)
            settings.setValue(settings::kLastUpdateCheck, QDateTime::currentDateTimeUtc().addSecs(-*c.lastCheckSecondsAgo));
        SoftwareUpdater updater(kInstalled);
        updater.resetUpdateCycle();
        const QDateTime next = updater.nextScheduledCheck();
        EXPECT_NEAR(next.isValid() ? QDateTime::currentDateTimeUtc().secsTo(next) : kNone, c.delaySeconds, 5);
    }
}


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
}  // namespace velarium::app
