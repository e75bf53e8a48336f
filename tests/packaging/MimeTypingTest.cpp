// How Qt's QMimeDatabase types files with the build tree's MIME package after
// the system database (XDG_DATA_DIRS=/usr/share:<build>/share, as the app and
// its tests arrange: the last folder defining a type decides its content
// rules). That database holds only our package, so these cases also check
// that Qt merges it with the system's rather than one hiding the other.
#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QTemporaryDir>
#include <QTest>

class MimeTypingTest : public QObject {
    Q_OBJECT

private slots:
    void fileNamesAreTypedByTheirGlobs_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("anim") << "walk.anim" << "video/x-anim";
        QTest::newRow("anim in capitals") << "WALK.ANIM" << "video/x-anim";
        QTest::newRow("numbered anim from the system") << "walk.anim5" << "video/x-anim";
        QTest::newRow("ilbm picture") << "picture.iff" << "image/x-ilbm";
        QTest::newRow("lha") << "pack.lha" << "application/x-lha";
        QTest::newRow("lzh in capitals") << "PACK.LZH" << "application/x-lha";
    }
    void fileNamesAreTypedByTheirGlobs() {
        QFETCH(QString, fileName);
        QFETCH(QString, expected);
        QCOMPARE(QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name(), expected);
    }

    void animIsAKindOfIff() {
        const QMimeType anim = QMimeDatabase().mimeTypeForName(QStringLiteral("video/x-anim"));
        QVERIFY(anim.isValid());
        QVERIFY(anim.inherits(QStringLiteral("application/x-iff")));
    }

    // A copy of an ANIM file with no name to go by is typed by its FORM…ANIM content.
    void extensionlessAnimIsTypedByContent() {
        QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("WALK"));
        QVERIFY(QFile::copy(QStringLiteral(VELARIUM_DEMO_FILE), copy));
        QCOMPARE(QMimeDatabase().mimeTypeForFile(copy).name(), QStringLiteral("video/x-anim"));
    }

    void lzhAliasNamesTheLhaType() {
        QCOMPARE(QMimeDatabase().mimeTypeForName(QStringLiteral("application/x-lzh-compressed")).name(),
                 QStringLiteral("application/x-lha"));
    }
};

QTEST_GUILESS_MAIN(MimeTypingTest)
#include "MimeTypingTest.moc"
