#include "dotgrid.h"
#include "support/testhome.h"

#include <QTest>

class TestDotGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void squares_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QList<QPointF>>("corners");
        QTest::newRow("9 high") << QSizeF(400, 9) << QList<QPointF>{};
        QTest::newRow("9 wide") << QSizeF(9, 400) << QList<QPointF>{};
        QTest::newRow("just over 9") << QSizeF(9.5, 9.5) << QList<QPointF>{{9, 9}};
        QTest::newRow("20 by 10") << QSizeF(20, 10) << QList<QPointF>{{9, 9}};
        QTest::newRow("46 by 28") << QSizeF(46, 28)
                                  << QList<QPointF>{{9, 9}, {27, 9}, {45, 9}, {9, 27}, {27, 27}, {45, 27}};
        QTest::newRow("edge excluded") << QSizeF(27, 27) << QList<QPointF>{{9, 9}};
    }

    void squares()
    {
        QFETCH(QSizeF, size);
        QFETCH(QList<QPointF>, corners);
        QList<QPointF> found;
        for (const QRectF& square : DotGrid::squares(size)) {
            QCOMPARE(square.size(), QSizeF(1, 1));
            found.append(square.topLeft());
        }
        QCOMPARE(found, corners);
    }
};

PORTHIVE_TEST_MAIN(TestDotGrid)
#include "tst_dotgrid.moc"
