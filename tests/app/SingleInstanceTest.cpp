// One instance per session: launches meet on a private session bus, each a
// connection of its own. The primary is served by this thread's event loop,
// which handOff keeps turning while it waits.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <latch>
#include <thread>

#include "app/SingleInstance.h"
#include "support/PrivateSessionBus.h"

namespace velarium::app {
namespace {

using Role = SingleInstance::Role;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus_.running()) GTEST_SKIP() << bus_.failure().toStdString();
    }
    testing::PrivateSessionBus bus_;
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
}  // namespace velarium::app
