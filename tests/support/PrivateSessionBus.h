#pragma once

// A session bus of the test's own: a dbus-daemon listening in a private
// folder, killed (after the connections made with connect()) when the holder goes.

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
        // The daemon prints its address on stdout once it listens.
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
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    bool running() const { return failure_.isEmpty(); }
    QString failure() const { return failure_; }
    QString address() const { return address_; }

    // A new connection to this bus, as another process would have.
    QDBusConnection connect() {
        const QString name = QString("velarium-test-%1-%2").arg(reinterpret_cast<quintptr>(this)).arg(connections_.size());
        connections_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_, failure_;
    QStringList connections_;
};

}  // namespace velarium::testing
