// The velarium program run as a user runs it (screenshot mode, a second launch
// handing its file to the running one), and the single instance on its own.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <fstream>
#include <latch>
#include <thread>

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

// Launches meet on a private session bus, each a connection of its own; the
// primary is served by this thread's event loop, which handOff keeps turning.
using namespace velarium::app;
using Role = SingleInstance::Role;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus_.running()) GTEST_SKIP() << bus_.failure().toStdString();
    }
    PrivateSessionBus bus_;
};

TEST_F(SingleInstanceTest, HandOffReachesPrimaryOnItsThreadWithAbsolutePathsEvenWhenItIsBusy) {
    SingleInstance primary, secondary;
    ASSERT_EQ(primary.claim(bus_.connect()), Role::primary);
    ASSERT_EQ(secondary.claim(bus_.connect()), Role::secondary);

    QSignalSpy opened(&primary, &SingleInstance::openFilesRequested);
    QSignalSpy activated(&primary, &SingleInstance::activationRequested);
    QThread* emittingThread = nullptr;
    QObject::connect(&primary, &SingleInstance::openFilesRequested, [&] { emittingThread = QThread::currentThread(); });

    // Relative paths are the secondary's to resolve, in its own working directory.
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(secondary.handOff({"/clips/a b/ü.anim", "clips/one.anim", "./x/../two.anim", "", "/clips//three.anim"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }));
    EXPECT_EQ(opened.at(0).at(0).toStringList(),
              QStringList({"/clips/a b/ü.anim", cwd + "/clips/one.anim", cwd + "/two.anim", "/clips/three.anim"}));
    EXPECT_EQ(emittingThread, qApp->thread());

    // Nothing to open: the primary is asked to come forward instead.
    ASSERT_TRUE(secondary.handOff({}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return activated.count() == 1; }));

    // Relative paths from another client name nothing the primary can tell: dropped.
    QDBusConnection client = bus_.connect();
    QDBusMessage call = QDBusMessage::createMethodCall(kInstanceServiceName, kInstanceObjectPath, kInstanceInterface, "OpenFiles");
    call << QStringList({"relative.anim", "/clips/four.anim"});
    client.asyncCall(call);
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.count() == 2; }));
    EXPECT_EQ(opened.at(1).at(0).toStringList(), QStringList({"/clips/four.anim"}));
    EXPECT_EQ(activated.count(), 1);

    // A slot showing a modal dialog must not make the secondary give up and open the files itself.
    constexpr int timeoutMs = 300;
    QObject::connect(&primary, &SingleInstance::openFilesRequested, [] {
        QEventLoop modal;
        QTimer::singleShot(3 * timeoutMs, &modal, &QEventLoop::quit);
        modal.exec();
    });
    EXPECT_TRUE(secondary.handOff({"/clips/a.anim"}, timeoutMs));
}

TEST_F(SingleInstanceTest, SimultaneousLaunchesYieldExactlyOnePrimary) {
    constexpr int launches = 8;
    std::vector<QDBusConnection> connections;
    for (int i = 0; i < launches; ++i) connections.push_back(bus_.connect());

    std::vector<Role> roles(launches, Role::standalone);
    std::latch start(launches), claimed(launches);
    std::vector<std::thread> threads;
    for (int i = 0; i < launches; ++i)
        threads.emplace_back([&, i] {
            SingleInstance instance;
            start.arrive_and_wait();
            roles[i] = instance.claim(connections[i]);
            claimed.arrive_and_wait();  // nobody lets go of the name before all have tried
        });
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(std::ranges::count(roles, Role::primary), 1);
    EXPECT_EQ(std::ranges::count(roles, Role::secondary), launches - 1);
    // The primary let go of the name when it went.
    EXPECT_FALSE(bus_.connect().interface()->isServiceRegistered(kInstanceServiceName).value());
}

// The test process's session bus is an address where nothing listens.
TEST_F(SingleInstanceTest, WithoutBusEveryLaunchRunsOnItsOwn) {
    SingleInstance sessionless;
    EXPECT_EQ(sessionless.claim(), Role::standalone);
    EXPECT_FALSE(sessionless.handOff({"/clips/a.anim"}));
}

// A primary gone between a launch's claim and its hand-off: the hand-off
// fails, and claiming again makes that launch the primary.
TEST_F(SingleInstanceTest, PrimaryGoneLetsNextLaunchTakeOver) {
    for (const bool connectionCloses : {true, false}) {
        SCOPED_TRACE(connectionCloses ? "primary's connection closed" : "primary object destroyed");
        auto primary = std::make_unique<SingleInstance>();
        const QDBusConnection primaryBus = bus_.connect();
        const QDBusConnection secondaryBus = bus_.connect();
        SingleInstance secondary;
        ASSERT_EQ(primary->claim(primaryBus), Role::primary);
        ASSERT_EQ(secondary.claim(secondaryBus), Role::secondary);

        if (connectionCloses) QDBusConnection::disconnectFromBus(primaryBus.name());
        primary.reset();
        EXPECT_FALSE(secondary.handOff({"/clips/a.anim"}, 2000));
        ASSERT_EQ(secondary.claim(secondaryBus), Role::primary);

        QSignalSpy opened(&secondary, &SingleInstance::openFilesRequested);
        SingleInstance next;
        ASSERT_EQ(next.claim(bus_.connect()), Role::secondary);
        EXPECT_TRUE(next.handOff({"/clips/b.anim"}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return opened.count() == 1; }));
    }
}

}  // namespace
}  // namespace velarium::testing
