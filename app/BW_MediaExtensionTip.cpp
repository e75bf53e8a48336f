#include "app/BW_MediaExtensionTip.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

#include "app/AppEnvironment.h"
#include "app/SettingsKeys.h"
#include "lha/ui/FileManagerReveal.h"

namespace velarium::app {
namespace {

constexpr const char* kVersionSeparator = ".";
constexpr const char* kVersionWhenMissing = "0";
// The folder name that counts as installed wherever it is (the AppImage habit).
constexpr const char* kApplicationsFolderName = "Applications";

QString& executableFilePathOverride() {
    static QString path;
    return path;
}

std::optional<bool>& installedOverride() {
    static std::optional<bool> installed;
    return installed;
}

QString executableFilePath() {
    const QString& path = executableFilePathOverride();
    return path.isEmpty() ? QCoreApplication::applicationFilePath() : path;
}

// The folder with the home folder written as "~", as a user would say it.
QString withHomeAbbreviated(const QString& folder) {
    const QString home = QDir::cleanPath(QDir::homePath());
    if (folder == home) return QStringLiteral("~");
    if (home != QLatin1String("/") && folder.startsWith(home + '/')) return '~' + folder.mid(home.size());
    return folder;
}

bool runsFromAnInstallPrefix(const QString& binFolder) {
    const QString entry = QStringLiteral("%1/../share/applications/%2.desktop").arg(binFolder, kDesktopFileName);
    return QFileInfo(QDir::cleanPath(entry)).isFile();
}

bool runsFromAnApplicationsFolder(const QString& binFolder) {
    return binFolder.split('/', Qt::SkipEmptyParts).contains(QLatin1String(kApplicationsFolderName));
}

}  // namespace

void BW_MediaExtensionTip::showIfNeeded() {
    const QSettings settings;
    if (settings.value(settings::kMediaExtensionTipSuppressed).toBool()) return;
    if (!settings.contains(settings::kMediaExtensionTipLastShownVersion)) {
        showNow();
        return;
    }
    const QString shown = settings.value(settings::kMediaExtensionTipLastShownVersion).toString();
    if (majorVersionOf(shown) != majorVersionOf(currentVersion())) showNow();
}

void BW_MediaExtensionTip::showNow() {
    const bool installed = isInAnApplicationsFolder();
    const std::unique_ptr<QMessageBox> alert = alertForInstalledApp(installed);
    alert->exec();

    QSettings settings;
    settings.setValue(settings::kMediaExtensionTipLastShownVersion, currentVersion());
    if (alert->checkBox()->isChecked()) settings.setValue(settings::kMediaExtensionTipSuppressed, true);

    QAbstractButton* chosen = alert->clickedButton();
    if (!chosen || alert->buttonRole(chosen) != QMessageBox::AcceptRole) return;
    if (installed) {
        openMediaExtensionSettings();
    } else {
        revealInFileManager(QUrl::fromLocalFile(QFileInfo(executableFilePath()).absoluteFilePath()));
    }
}

std::unique_ptr<QMessageBox> BW_MediaExtensionTip::alertForInstalledApp(bool installed) {
    auto alert = std::make_unique<QMessageBox>();
    alert->setIcon(QMessageBox::Information);
    alert->setWindowTitle(QCoreApplication::applicationName());
    alert->setText(tr("ANIM support for other apps"));
    alert->setInformativeText(installed ? installedMessage() : notInstalledMessage());
    alert->setCheckBox(new QCheckBox(tr("Don’t show this again")));
    alert->addButton(installed ? tr("Open System Settings") : tr("Reveal in Finder"), QMessageBox::AcceptRole);
    QPushButton* notNow = alert->addButton(tr("Not Now"), QMessageBox::RejectRole);
    alert->setDefaultButton(notNow);  // Enter does nothing the user did not ask for
    return alert;
}

QString BW_MediaExtensionTip::installedMessage() {
    return tr("Velarium installs two Media Extensions, so that QuickTime Player, Final Cut Pro, Photos, Compressor and "
              "Quick Look can open Amiga IFF ANIM files directly.\n\n"
              "macOS leaves new media extensions switched off until you approve them. Open System Settings to go "
              "straight to the list, or find it later under System Settings > General > Login Items & Extensions > "
              "Media Extensions.\n\n"
              "Velarium itself opens ANIM files without them.");
}

QString BW_MediaExtensionTip::notInstalledMessage() {
    const QString folder = QFileInfo(executableFilePath()).absolutePath();
    return tr("Velarium is running from %1. macOS only registers its Media Extensions — the ones that let QuickTime "
              "Player, Final Cut Pro, Photos and Quick Look open Amiga IFF ANIM files — when the app lives in an "
              "Applications folder.\n\n"
              "Move Velarium to your Applications folder and launch it again, then turn the extensions on in System "
              "Settings > General > Login Items & Extensions > Media Extensions.\n\n"
              "Velarium itself opens ANIM files from anywhere.")
        .arg(withHomeAbbreviated(QDir::cleanPath(folder)));
}

void BW_MediaExtensionTip::openMediaExtensionSettings() {}

bool BW_MediaExtensionTip::isInAnApplicationsFolder() {
    if (const std::optional<bool> fixed = installedOverride()) return *fixed;
    const QString binFolder = QDir::cleanPath(QFileInfo(executableFilePath()).absolutePath());
    return runsFromAnApplicationsFolder(binFolder) || runsFromAnInstallPrefix(binFolder);
}

QString BW_MediaExtensionTip::currentVersion() {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QString::fromLatin1(kVersionWhenMissing) : version;
}

QString BW_MediaExtensionTip::majorVersionOf(const QString& version) {
    const QString major = version.section(QLatin1String(kVersionSeparator), 0, 0);
    return major.isEmpty() ? version : major;
}

void BW_MediaExtensionTip::setExecutableFilePath(const QString& path) { executableFilePathOverride() = path; }

void BW_MediaExtensionTip::setInstalledOverride(std::optional<bool> installed) { installedOverride() = installed; }

}  // namespace velarium::app
