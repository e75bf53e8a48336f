#pragma once

#include <QObject>

class QAction;
class QWidget;

namespace velarium::app {

class BW_DocumentController;
class SoftwareUpdater;

// The application's own part in start-up and in the menus it answers for:
// it installs the shared document controller before anything asks for one,
// keeps the software updater, shows the Open dialog instead of an untitled
// document, and enables the menu items it validates by their tags.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Creates the shared document controller, then the updater.
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;
    static AppDelegate* shared();

    // Start-up steps, in this order.
    void awakeFromNib();
    void applicationDidFinishLaunching();
    bool applicationShouldOpenUntitledFile() const { return true; }
    // Shows the Open dialog; true when it opened something, false when the
    // user cancelled it.
    bool applicationOpenUntitledFile();

    // Opens the files named on the command line. Each that cannot be opened,
    // or then cannot be played, prints its reason on standard error, and the
    // application's exit status becomes 1.
    void openCommandLineFiles(const QStringList& paths);
    int exitStatus() const { return commandLineFailed_ ? 1 : 0; }

    // Items with tag 50, 51, 52 or 54 are enabled; every other is not.
    bool validateUserInterfaceItem(const QAction* item) const;
    // Whether the item shows at all: Check for Updates… only with a feed.
    bool showsUserInterfaceItem(const QAction* item) const;

    // Menu actions.
    void doWebUpdate(QObject* sender);
    // Shows the Media Extension tip whatever its settings say.
    void showMediaExtensionTip(QObject* sender);
    // Help ▸ About Velarium, window-modal on `parent` when there is one.
    void showAbout(QWidget* parent = nullptr);

    SoftwareUpdater* updater() const { return updater_; }

private:
    void commandLineFileFailed(const QString& message);

    SoftwareUpdater* updater_ = nullptr;
    bool commandLineFailed_ = false;
};

}  // namespace velarium::app
