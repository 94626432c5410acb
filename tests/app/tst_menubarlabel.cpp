#include "app/menubarlabel.h"
#include "app/statusicon.h"
#include "support/testhome.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMenuBarLabel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void label_data();
    void label();
    void iconAtEverySizeAndRatio_data();
    void iconAtEverySizeAndRatio();
    void iconShowsTheLabel();
    void boltLiesAsInTheWindow_data();
    void boltLiesAsInTheWindow();
};

void TestMenuBarLabel::label_data()
{
    QTest::addColumn<RefreshState>("state");
    QTest::addColumn<int>("running");
    QTest::addColumn<MenuBarLabel>("label");
    const QString filled = u"bolt.horizontal.fill"_s;
    const QString outline = u"bolt.horizontal"_s;
    const QString failed = u"bolt.trianglebadge.exclamationmark.fill"_s;
    QTest::newRow("idle, nothing running")
        << RefreshState::idle() << 0 << MenuBarLabel{outline, {}, u"Porthive — 0 active"_s};
    QTest::newRow("idle, three running") << RefreshState::idle() << 3
                                         << MenuBarLabel{filled, u"3"_s, u"Porthive — 3 active"_s};
    QTest::newRow("refreshing, one running")
        << RefreshState::refreshing() << 1 << MenuBarLabel{filled, u"1"_s, u"Porthive — 1 active"_s};
    QTest::newRow("refreshing, nothing running")
        << RefreshState::refreshing() << 0 << MenuBarLabel{outline, {}, u"Porthive — 0 active"_s};
    QTest::newRow("stale with three") << RefreshState::stale(u"ps failed"_s) << 3
                                      << MenuBarLabel{filled, u"3"_s, u"Porthive — stale data"_s};
    QTest::newRow("stale with none") << RefreshState::stale(u"ps failed"_s) << 0
                                     << MenuBarLabel{filled, {}, u"Porthive — stale data"_s};
    QTest::newRow("failed with servers") << RefreshState::failed(u"boom"_s) << 5
                                         << MenuBarLabel{failed, u"!"_s, u"Porthive — error"_s};
    QTest::newRow("failed with none") << RefreshState::failed(u"boom"_s) << 0
                                      << MenuBarLabel{failed, u"!"_s, u"Porthive — error"_s};
    QTest::newRow("many") << RefreshState::idle() << 128 << MenuBarLabel{filled, u"128"_s, u"Porthive — 128 active"_s};
}

void TestMenuBarLabel::label()
{
    QFETCH(RefreshState, state);
    QFETCH(int, running);
    QFETCH(MenuBarLabel, label);
    const MenuBarLabel made = MenuBarLabel::make(state, running);
    QCOMPARE(made.symbol, label.symbol);
    QCOMPARE(made.text, label.text);
    QCOMPARE(made.accessibilityLabel, label.accessibilityLabel);
}

void TestMenuBarLabel::iconAtEverySizeAndRatio_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<qreal>("ratio");
    for (int size : {16, 22, 24, 32, 48, 64}) {
        for (qreal ratio : {1.0, 1.25, 2.0, 3.0})
            QTest::addRow("%d@%gx", size, ratio) << size << ratio;
    }
}

void TestMenuBarLabel::iconAtEverySizeAndRatio()
{
    QFETCH(int, size);
    QFETCH(qreal, ratio);
    const QIcon icon = StatusIcon::make(MenuBarLabel::make(RefreshState::idle(), 7));
    const QPixmap pixmap = icon.pixmap(QSize(size, size), ratio);
    // Drawn at the device resolution, not scaled up from a smaller image.
    QCOMPARE(pixmap.size(), QSize(size, size) * ratio);
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    QVERIFY(qAbs(pixmap.deviceIndependentSize().width() - size) < 1);

    // Drawn, not blank, and not spilling over the edges of the square.
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 128;
    }
    QVERIFY2(painted > image.width() * image.height() / 8, qPrintable(QString::number(painted)));
}

void TestMenuBarLabel::iconShowsTheLabel()
{
    const auto image = [](const RefreshState& state, int running) {
        return StatusIcon::render(MenuBarLabel::make(state, running), 32, 1);
    };
    // Each count, the outline and the failure draw differently; equal labels draw the same.
    const QList<QImage> distinct = {image(RefreshState::idle(), 0), image(RefreshState::idle(), 1),
                                    image(RefreshState::idle(), 2), image(RefreshState::idle(), 12),
                                    image(RefreshState::failed(u"x"_s), 2)};
    for (qsizetype i = 0; i < distinct.size(); ++i) {
        for (qsizetype j = i + 1; j < distinct.size(); ++j)
            QVERIFY2(distinct.at(i) != distinct.at(j), qPrintable(u"%1 and %2"_s.arg(i).arg(j)));
    }
    QCOMPARE(image(RefreshState::stale(u"x"_s), 2), image(RefreshState::idle(), 2));
    QCOMPARE(image(RefreshState::refreshing(), 2), image(RefreshState::idle(), 2));
}

void TestMenuBarLabel::boltLiesAsInTheWindow_data()
{
    QTest::addColumn<int>("running");
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 32, 64}) {
        QTest::addRow("outline %d", size) << 0 << size;
        QTest::addRow("filled with a count %d", size) << 3 << size;
    }
}

void TestMenuBarLabel::boltLiesAsInTheWindow()
{
    QFETCH(int, running);
    QFETCH(int, size);
    // "bolt.horizontal": the font's upright bolt, turned on its side as the window turns it.
    const QImage image = StatusIcon::render(MenuBarLabel::make(RefreshState::idle(), running), size, 1)
                             .convertToFormat(QImage::Format_ARGB32);
    QRect amber;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && c.red() > 180 && c.green() > 100 && c.blue() < 120)
                amber |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!amber.isEmpty());
    QVERIFY2(amber.width() > amber.height() * 1.3, qPrintable(u"%1x%2"_s.arg(amber.width()).arg(amber.height())));
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestMenuBarLabel test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_menubarlabel.moc"
