#pragma once

// The tip that tells the user, once per major version, how Velarium's ANIM
// support reaches other applications: installed, the GStreamer plugin serves
// every GStreamer application; run from a build folder or an unpacked copy,
// Velarium has to be installed first. Velarium itself plays ANIM files
// either way.
//
// Its texts keep the original English wording as their translation keys;
// the always-loaded English table (translations/velarium_en.ts) replaces
// them with sentences that are true on this system.

#include <QCoreApplication>
#include <QString>

#include <memory>
#include <optional>

class QMessageBox;

namespace velarium::app {

class BW_MediaExtensionTip {
    Q_DECLARE_TR_FUNCTIONS(velarium::app::BW_MediaExtensionTip)

public:
    BW_MediaExtensionTip() = delete;

    // Shows the tip unless the user suppressed it, or it was already shown
    // in this major version. Main thread only, like everything here.
    static void showIfNeeded();
    // Shows the tip whatever the settings say, stores the version (and the
    // suppression when ticked), then carries out the first button's action
    // when that was chosen.
    static void showNow();

    // The configured alert, not yet shown. Its first button has the accept
    // role, "Not Now" the reject role and is the default.
    static std::unique_ptr<QMessageBox> alertForInstalledApp(bool installed);
    static QString installedMessage();
    // Names the folder that holds the program, the home folder shown as "~".
    static QString notInstalledMessage();

    // No system settings page switches ANIM support on here (the plugin
    // works as soon as it is installed), so this does nothing.
    static void openMediaExtensionSettings();

    // Installed: the program runs from a prefix whose share/applications
    // holds Velarium's desktop entry, or from inside any folder named
    // "Applications".
    static bool isInAnApplicationsFolder();

    // The application's version, "0" when it has none.
    static QString currentVersion();
    // The text before the first "."; the whole version when that is empty.
    static QString majorVersionOf(const QString& version);

    // For tests: where the program runs from (empty: the real one), and a
    // fixed answer to whether it is installed (nullopt: decide from where).
    static void setExecutableFilePath(const QString& path);
    static void setInstalledOverride(std::optional<bool> installed);
};

}  // namespace velarium::app
