// Renders the application icon through Qt's own SVG image plugin, the renderer
// Qt-based desktops draw icons with. That renderer knows only SVG Tiny: an
// icon that leans on something outside it (a <pattern> fill, a filter) comes
// out with parts missing, and Qt says so in a warning, which fails the test.
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>

class IconRenderingTest : public QObject {
    Q_OBJECT

private slots:
    void iconRendersWithoutWarnings_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("menu") << 16;
        QTest::newRow("launcher") << 48;
        QTest::newRow("software centre") << 128;
        QTest::newRow("large") << 512;
    }
    void iconRendersWithoutWarnings() {
        QFETCH(int, size);
        if (!QImageReader::supportedImageFormats().contains("svg")) QSKIP("Qt's SVG image plugin is not installed");
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

        QImageReader reader(QStringLiteral(VELARIUM_ICON_FILE));
        reader.setScaledSize(QSize(size, size));
        const QImage icon = reader.read();
        QVERIFY2(!icon.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(icon.size(), QSize(size, size));
    }
};

QTEST_MAIN(IconRenderingTest)
#include "IconRenderingTest.moc"
