#include "app/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>

#include "app/AppEnvironment.h"
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
constexpr int kAboutIconSize = 64;
// The project's home, as the AppStream metadata names it.
constexpr const char* kProjectHomepage = "https://brackwater.com/velarium";

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

bool AppDelegate::showsUserInterfaceItem(const QAction* item) const {
    // A distribution's package is updated by the distribution: without a
    // feed of our own there is nothing to check.
    if (item->property(kTagProperty).toInt() == kCheckForUpdatesTag) return SoftwareUpdater::hasConfiguredFeed();
    return true;
}

void AppDelegate::showAbout(QWidget* parent) {
    QMessageBox about(parent);
    about.setWindowTitle(tr("About Velarium"));
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(kDesktopFileName));
    if (!icon.isNull()) about.setIconPixmap(icon.pixmap(kAboutIconSize));
    about.setTextFormat(Qt::RichText);
    about.setText(tr("<h3>Velarium %1</h3>"
                     "<p>A viewer and player for Amiga IFF ANIM animations: palette, Extra Half-Brite, "
                     "HAM6 and HAM8 pictures, every delta compression, at the speed recorded in the file.</p>"
                     "<p>Released under the MIT licence.</p>"
                     "<p>Built on Qt, lhasa, GStreamer and libpng; the exporter also uses libwebp, giflib, "
                     "Leptonica and libdeflate.</p>"
                     "<p><a href=\"%2\">%2</a></p>")
                      .arg(QApplication::applicationVersion().toHtmlEscaped(), QString::fromLatin1(kProjectHomepage)));
    about.setTextInteractionFlags(Qt::TextBrowserInteraction);
    about.setStandardButtons(QMessageBox::Ok);
    about.exec();
}

}  // namespace velarium::app
