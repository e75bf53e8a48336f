// Showing the extracted folder: through the freedesktop file manager
// service when the session has one, else by opening the folder. Nothing
// real is opened: the service is a stand-in on a private bus, and opening
// goes to a handler of the test's own.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTest>

#include <filesystem>

#include "lha/ui/FileManagerReveal.h"
#include "support/OpenedURLs.h"
#include "support/PrivateSessionBus.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

using namespace velarium::testing;

// Stands in for a file manager on the bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
    QStringList startupIds;
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shown << uris;
        startupIds << startupId;
    }
};

QUrl url(const std::filesystem::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

class LHARevealTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(files_ / "café extracted");
        files_.write("café extracted/notes.txt", std::string("x"));
    }
    TemporaryFolder files_;
    OpenedURLs opened_;
};

// No session bus at all (the GUI tests run without one), or a bus without a
// file manager: a folder is opened itself, a file's folder is opened.
TEST_F(LHARevealTest, WithoutAFileManagerServiceTheFolderIsOpened) {
    PrivateSessionBus bus;
    if (!bus.running()) GTEST_SKIP() << bus.failure().toStdString();
    const QDBusConnection emptyBus = bus.connect();
    struct Case {
        const char* name;
        QDBusConnection connection;
        std::filesystem::path item;
        std::filesystem::path opened;
    };
    const Case cases[] = {
        {"no bus, a folder", QDBusConnection::sessionBus(), files_ / "café extracted", files_ / "café extracted"},
        {"no bus, a file", QDBusConnection::sessionBus(), files_ / "café extracted" / "notes.txt",
         files_ / "café extracted"},
        {"no file manager", emptyBus, files_ / "café extracted", files_ / "café extracted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opened_.urls.clear();
        revealInFileManager(url(c.item), c.connection);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !opened_.urls.isEmpty(); }, 5000));
        EXPECT_EQ(opened_.urls, QList<QUrl>{url(c.opened)});
    }
}

TEST_F(LHARevealTest, WithAFileManagerServiceItShowsTheItem) {
    PrivateSessionBus bus;
    if (!bus.running()) GTEST_SKIP() << bus.failure().toStdString();
    QDBusConnection service = bus.connect();
    FakeFileManager fileManager;
    ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &fileManager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));

    const QUrl folder = url(files_ / "café extracted");
    revealInFileManager(folder, bus.connect());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shown.isEmpty(); }, 5000));
    EXPECT_EQ(fileManager.shown, QStringList{folder.toString(QUrl::FullyEncoded)});
    EXPECT_EQ(fileManager.startupIds, QStringList{QString()});
    QTest::qWait(100);
    EXPECT_TRUE(opened_.urls.isEmpty());
}

}  // namespace
}  // namespace velarium

#include "LHARevealTest.moc"
