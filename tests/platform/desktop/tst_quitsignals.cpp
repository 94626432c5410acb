#include "platform/desktop/quitsignals.h"
#include "support/testhome.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestQuitSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void terminationAndInterruptArriveOnTheEventLoop_data();
    void terminationAndInterruptArriveOnTheEventLoop();
    void previousHandlersComeBack();
};

void TestQuitSignals::terminationAndInterruptArriveOnTheEventLoop_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestQuitSignals::terminationAndInterruptArriveOnTheEventLoop()
{
    QFETCH(int, signalNumber);
    QuitSignals signals;
    QSignalSpy quits(&signals, &QuitSignals::quitRequested);
    QVERIFY(quits.isValid());
    QCOMPARE(::raise(signalNumber), 0);
    // Nothing runs inside the handler; the request comes through the event loop.
    QCOMPARE(quits.count(), 0);
    QVERIFY(quits.wait());
    QCOMPARE(quits.count(), 1);

    // Two at once are one request.
    QCOMPARE(::raise(signalNumber), 0);
    QCOMPARE(::raise(signalNumber), 0);
    QVERIFY(quits.wait());
    QCoreApplication::processEvents();
    QCOMPARE(quits.count(), 2);
}

void TestQuitSignals::previousHandlersComeBack()
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction saved = {};
    QCOMPARE(::sigaction(SIGTERM, &ignore, &saved), 0);
    {
        QuitSignals signals;
        struct sigaction during = {};
        QCOMPARE(::sigaction(SIGTERM, nullptr, &during), 0);
        QVERIFY(during.sa_handler != SIG_IGN);
    }
    struct sigaction after = {};
    QCOMPARE(::sigaction(SIGTERM, nullptr, &after), 0);
    QVERIFY(after.sa_handler == SIG_IGN);
    QCOMPARE(::sigaction(SIGTERM, &saved, nullptr), 0);
}

PORTHIVE_TEST_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
