#pragma once

// A session bus of the test's own: a dbus-daemon started for the test,
// listening in a private folder, killed when the holder goes. Connections
// made with connect() are closed first.

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace velarium::testing {

class PrivateSessionBus {
public:
    PrivateSessionBus() {
        const QString program = QStandardPaths::findExecutable("dbus-daemon");
        if (program.isEmpty()) {
            failure_ = "dbus-daemon is not installed";
            return;
        }
        // --print-address=1 writes the address on the daemon's stdout once it
        // listens; --address keeps its socket in our own folder.
        daemon_.start(program, {"--session", "--nofork", "--print-address=1", "--address=unix:dir=" + folder_.path()});
        if (!daemon_.waitForStarted(5000)) {
            failure_ = "dbus-daemon did not start: " + daemon_.errorString();
            return;
        }
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {}
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) failure_ = "dbus-daemon printed no address";
    }

    ~PrivateSessionBus() {
        for (const QString& name : connections_) QDBusConnection::disconnectFromBus(name);
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }

    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool running() const { return failure_.isEmpty(); }
    QString failure() const { return failure_; }
    QString address() const { return address_; }

    // A new connection to this bus, as another process would have.
    QDBusConnection connect() {
        const QString name = QString("velarium-test-%1-%2").arg(reinterpret_cast<quintptr>(this)).arg(connections_.size());
        connections_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

    // Closes a connection made by connect(), as if its process had ended.
    static void close(const QDBusConnection& connection) { QDBusConnection::disconnectFromBus(connection.name()); }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString failure_;
    QStringList connections_;
};

}  // namespace velarium::testing
