#include "control/cappedlog.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

class TestCappedLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsTheNewestWithinTheCap_data();
    void keepsTheNewestWithinTheCap();
    void lineAppendedOnItsOwnLine_data();
    void lineAppendedOnItsOwnLine();
};

void TestCappedLog::keepsTheNewestWithinTheCap_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<quint64>("cap");
    QTest::newRow("under the cap: all of it") << 100 << 20 << quint64(1 << 20);
    QTest::newRow("many times the cap") << 40000 << 40 << quint64(512 * 1024);
    // No line start near the cut: the cut falls inside a line.
    QTest::newRow("lines longer than the cap's half") << 10 << 300000 << quint64(512 * 1024);
}

// Written through a pipe as a server would, the log never passes the cap, ends with the newest output and, where
// lines are short, starts at a line's start.
void TestCappedLog::keepsTheNewestWithinTheCap()
{
    QFETCH(int, lines);
    QFETCH(int, lineLength);
    QFETCH(quint64, cap);
    QTemporaryFile log;
    QVERIFY(log.open());
    const int fd = ::open(QFile::encodeName(log.fileName()).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(fd >= 0);
    int ends[2];
    QVERIFY(::pipe(ends) == 0);

    QByteArray written;
    std::thread server([&] {
        for (int i = 0; i < lines; ++i) {
            QByteArray line = QByteArray::number(i).rightJustified(8, '0');
            line = line.leftJustified(lineLength - 1, '.') + '\n';
            written += line;
            for (qsizetype done = 0; done < line.size();)
                done += ::write(ends[1], line.constData() + done, size_t(line.size() - done));
        }
        ::close(ends[1]);
    });
    CappedLog::copy(ends[0], fd, cap);
    server.join();
    ::close(ends[0]);
    ::close(fd);

    const QByteArray kept = log.readAll();
    QVERIFY2(quint64(kept.size()) <= cap, qPrintable(QString::number(kept.size())));
    QVERIFY(written.endsWith(kept));
    if (quint64(written.size()) <= cap) {
        QCOMPARE(kept, written);
    } else {
        // At least the newest half stays, from a line's start where one is near the cut.
        QVERIFY(quint64(kept.size()) >= cap / 2 - 4096);
        if (lineLength < 4096)
            QVERIFY(written.contains(QByteArray('\n' + kept)));
    }
}

void TestCappedLog::lineAppendedOnItsOwnLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<quint64>("cap");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("empty log") << QByteArray() << quint64(1024) << QByteArray("ended\n");
    QTest::newRow("after a whole line") << QByteArray("ready\n") << quint64(1024) << QByteArray("ready\nended\n");
    QTest::newRow("after a line cut short")
        << QByteArray("progress 40%") << quint64(1024) << QByteArray("progress 40%\nended\n");
    // A full log drops its older half first, from a line's start: here the half starts a line, so all of it stays.
    QTest::newRow("full log, half at a line's start")
        << QByteArray("aaaa\nbbbb\ncccc\ndddd\n") << quint64(20) << QByteArray("cccc\ndddd\nended\n");
    QTest::newRow("full log, half inside a line")
        << QByteArray("aaaa\nbbbb\nccccc\ndddd\n") << quint64(21) << QByteArray("dddd\nended\n");
}

void TestCappedLog::lineAppendedOnItsOwnLine()
{
    QFETCH(QByteArray, before);
    QFETCH(quint64, cap);
    QFETCH(QByteArray, after);
    QTemporaryFile log;
    QVERIFY(log.open());
    QCOMPARE(log.write(before), before.size());
    QVERIFY(log.flush());
    const int fd = ::open(QFile::encodeName(log.fileName()).constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(fd >= 0);
    CappedLog::appendLine(fd, "ended", cap);
    ::close(fd);
    QVERIFY(log.seek(0));
    QCOMPARE(log.readAll(), after);
}

QTEST_GUILESS_MAIN(TestCappedLog)
#include "tst_cappedlog.moc"
