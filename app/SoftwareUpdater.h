#pragma once

// Velarium's software updater: reads the update feed named in the settings,
// compares its newest release with the running version and tells the user,
// either when asked ("Check for Updates…") or quietly once a day when the
// user has switched automatic checks on.

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QMessageBox;
class QNetworkAccessManager;
class QNetworkReply;

namespace velarium::app {

struct AppcastItem;

class SoftwareUpdater : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        UpdateAvailable,  // the feed offers a newer version
        UpToDate,         // the running version is the newest the feed offers
        NoFeed,           // no feed is configured; nothing was fetched
        Failed,           // the feed could not be fetched or read
    };
    Q_ENUM(Outcome)

    // Opens a download link outside the application; true when it could.
    using LinkOpener = std::function<bool(const QUrl&)>;

    static constexpr std::chrono::hours kCheckInterval{24};
    // How long after start a quiet check waits when one is due (or none was
    // ever made), so that it does not compete with opening documents.
    static constexpr std::chrono::seconds kFirstCheckDelay{30};
    static constexpr std::chrono::seconds kDefaultTimeout{30};
    // A feed larger than this is not an appcast.
    static constexpr qint64 kMaximumFeedBytes = 4 * 1024 * 1024;

    // Whether the settings name an update feed to check.
    static bool hasConfiguredFeed();

    // The updater for this application, comparing against its version.
    static SoftwareUpdater* updaterForBundle(QObject* parent);

    explicit SoftwareUpdater(const QString& installedVersion, QObject* parent = nullptr);
    ~SoftwareUpdater() override;

    // Restarts the schedule of quiet checks from the settings: the next one a
    // day after the last recorded check (soon when that is due or unknown),
    // or none when automatic checks are off or no feed is configured.
    void resetUpdateCycle();

    // "Check for Updates…": checks now and always tells the user the result.
    // While a check is already running it starts no other, only brings the
    // message of the running one forward.
    void checkForUpdates(QObject* sender);

    // A quiet check: speaks up only when a newer version exists.
    void checkForUpdatesInBackground();

    QString installedVersion() const { return installedVersion_; }
    bool isChecking() const { return checking_; }
    // When the next quiet check is due; invalid when none is scheduled.
    QDateTime nextScheduledCheck() const;

    void setLinkOpener(LinkOpener opener) { linkOpener_ = std::move(opener); }
    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // Replaces the manager the feed is fetched through (not owned).
    void setNetworkAccessManager(QNetworkAccessManager* manager);

signals:
    // Emitted once per check, after the user has dismissed its message (at
    // once when a quiet check has nothing to say).
    void checkFinished(velarium::app::SoftwareUpdater::Outcome outcome);

private:
    void startCheck(bool quiet);
    void feedArrived();
    void feedTimedOut();
    void finishCheck(Outcome outcome);

    void presentUpdate(const AppcastItem& item);
    void presentUpToDate();
    void presentNoFeed();
    void presentFailure(const QString& reason);
    void present(QMessageBox* box, Outcome outcome);

    QString installedVersion_;
    LinkOpener linkOpener_;
    std::chrono::milliseconds timeout_ = kDefaultTimeout;
    QNetworkAccessManager* network_ = nullptr;
    QTimer scheduledCheck_;
    QDateTime scheduledFor_;

    // The check under way.
    bool checking_ = false;
    bool quiet_ = false;
    QString abortReason_;  // why the fetch was cut short, when it was
    QPointer<QNetworkReply> reply_;
    QTimer replyTimeout_;
    QPointer<QMessageBox> message_;
};

}  // namespace velarium::app
