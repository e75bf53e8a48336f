#include "lha/ui/FileManagerReveal.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>

#include "lha/ui/PlainTextAlert.h"
#include "platform/foundation/EscapedText.h"

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

// Says where the folder is when nothing could show it, so that the user can
// go there another way.
void tellNoFileManager(const QString& folder) {
    QMessageBox alert(QMessageBox::Information, QCoreApplication::applicationName(),
                      QCoreApplication::translate("velarium::FileManagerReveal", "No file manager could be started."));
    alert.setInformativeText(
        QCoreApplication::translate("velarium::FileManagerReveal", "The folder is “%1”.")
            .arg(QString::fromStdString(escapedText(folder.toStdString()))));
    showTextsPlainly(alert);
    alert.setWindowModality(Qt::ApplicationModal);
    alert.exec();
}

void openContainingFolder(const QUrl& url) {
    const QFileInfo info(url.toLocalFile());
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) tellNoFileManager(folder);
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
