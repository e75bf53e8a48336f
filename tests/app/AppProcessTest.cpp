// The velarium program itself, run as a user runs it: screenshot mode, and a
// second launch handing its file to the running instance.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

#include "support/GuiTestSupport.h"
#include "support/PrivateSessionBus.h"
#include "app/SingleInstance.h"
#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/Hashing.h"

namespace velarium::testing {
namespace {

struct ProcessRun {
    int exitCode = -1;
    QString standardError;
};

ProcessRun runVelarium(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                const QString& workingDirectory = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
    process.start(VELARIUM_APP_PATH, arguments);
    // Waiting keeps this thread's event loop turning, which a primary
    // instance served by this process needs.
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
    }
    ProcessRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    // The offscreen platform reports the window calls it ignores; only our
    // own lines count.
    for (const QString& line : QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts))
        if (line.startsWith(QLatin1String("velarium:"))) run.standardError += line + '\n';
    return run;
}

// Frame `index` as the decoding core makes it, as an image.
QImage decodedFrame(const QString& path, std::uint64_t index) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    ANIMParser parser(makeSharedBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size()));
    if (!parser.parseWithError(nullptr)) return {};
    SharedMutableBytes frame = parser.decodeFrameAtIndex(index, nullptr);
    QImage image(static_cast<int>(parser.width()), static_cast<int>(parser.height()), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), frame->data() + static_cast<std::size_t>(y) * image.width() * 4,
                    static_cast<std::size_t>(image.width()) * 4);
    return image;
}

// Where `picture` appears unscaled inside `screenshot`, if it does.
std::optional<QPoint> findUnscaled(const QImage& screenshot, const QImage& picture) {
    const QImage shot = screenshot.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y + picture.height() <= shot.height(); ++y)
        for (int x = 0; x + picture.width() <= shot.width(); ++x)
            if (shot.copy(x, y, picture.width(), picture.height()) == picture) return QPoint(x, y);
    return std::nullopt;
}

class AppProcessTest : public ::testing::Test {
protected:
    QTemporaryDir out_{QDir::tempPath() + "/screenshots-XXXXXX"};
    QString outPath(const QString& name) const { return out_.filePath(name); }
};

TEST_F(AppProcessTest, ScreenshotAtActualSizeShowsTheFrameUnscaled) {
    const ProcessRun run = runVelarium({"--screenshot", outPath("window.png"), "--info-screenshot", outPath("info.png"),
                                 "--frame", "12", "--zoom", "1", "--aspect", "off", VELARIUM_DEMO_FILE});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    const QImage window(outPath("window.png"));
    const QImage expected = decodedFrame(VELARIUM_DEMO_FILE, 12);
    ASSERT_FALSE(expected.isNull());
    EXPECT_TRUE(findUnscaled(window, expected).has_value());
    EXPECT_FALSE(findUnscaled(window, decodedFrame(VELARIUM_DEMO_FILE, 11)).has_value());
    const QImage info(outPath("info.png"));
    EXPECT_GT(info.width(), 100);
    EXPECT_GT(info.height(), 100);
}

TEST_F(AppProcessTest, ScreenshotOfACorpusFrameMatchesItsExpectedHash) {
    if (!haveCorpus()) GTEST_SKIP() << "corpus not present";
    const auto file = corpusDir() / "anim/generated/mm_op5_ehb_320x200.anim";
    const auto hashes = readLines(corpusDir() / "anim/expected/mm_op5_ehb_320x200.anim.sha256");
    const std::uint64_t frame = hashes.size() / 2;
    const QString path = QString::fromStdString(file.string());
    const ProcessRun run = runVelarium({"--screenshot", outPath("ehb.png"), "--frame", QString::number(frame), "--zoom", "1",
                                 "--aspect", "off", path});
    ASSERT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    const QImage expected = decodedFrame(path, frame);
    const auto at = findUnscaled(QImage(outPath("ehb.png")), expected);
    ASSERT_TRUE(at.has_value());
    const QImage shown = QImage(outPath("ehb.png")).copy(QRect(*at, expected.size()));
    EXPECT_EQ(sha256Hex(packedBGRA(shown)), hashes[frame].substr(0, 64));
}

TEST_F(AppProcessTest, ScreenshotFailuresAreOneLineAndStatusOne) {
    const QString garbage = outPath("garbage.anim");
    QFile file(garbage);
    file.open(QIODevice::WriteOnly);
    file.write(QByteArray(4096, 'x'));
    file.close();
    struct Case {
        QStringList arguments;
        const char* mentions;
    } cases[] = {
        {{"--frame", "36", VELARIUM_DEMO_FILE}, "out of range"},
        {{outPath("missing.anim")}, "no such file"},
        {{garbage}, ""},
        {{out_.path()}, "cannot open files of this type"},
    };
    for (const Case& c : cases) {
        const ProcessRun run = runVelarium(QStringList{"--screenshot", outPath("never.png")} + c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.toStdString();
        EXPECT_TRUE(run.standardError.contains(QLatin1String(c.mentions))) << run.standardError.toStdString();
        EXPECT_FALSE(QFile::exists(outPath("never.png")));
    }
}

TEST_F(AppProcessTest, MalformedArgumentsAreRefused) {
    for (const QStringList& arguments : {QStringList{"--zoom", "0", VELARIUM_DEMO_FILE},
                                         QStringList{"--aspect", "maybe", VELARIUM_DEMO_FILE},
                                         QStringList{"--frame", "3", VELARIUM_DEMO_FILE},
                                         QStringList{"--screenshot", outPath("x.png")}}) {
        const ProcessRun run = runVelarium(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.standardError.count('\n'), 1) << run.standardError.toStdString();
    }
}

// On a terminal with no display (a server reached over SSH), asking for
// help or the version still answers instead of failing to find a screen.
TEST_F(AppProcessTest, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    for (const auto& [argument, expected] : {std::pair{"--version", "Velarium "}, std::pair{"--help", "Usage:"}}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(VELARIUM_APP_PATH, {QString::fromLatin1(argument)});
        ASSERT_TRUE(process.waitForFinished(30000)) << argument;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << argument;
        EXPECT_EQ(process.exitCode(), 0) << argument;
        EXPECT_TRUE(process.readAllStandardOutput().contains(expected)) << argument;
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

TEST_F(HandOffTest, SecondLaunchHandsItsFileToTheRunningInstance) {
    QSignalSpy opened(&primary_, &app::SingleInstance::openFilesRequested);
    const QFileInfo demo(VELARIUM_DEMO_FILE);
    const ProcessRun run = runVelarium({demo.fileName()}, environment_, demo.absolutePath());
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    ASSERT_TRUE(opened.count() > 0 || opened.wait(5000));
    EXPECT_EQ(opened.first().first().toStringList(), QStringList{demo.absoluteFilePath()});
}

TEST_F(HandOffTest, ScreenshotModeNeverHandsOff) {
    QSignalSpy opened(&primary_, &app::SingleInstance::openFilesRequested);
    const ProcessRun run = runVelarium({"--screenshot", outPath("own.png"), VELARIUM_DEMO_FILE}, environment_);
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    EXPECT_TRUE(QFile::exists(outPath("own.png")));
    QTest::qWait(100);
    EXPECT_EQ(opened.count(), 0);
}

}  // namespace
}  // namespace velarium::testing
