#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "app/ViewOptions.h"

class QCoreApplication;

namespace velarium::app {

// What `velarium` was asked to do on its command line.
struct AppCommandLine {
    QStringList files;  // absolute paths
    ViewOptions viewOptions;
    bool viewOptionsGiven = false;
    // Screenshot mode: write the first file's window (and info panel) as PNG.
    QString screenshotPath;
    QString infoScreenshotPath;
    // The frame to show: an index counted from 0, or the middle frame.
    std::optional<quint64> frame;
    bool middleFrame = false;

    bool screenshotMode() const { return !screenshotPath.isEmpty(); }
};

// Parses the application's arguments. --help and --version print and exit;
// a malformed argument prints one line on stderr and exits with status 2.
AppCommandLine parseCommandLine(const QCoreApplication& application);

// Before any application object exists: when the arguments ask only for
// help or the version, prints it and exits, without needing a display (the
// window system is not touched). Returns otherwise.
void answerHelpOrVersion(int argc, char** argv);

}  // namespace velarium::app
