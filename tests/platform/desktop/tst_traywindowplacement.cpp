#include "platform/desktop/traywindowplacement.h"
#include "platform/storage/licensesfile.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTrayWindowPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
    void displayPixelsToScreenCoordinates_data();
    void displayPixelsToScreenCoordinates();
    void licensesFile();
};

void TestTrayWindowPlacement::placement_data()
{
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("position");

    const QRect screen(0, 24, 1280, 776); // a 24-pixel panel along the top
    const QSize window(400, 300);
    QTest::newRow("under an icon in the middle") << QRect(600, 1, 22, 22) << window << screen << QPoint(411, 24);
    QTest::newRow("icon at the right edge") << QRect(1257, 1, 22, 22) << window << screen << QPoint(880, 24);
    QTest::newRow("icon at the left edge") << QRect(2, 1, 22, 22) << window << screen << QPoint(0, 24);
    QTest::newRow("pointer in the panel") << QRect(700, 10, 1, 1) << window << screen << QPoint(500, 24);
    QTest::newRow("pointer below the panel") << QRect(700, 100, 1, 1) << window << screen << QPoint(500, 101);

    const QRect aboveBottomPanel(0, 0, 1280, 770); // a 30-pixel panel along the bottom
    QTest::newRow("icon in a bottom panel")
        << QRect(1200, 774, 22, 22) << window << aboveBottomPanel << QPoint(880, 470);
    QTest::newRow("pointer in the lower half")
        << QRect(300, 500, 1, 1) << window << aboveBottomPanel << QPoint(100, 200);
    QTest::newRow("taller than the screen") << QRect(600, 1, 22, 22) << QSize(400, 900) << screen << QPoint(411, 24);
    QTest::newRow("second screen to the right")
        << QRect(2500, 2, 20, 20) << window << QRect(1280, 28, 1920, 1052) << QPoint(2310, 28);
    QTest::newRow("left-hand panel") << QRect(4, 400, 24, 24) << window << QRect(32, 0, 1248, 800)
                                     << QPoint(32, 400 - 300);
}

void TestTrayWindowPlacement::placement()
{
    QFETCH(QRect, anchor);
    QFETCH(QSize, window);
    QFETCH(QRect, available);
    QFETCH(QPoint, position);
    QCOMPARE(dropDownWindowPosition(anchor, window, available), position);
}

void TestTrayWindowPlacement::displayPixelsToScreenCoordinates_data()
{
    using Screens = QList<ScreenScale>;
    QTest::addColumn<QRect>("native");
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<QRect>("logical");

    const Screens single{{QRect(0, 0, 1280, 800), 1.0}};
    QTest::newRow("unscaled") << QRect(1257, 1, 22, 22) << single << QRect(1257, 1, 22, 22);
    QTest::newRow("a click point") << QRect(640, 12, 1, 1) << single << QRect(640, 12, 1, 1);
    const Screens doubled{{QRect(0, 0, 1280, 800), 2.0}};
    QTest::newRow("scaled twice") << QRect(2514, 2, 44, 44) << doubled << QRect(1257, 1, 22, 22);
    QTest::newRow("a click point stays a point") << QRect(1281, 25, 1, 1) << doubled << QRect(641, 13, 1, 1);
    // A second screen to the right keeps its left edge: 1280 in both.
    const Screens pair{{QRect(0, 0, 1280, 800), 1.0}, {QRect(1280, 0, 960, 540), 2.0}};
    QTest::newRow("on the scaled second screen") << QRect(3000, 10, 40, 40) << pair << QRect(2140, 5, 20, 20);
    QTest::newRow("on the first of two") << QRect(100, 10, 24, 24) << pair << QRect(100, 10, 24, 24);
    QTest::newRow("on no screen") << QRect(5000, 10, 24, 24) << doubled << QRect(2500, 5, 12, 12);
    QTest::newRow("no screens") << QRect(300, 10, 0, 0) << Screens{} << QRect(300, 10, 1, 1);
}

void TestTrayWindowPlacement::displayPixelsToScreenCoordinates()
{
    QFETCH(QRect, native);
    QFETCH(QList<ScreenScale>, screens);
    QFETCH(QRect, logical);
    QCOMPARE(logicalScreenRect(native, screens), logical);
}

void TestTrayWindowPlacement::licensesFile()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // Nothing in the data folders either.
    qputenv("XDG_DATA_HOME", root.filePath(u"data-home"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", root.filePath(u"data-dirs"_s).toUtf8());
    const QString bin = root.filePath(u"prefix/bin"_s);
    QVERIFY(QDir().mkpath(bin));
    QCOMPARE(locateLicensesFile(bin), QString());

    const auto touch = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("# notices\n") > 0;
    };
    // Beside the program, as in the build tree.
    QVERIFY(touch(bin + u"/LICENSES.md"_s));
    QCOMPARE(locateLicensesFile(bin), QFileInfo(bin + u"/LICENSES.md"_s).canonicalFilePath());
    // In a data folder.
    QVERIFY(touch(root.filePath(u"data-dirs/porthive/LICENSES.md"_s)));
    QCOMPARE(locateLicensesFile(bin),
             QFileInfo(root.filePath(u"data-dirs/porthive/LICENSES.md"_s)).canonicalFilePath());
    // Installed beside the program's prefix, which comes first.
    QVERIFY(touch(root.filePath(u"prefix/share/porthive/LICENSES.md"_s)));
    QCOMPARE(locateLicensesFile(bin),
             QFileInfo(root.filePath(u"prefix/share/porthive/LICENSES.md"_s)).canonicalFilePath());
}

PORTHIVE_TEST_MAIN(TestTrayWindowPlacement)
#include "tst_traywindowplacement.moc"
