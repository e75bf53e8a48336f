// The velarium program itself, run as a user runs it: screenshot mode, and a
// second launch handing its file to the running instance.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>

#include <fstream>

#include "DocumentTestSupport.h"
#include "support/PrivateSessionBus.h"
#include "app/SingleInstance.h"

namespace velarium::testing {
namespace {

struct ProcessRun {
    int exitCode = -1;  // also when it crashed or hung
    QString standardError, standardOutput;
};

ProcessRun runVelarium(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                       const QString& workingDirectory = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(VELARIUM_APP_PATH, arguments);
    // The event loop turns while waiting, for a primary instance served here.
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
    }
    ProcessRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.standardOutput = QString::fromUtf8(process.readAllStandardOutput());
    // Only our own lines: the offscreen platform adds its own.
    for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts))
        if (line.startsWith(QLatin1String("velarium:"))) run.standardError += line + '\n';
    return run;
}

// `picture` appears unscaled somewhere inside `screenshot`.
bool showsUnscaled(const QImage& screenshot, const QImage& picture) {
    const QImage shot = screenshot.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y + picture.height() <= shot.height(); ++y)
        for (int x = 0; x + picture.width() <= shot.width(); ++x)
            if (shot.copy(x, y, picture.width(), picture.height()) == picture) return true;
    return false;
}

class AppProcessTest : public ::testing::Test {
protected:
    QTemporaryDir out_{QDir::tempPath() + "/screenshots-XXXXXX"};
    QString outPath(const QString& name) const { return out_.filePath(name); }
};

// A screenshot at Actual Size shows the frame unscaled. One that cannot be
// made says why in one line and exits 1; nonsense arguments exit 2.
TEST_F(AppProcessTest, ScreenshotShowsTheFrameUnscaledOrFailsInOneLine) {
    const ProcessRun shot = runVelarium({"--screenshot", outPath("window.png"), "--info-screenshot", outPath("info.png"),
                                         "--frame", "12", "--zoom", "1", "--aspect", "off", VELARIUM_DEMO_FILE});
    ASSERT_EQ(shot.exitCode, 0) << shot.standardError.toStdString();
    ASSERT_EQ(demoFrames().size(), 36u);
    EXPECT_TRUE(showsUnscaled(QImage(outPath("window.png")), demoFrames()[12]));
    EXPECT_FALSE(showsUnscaled(QImage(outPath("window.png")), demoFrames()[11]));
    const QImage info(outPath("info.png"));
    EXPECT_GT(std::min(info.width(), info.height()), 100) << "the information panel's screenshot";

    const QString garbage = outPath("garbage.anim");
    std::ofstream(garbage.toStdString()) << std::string(4096, 'x');
    const QStringList screenshot = {"--screenshot", outPath("never.png")};
    const struct {
        QStringList arguments;
        int status;
        const char* mentions;
    } cases[] = {
        {screenshot + QStringList{"--frame", "36", VELARIUM_DEMO_FILE}, 1, "out of range"},
        {screenshot + QStringList{outPath("missing.anim")}, 1, "no such file"},
        {screenshot + QStringList{garbage}, 1, ""},
        {screenshot + QStringList{out_.path()}, 1, "This is a folder, not an animation."},
        {{"--zoom", "0", VELARIUM_DEMO_FILE}, 2, ""}, {{"--aspect", "maybe", VELARIUM_DEMO_FILE}, 2, ""},
        {{"--frame", "3", VELARIUM_DEMO_FILE}, 2, ""}, {screenshot, 2, ""},
    };
    for (const auto& c : cases) {
        const ProcessRun run = runVelarium(c.arguments);
        EXPECT_EQ(run.exitCode, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.toStdString();
        EXPECT_TRUE(run.standardError.contains(QLatin1String(c.mentions))) << run.standardError.toStdString();
        EXPECT_FALSE(QFile::exists(outPath("never.png")));
    }
}

// Help and the version answer without a display (over SSH, say).
TEST_F(AppProcessTest, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    for (const auto& [argument, expected] : {std::pair{"--version", "Velarium "}, std::pair{"--help", "Usage:"}}) {
        const ProcessRun run = runVelarium({argument}, environment);
        EXPECT_EQ(run.exitCode, 0) << argument;
        EXPECT_TRUE(run.standardOutput.contains(expected)) << argument;
    }
}

class HandOffTest : public AppProcessTest {
protected:
    void SetUp() override {
        if (!bus_.running()) GTEST_SKIP() << bus_.failure().toStdString();
        ASSERT_EQ(primary_.claim(bus_.connect()), app::SingleInstance::Role::primary);
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
    }
    PrivateSessionBus bus_;
    app::SingleInstance primary_;
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
};

TEST_F(HandOffTest, SecondLaunchHandsItsFileToTheRunningInstanceExceptForAScreenshot) {
    QSignalSpy opened(&primary_, &app::SingleInstance::openFilesRequested);
    ProcessRun run = runVelarium({"--screenshot", outPath("own.png"), VELARIUM_DEMO_FILE}, environment_);
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(QFile::exists(outPath("own.png")));
    QTest::qWait(100);
    EXPECT_EQ(opened.count(), 0);

    const QFileInfo demo(VELARIUM_DEMO_FILE);
    run = runVelarium({demo.fileName()}, environment_, demo.absolutePath());
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    ASSERT_TRUE(opened.count() > 0 || opened.wait(5000));
    EXPECT_EQ(opened.first().first().toStringList(), QStringList{demo.absoluteFilePath()});
}

}  // namespace
}  // namespace velarium::testing
