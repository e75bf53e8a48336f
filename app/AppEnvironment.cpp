#include "app/AppEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

#include "lha/ui/Translations.h"

namespace velarium::app {
namespace {

// Added after the system's folders: Qt's type database lets the last folder
// that defines a type decide its content rules, and ours add to the system's
// video/x-anim rather than replace it.
void appendDataDir(const QString& dir) {
    QStringList dirs = qEnvironmentVariable("XDG_DATA_DIRS", "/usr/local/share:/usr/share").split(':', Qt::SkipEmptyParts);
    if (dirs.contains(dir)) return;
    dirs.append(dir);
    qputenv("XDG_DATA_DIRS", dirs.join(':').toLocal8Bit());
}

}  // namespace

void prepareProcessEnvironment() {
    const QFileInfo executable(QFile::symLinkTarget("/proc/self/exe"));
    const QString share = QDir::cleanPath(executable.absolutePath() + "/../share");
    if (QFileInfo::exists(share + "/mime/packages")) appendDataDir(share);
}

void describeApplication() {
    QApplication::setOrganizationName(kOrganizationName);
    QApplication::setOrganizationDomain(kOrganizationDomain);
    QApplication::setApplicationName(kApplicationName);
    QApplication::setApplicationVersion(VELARIUM_VERSION);
    QApplication::setDesktopFileName(kDesktopFileName);
}

void configureApplication(QApplication& application) {
    describeApplication();
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral(":/translations/velarium_en.qm"))) application.installTranslator(translator);
    installArchiveImportTranslations(application);
}

}  // namespace velarium::app
