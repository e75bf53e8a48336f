#include "app/SoftwareUpdater.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSettings>
#include <QVersionNumber>

#include <algorithm>

#include "app/Appcast.h"
#include "app/SettingsKeys.h"
#include "platform/foundation/SystemLog.h"

namespace velarium::app {
namespace {

using std::chrono::milliseconds;

QString configuredFeed() { return QSettings().value(settings::kUpdateFeedURL).toString().trimmed(); }

// Only web links are handed to the desktop: a feed must not be able to make
// the file manager open a local file or a custom URL handler run.
bool isOpenableLink(const QUrl& url) {
    return url.isValid() && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

QString htmlLink(const QUrl& url) {
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), url.toDisplayString().toHtmlEscaped());
}

// The settings file as the user would type its name.
QString settingsFileForDisplay() {
    const QString file = QSettings().fileName();
    const QString home = QDir::homePath();
    return file.startsWith(home + QLatin1Char('/')) ? QLatin1Char('~') + file.mid(home.size()) : file;
}

QString applicationName() { return QCoreApplication::applicationName(); }

}  // namespace

bool SoftwareUpdater::hasConfiguredFeed() { return !configuredFeed().isEmpty(); }

SoftwareUpdater* SoftwareUpdater::updaterForBundle(QObject* parent) {
    return new SoftwareUpdater(QCoreApplication::applicationVersion(), parent);
}

SoftwareUpdater::SoftwareUpdater(const QString& installedVersion, QObject* parent)
    : QObject(parent), installedVersion_(installedVersion), linkOpener_(&QDesktopServices::openUrl) {
    scheduledCheck_.setSingleShot(true);
    scheduledCheck_.setTimerType(Qt::VeryCoarseTimer);
    connect(&scheduledCheck_, &QTimer::timeout, this, &SoftwareUpdater::checkForUpdatesInBackground);
    replyTimeout_.setSingleShot(true);
    connect(&replyTimeout_, &QTimer::timeout, this, &SoftwareUpdater::feedTimedOut);
}

SoftwareUpdater::~SoftwareUpdater() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    if (message_) {
        message_->disconnect(this);
        delete message_;
    }
}

void SoftwareUpdater::setNetworkAccessManager(QNetworkAccessManager* manager) { network_ = manager; }

QDateTime SoftwareUpdater::nextScheduledCheck() const {
    return scheduledCheck_.isActive() ? scheduledFor_ : QDateTime();
}

void SoftwareUpdater::resetUpdateCycle() {
    scheduledCheck_.stop();
    scheduledFor_ = QDateTime();
    QSettings settings;
    if (!settings.value(settings::kUpdateAutomatically, false).toBool() || configuredFeed().isEmpty()) return;

    // Due one interval after the last check, but never sooner than the start-up
    // grace and never further away than one interval (the clock may have been
    // set back since).
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = settings.value(settings::kLastUpdateCheck).toDateTime();
    milliseconds delay = kFirstCheckDelay;
    if (last.isValid()) {
        const milliseconds untilDue{now.msecsTo(last.addDuration(kCheckInterval))};
        delay = std::clamp<milliseconds>(untilDue, kFirstCheckDelay, kCheckInterval);
    }
    scheduledFor_ = now.addDuration(delay);
    scheduledCheck_.start(delay);
}

void SoftwareUpdater::checkForUpdates(QObject* sender) {
    Q_UNUSED(sender);
    if (checking_ && message_) {
        message_->raise();
        message_->activateWindow();
    }
    startCheck(false);
}

void SoftwareUpdater::checkForUpdatesInBackground() { startCheck(true); }

void SoftwareUpdater::startCheck(bool quiet) {
    if (checking_) return;
    checking_ = true;
    quiet_ = quiet;
    abortReason_.clear();

    const QString feed = configuredFeed();
    if (feed.isEmpty()) {
        if (quiet_) finishCheck(Outcome::NoFeed);
        else presentNoFeed();
        return;
    }
    const QUrl url = QUrl::fromUserInput(feed, QDir::currentPath());
    if (!url.isValid()) {
        presentFailure(tr("The update feed address “%1” is not a valid URL.").arg(feed));
        return;
    }

    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("%1/%2").arg(applicationName(), installedVersion_));
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::finished, this, &SoftwareUpdater::feedArrived);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaximumFeedBytes && reply_) {
            abortReason_ = tr("The update feed is larger than an update feed can be.");
            reply_->abort();
        }
    });
    replyTimeout_.start(timeout_);
}

void SoftwareUpdater::feedTimedOut() {
    if (!reply_) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout_).count();
    abortReason_ = tr("The update server did not answer within %n second(s).", nullptr, static_cast<int>(seconds));
    reply_->abort();
}

void SoftwareUpdater::feedArrived() {
    replyTimeout_.stop();
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    if (!reply) return;
    reply->deleteLater();
    QSettings().setValue(settings::kLastUpdateCheck, QDateTime::currentDateTimeUtc());

    if (!abortReason_.isEmpty()) return presentFailure(abortReason_);
    if (reply->error() != QNetworkReply::NoError) return presentFailure(reply->errorString());

    QString error;
    const std::optional<Appcast> appcast = Appcast::parse(reply->readAll(), &error);
    if (!appcast) return presentFailure(error);
    const AppcastItem* newest = appcast->newestItem();
    if (!newest) return presentFailure(tr("The update feed lists no release with a version number."));

    if (compareVersions(newest->comparableVersion(), QVersionNumber::fromString(installedVersion_)) > 0)
        presentUpdate(*newest);
    else
        presentUpToDate();
}

void SoftwareUpdater::finishCheck(Outcome outcome) {
    checking_ = false;
    message_ = nullptr;
    emit checkFinished(outcome);
    // Every finished check moves the next quiet one a full interval on.
    resetUpdateCycle();
}

void SoftwareUpdater::presentUpdate(const AppcastItem& item) {
    auto* box = new QMessageBox(QMessageBox::Information, tr("Software Update"), QString(), QMessageBox::NoButton,
                                QApplication::activeWindow());
    QString text = tr("<p><b>A new version of %1 is available.</b></p><p>%1 %2 is available — you have %3.</p>")
                       .arg(applicationName().toHtmlEscaped(), item.displayVersion().toHtmlEscaped(),
                            installedVersion_.toHtmlEscaped());
    if (!item.title.isEmpty()) text += QStringLiteral("<p>%1</p>").arg(item.title.toHtmlEscaped());
    if (isOpenableLink(item.releaseNotesURL) && item.releaseNotesURL != item.downloadURL)
        text += tr("<p>Release notes: %1</p>").arg(htmlLink(item.releaseNotesURL));

    if (isOpenableLink(item.downloadURL)) {
        text += tr("<p>Download it from %1</p>").arg(htmlLink(item.downloadURL));
        QPushButton* download = box->addButton(tr("Download"), QMessageBox::AcceptRole);
        box->addButton(tr("Later"), QMessageBox::RejectRole);
        box->setDefaultButton(download);
        const QUrl link = item.downloadURL;
        connect(download, &QPushButton::clicked, this, [this, link] {
            if (!linkOpener_(link)) systemLog("Velarium: could not open %s", qPrintable(link.toString()));
        });
    } else {
        box->addButton(QMessageBox::Ok);
    }
    box->setTextFormat(Qt::RichText);
    box->setText(text);
    // QMessageBox offers no way to open the release notes' links; its text
    // label is reached by the name Qt gives it. Should Qt rename it, the
    // links would only stop opening in the browser.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) label->setOpenExternalLinks(true);
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    present(box, Outcome::UpdateAvailable);
}

void SoftwareUpdater::presentUpToDate() {
    if (quiet_) return finishCheck(Outcome::UpToDate);
    auto* box = new QMessageBox(QMessageBox::Information, tr("Software Update"),
                                tr("You're up to date.") + QStringLiteral("\n\n") +
                                    tr("%1 %2 is the newest version available.").arg(applicationName(), installedVersion_),
                                QMessageBox::Ok, QApplication::activeWindow());
    present(box, Outcome::UpToDate);
}

void SoftwareUpdater::presentNoFeed() {
    auto* box = new QMessageBox(
        QMessageBox::Information, tr("Software Update"),
        tr("No update feed is configured.") + QStringLiteral("\n\n") +
            tr("To check for updates, set %1 to the address of an update feed in the [General] section of %2, "
               "for example:\n\n[General]\n%1=https://example.com/velarium/appcast.xml")
                .arg(QLatin1String(settings::kUpdateFeedURL), settingsFileForDisplay()),
        QMessageBox::Ok, QApplication::activeWindow());
    present(box, Outcome::NoFeed);
}

void SoftwareUpdater::presentFailure(const QString& reason) {
    if (quiet_) {
        systemLog("Velarium: automatic update check failed: %s", qPrintable(reason));
        return finishCheck(Outcome::Failed);
    }
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Software Update"),
                                tr("%1 could not check for updates.").arg(applicationName()) +
                                    QStringLiteral("\n\n") + reason,
                                QMessageBox::Ok, QApplication::activeWindow());
    present(box, Outcome::Failed);
}

void SoftwareUpdater::present(QMessageBox* box, Outcome outcome) {
    if (box->textFormat() != Qt::RichText) box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(box->parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, [this, outcome] { finishCheck(outcome); });
    message_ = box;
    box->show();
}

}  // namespace velarium::app
