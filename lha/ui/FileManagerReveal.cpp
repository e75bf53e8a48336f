#include "lha/ui/FileManagerReveal.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace velarium {
namespace {

constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
constexpr const char* kFileManagerInterface = "org.freedesktop.FileManager1";

bool fileManagerAvailable(const QDBusConnection& bus) {
    const QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    if (!names) return false;
    const QString service = QString::fromLatin1(kFileManagerService);
    // A file manager is usually started by the bus on the first call.
    return names->isServiceRegistered(service).value() || names->activatableServiceNames().value().contains(service);
}

void openContainingFolder(const QUrl& url) {
    const QFileInfo info(url.toLocalFile());
    QDesktopServices::openUrl(info.isDir() ? url : QUrl::fromLocalFile(info.absolutePath()));
}

}  // namespace

void revealInFileManager(const QUrl& url, const QDBusConnection& bus) {
    if (!fileManagerAvailable(bus)) {
        openContainingFolder(url);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kFileManagerService),
                                                       QString::fromLatin1(kFileManagerPath),
                                                       QString::fromLatin1(kFileManagerInterface), QStringLiteral("ShowItems"));
    // The URIs to show, and a start-up notification id (none).
    call << QStringList{url.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [url](QDBusPendingCallWatcher* finished) {
        if (finished->isError()) openContainingFolder(url);
        finished->deleteLater();
    });
}

}  // namespace velarium
