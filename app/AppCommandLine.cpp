#include "app/AppCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include "app/AppEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velarium::app {
namespace {

[[noreturn]] void usageError(const QString& message) {
    std::fprintf(stderr, "velarium: %s\n", qPrintable(message));
    std::exit(2);
}

}  // namespace

AppCommandLine parseCommandLine(const QCoreApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "velarium", "Views and plays Amiga IFF ANIM animations. Files given to a second launch open in the "
                    "running instance."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QCoreApplication::translate("velarium", "ANIM files to open."),
                                 QStringLiteral("[FILE…]"));
    const QCommandLineOption zoom(QStringLiteral("zoom"),
                                  QCoreApplication::translate("velarium", "First window's zoom: an integer or 'fit'."),
                                  QStringLiteral("N|fit"));
    const QCommandLineOption aspect(
        QStringLiteral("aspect"), QCoreApplication::translate("velarium", "Correct the pixel aspect: on or off."),
        QStringLiteral("on|off"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QCoreApplication::translate("velarium", "Open the first FILE, grab its window into OUT.png and exit."),
        QStringLiteral("OUT.png"));
    const QCommandLineOption frame(
        QStringLiteral("frame"),
        QCoreApplication::translate("velarium", "Frame to grab, counted from 0, or 'middle' (default 0)."),
        QStringLiteral("N|middle"));
    const QCommandLineOption infoScreenshot(
        QStringLiteral("info-screenshot"),
        QCoreApplication::translate("velarium", "With --screenshot, also grab the info panel into INFO.png."),
        QStringLiteral("INFO.png"));
    parser.addOptions({zoom, aspect, screenshot, frame, infoScreenshot});
    parser.process(application);

    AppCommandLine line;
    for (const QString& file : parser.positionalArguments()) line.files.append(QFileInfo(file).absoluteFilePath());

    if (parser.isSet(zoom)) {
        line.viewOptionsGiven = true;
        const QString value = parser.value(zoom);
        bool ok = false;
        const int n = value.toInt(&ok);
        if (value == QLatin1String("fit"))
            line.viewOptions.fitToWindow = true;
        else if (ok && n >= 1 && n <= 64)
            line.viewOptions.zoom = n;
        else
            usageError(QStringLiteral("--zoom takes an integer from 1 to 64 or 'fit', not '%1'").arg(value));
    }
    if (parser.isSet(aspect)) {
        line.viewOptionsGiven = true;
        const QString value = parser.value(aspect);
        if (value != QLatin1String("on") && value != QLatin1String("off"))
            usageError(QStringLiteral("--aspect takes 'on' or 'off', not '%1'").arg(value));
        line.viewOptions.correctPixelAspect = value == QLatin1String("on");
    }
    if (parser.isSet(frame)) {
        const QString value = parser.value(frame);
        bool ok = false;
        const quint64 n = value.toULongLong(&ok);
        if (value == QLatin1String("middle"))
            line.middleFrame = true;
        else if (ok)
            line.frame = n;
        else
            usageError(QStringLiteral("--frame takes a frame number counted from 0 or 'middle', not '%1'").arg(value));
    }
    line.screenshotPath = parser.value(screenshot);
    line.infoScreenshotPath = parser.value(infoScreenshot);
    if (!line.screenshotMode() && (parser.isSet(frame) || parser.isSet(infoScreenshot)))
        usageError(QStringLiteral("--frame and --info-screenshot need --screenshot"));
    if (line.screenshotMode() && line.files.isEmpty()) usageError(QStringLiteral("--screenshot needs a FILE"));
    return line;
}

void answerHelpOrVersion(int argc, char** argv) {
    bool asked = false;
    for (int i = 1; i < argc && !asked && std::strcmp(argv[i], "--") != 0; ++i)
        for (const char* option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            asked = asked || std::strcmp(argv[i], option) == 0;
    if (!asked) return;
    QCoreApplication application(argc, argv);
    describeApplication();
    parseCommandLine(application);  // prints and exits
}

}  // namespace velarium::app
