#include "app/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>

#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/ErrorPresentation.h"
#include "app/BW_MediaExtensionTip.h"
#include "app/MenuActions.h"
#include "app/SoftwareUpdater.h"

namespace velarium::app {
namespace {

AppDelegate* sharedDelegate = nullptr;

constexpr int kValidatedTags[] = {50, 51, 52, 54};

}  // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    if (!sharedDelegate) sharedDelegate = this;
    // The first controller created becomes the shared one.
    BW_DocumentController::sharedDocumentController();
    updater_ = SoftwareUpdater::updaterForBundle(this);
}

AppDelegate::~AppDelegate() {
    if (sharedDelegate == this) sharedDelegate = nullptr;
}

AppDelegate* AppDelegate::shared() { return sharedDelegate; }

void AppDelegate::awakeFromNib() { updater_->resetUpdateCycle(); }

void AppDelegate::applicationDidFinishLaunching() { BW_MediaExtensionTip::showIfNeeded(); }

bool AppDelegate::applicationOpenUntitledFile() {
    // The Media Extension tip, when due, comes before the Open dialog.
    BW_MediaExtensionTip::showIfNeeded();
    return BW_DocumentController::sharedDocumentController()->openDocument();
}

bool AppDelegate::validateUserInterfaceItem(const QAction* item) const {
    bool valid = false;
    const int tag = item->property(kTagProperty).toInt(&valid);
    if (!valid) return false;
    for (int known : kValidatedTags)
        if (tag == known) return true;
    return false;
}

void AppDelegate::openCommandLineFiles(const QStringList& paths) {
    auto* controller = BW_DocumentController::sharedDocumentController();
    for (const QString& path : paths) {
        controller->openDocumentWithContentsOfURL(
            QUrl::fromLocalFile(path), true, [this](Document* document, bool, const Error* error) {
                if (error && !isUserCancelled(*error)) {
                    commandLineFileFailed(oneLineMessage(*error));
                    presentError(*error, nullptr);
                }
                if (!document) return;
                connect(document, &Document::playerItemFailed, this,
                        [this, document] { commandLineFileFailed(document->playbackFailureMessage()); });
            });
    }
}

void AppDelegate::commandLineFileFailed(const QString& message) {
    commandLineFailed_ = true;
    std::fprintf(stderr, "velarium: %s\n", qPrintable(message));
}

void AppDelegate::doWebUpdate(QObject* sender) { updater_->checkForUpdates(sender); }

void AppDelegate::showMediaExtensionTip(QObject*) { BW_MediaExtensionTip::showNow(); }

void AppDelegate::showAbout() {
    QMessageBox::about(QApplication::activeWindow(), tr("About Velarium"),
                       tr("<h3>Velarium %1</h3>"
                          "<p>A viewer and player for Amiga IFF ANIM animations: palette, Extra Half-Brite, "
                          "HAM6 and HAM8 pictures, every delta compression, at the speed recorded in the file.</p>")
                           .arg(QApplication::applicationVersion()));
}

}  // namespace velarium::app
