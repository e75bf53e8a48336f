#include <QApplication>
#include <QUrl>

#include "app/AppCommandLine.h"
#include "app/AppDelegate.h"
#include "app/AppEnvironment.h"
#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/DocumentWindow.h"
#include "app/ScreenshotMode.h"
#include "app/SingleInstance.h"
#include "lha/ui/BW_LHAExtractor.h"
#include "platform/mediaextension/Registration.h"

using namespace velarium::app;

namespace {

void openFiles(const QStringList& paths) {
    for (const QString& path : paths) BW_DocumentController::sharedDocumentController()->openURL(QUrl::fromLocalFile(path));
}

void bringDocumentsForward() {
    for (Document* document : BW_DocumentController::sharedDocumentController()->documents()) document->showWindows();
}

}  // namespace

int main(int argc, char** argv) {
    answerHelpOrVersion(argc, argv);

    // The embedded format reader and video decoder become usable in this
    // process before anything can open a document. When they cannot be
    // loaded the application still starts; each document then reports it.
    velarium::registerFormatReaders();
    velarium::registerVideoDecoders();
    prepareProcessEnvironment();

    QApplication application(argc, argv);
    configureApplication(application);
    const AppCommandLine commandLine = parseCommandLine(application);

    AppDelegate delegate;
    delegate.awakeFromNib();
    if (commandLine.screenshotMode()) return runScreenshotMode(commandLine);

    // One instance per session: a second launch hands its files to the first.
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Role::secondary) {
        if (instance.handOff(commandLine.files)) return 0;
        instance.claim();  // the running instance went away: take over, or run on our own
    }
    QObject::connect(&instance, &SingleInstance::openFilesRequested, &application, &openFiles);
    QObject::connect(&instance, &SingleInstance::activationRequested, &application, &bringDocumentsForward);

    delegate.applicationDidFinishLaunching();
    auto* controller = BW_DocumentController::sharedDocumentController();
    if (commandLine.viewOptionsGiven) controller->setViewOptionsForNextWindow(commandLine.viewOptions);
    if (commandLine.files.isEmpty()) {
        if (delegate.applicationShouldOpenUntitledFile()) delegate.applicationOpenUntitledFile();
    } else {
        delegate.openCommandLineFiles(commandLine.files);
    }
    // Nothing to show: the Open dialog was cancelled, or no file opened. An
    // archive waiting for extraction keeps the application running until its
    // workflow has ended. A file on the command line that failed makes the
    // exit status 1.
    if (controller->documents().isEmpty() && !velarium::BW_LHAExtractor::isBusy()) return delegate.exitStatus();
    const int status = QApplication::exec();
    return status != 0 ? status : delegate.exitStatus();
}
