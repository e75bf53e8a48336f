#include "app/SingleInstance.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QtDebug>

namespace velarium::app {

// The interface the primary serves at kInstanceObjectPath. Its slots are the
// bus methods; they pass straight on to the SingleInstance that owns them.
class InstanceAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brackwater.Velarium.Application")

public:
    explicit InstanceAdaptor(SingleInstance* owner) : QDBusAbstractAdaptor(owner), owner_(owner) {}

public slots:
    void OpenFiles(const QStringList& paths) { owner_->receiveOpenFiles(paths); }
    void Activate() { owner_->receiveActivate(); }

private:
    SingleInstance* owner_;
};

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) { new InstanceAdaptor(this); }

SingleInstance::~SingleInstance() { release(); }

SingleInstance::Role SingleInstance::claim(const QDBusConnection& bus) {
    if (role_ == Role::primary && bus_.isConnected()) return role_;
    bus_ = bus;
    role_ = Role::standalone;
    if (!bus_.isConnected() || !bus_.interface()) return role_;

    // The object goes up before the name is requested, so that a call sent
    // the moment the name is ours finds something to answer it.
    if (!bus_.registerObject(kInstanceObjectPath, this, QDBusConnection::ExportAdaptors)) {
        qWarning("Velarium: cannot serve %s on the session bus; running on its own", kInstanceObjectPath);
        return role_;
    }
    // Without queueing and without replacement the bus answers "yours" to
    // exactly one of any number of simultaneous requests.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        kInstanceServiceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        role_ = Role::primary;
        return role_;
    }
    bus_.unregisterObject(kInstanceObjectPath);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        role_ = Role::secondary;
    } else {
        qWarning("Velarium: the session bus refused %s (%s); running on its own", kInstanceServiceName,
                 qPrintable(reply.error().message()));
    }
    return role_;
}

bool SingleInstance::handOff(const QStringList& paths, int timeoutMs) {
    if (role_ != Role::secondary || !bus_.isConnected()) return false;

    const QStringList absolute = absolutePaths(paths, QDir::currentPath());
    QDBusMessage call = QDBusMessage::createMethodCall(kInstanceServiceName, kInstanceObjectPath, kInstanceInterface,
                                                       absolute.isEmpty() ? "Activate" : "OpenFiles");
    if (!absolute.isEmpty()) call << absolute;
    // Only a running primary may take the files; the bus must not start one.
    call.setAutoStartService(false);

    // BlockWithGui turns this thread's event loop while waiting, so a primary
    // served by the same thread (another connection in this process) can
    // answer instead of deadlocking against us.
    const QDBusMessage reply = bus_.call(call, QDBus::BlockWithGui, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    qWarning("Velarium: the running instance did not take the files (%s)", qPrintable(reply.errorMessage()));
    return false;
}

QStringList SingleInstance::absolutePaths(const QStringList& paths, const QString& workingDirectory) {
    const QDir base(workingDirectory);
    QStringList absolute;
    absolute.reserve(paths.size());
    for (const QString& path : paths)
        if (!path.isEmpty()) absolute << QDir::cleanPath(base.absoluteFilePath(path));
    return absolute;
}

void SingleInstance::receiveOpenFiles(const QStringList& paths) {
    // The primary's working directory is not the sender's, so a relative
    // path would name the wrong file here.
    QStringList absolute;
    for (const QString& path : paths) {
        if (QDir::isAbsolutePath(path)) absolute << QDir::cleanPath(path);
        else qWarning("Velarium: ignoring relative path %s from another launch", qPrintable(path));
    }
    if (absolute.isEmpty()) {
        receiveActivate();
        return;
    }
    // Queued, so the caller gets its answer before any slot runs.
    QMetaObject::invokeMethod(this, [this, absolute] { emit openFilesRequested(absolute); }, Qt::QueuedConnection);
}

void SingleInstance::receiveActivate() {
    QMetaObject::invokeMethod(this, [this] { emit activationRequested(); }, Qt::QueuedConnection);
}

void SingleInstance::release() {
    if (role_ != Role::primary || !bus_.isConnected()) return;
    bus_.unregisterObject(kInstanceObjectPath);
    bus_.interface()->unregisterService(kInstanceServiceName);
    role_ = Role::standalone;
}

}  // namespace velarium::app

#include "SingleInstance.moc"
