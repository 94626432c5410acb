#include "base/apperror.h"
#include "control/serverlogservice.h"
#include "discovery/charactercut.h"
#include "platform/launching/logfolder.h"
#include "platform/storage/privatefolder.h"
#include "platform/storage/regularfile.h"
#include "support/awaittask.h"
#include "support/manualclock.h"
#include "support/testhome.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// One entry of a log folder fixture: a file, a folder or a link, with its age against the clock.
struct Entry
{
    QString name;
    qint64 ageSeconds = 0;
    char kind = 'f';
};

int rawMode(const QString& path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// Sets the entry's own modification time, links included.
bool setModified(const QString& path, const QDateTime& when)
{
    const qint64 msecs = when.toMSecsSinceEpoch();
    timespec times[2];
    times[0].tv_sec = time_t(msecs / 1000);
    times[0].tv_nsec = long(msecs % 1000) * 1000000;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entriesOf(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString logName(int n)
{
    return u"%1.log"_s.arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(QList<Entry>)

class TestServerLogService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void sessionFileIsPrivateWhateverTheUmask();
    void widerFolderIsTightened();
    void folderThatCannotBeMadeFailsTheSession();
    void sessionsNeverReuseOrFollowAFile();
    void linkedFolderIsLeftAlone_data();
    void linkedFolderIsLeftAlone();
    void foreignFolderIsLeftAlone();

    void retention_data();
    void retention();
    void activeFileIsNeverPruned();
    void undeletableOldFileDoesNotStopLaunches();
    void discardingAnOlderSessionKeepsTheNewerActive();
    void discardDeletesOnlyLogsOfTheFolder_data();
    void discardDeletesOnlyLogsOfTheFolder();

    void snapshot_data();
    void snapshot();
    void tailWindow_data();
    void tailWindow();
    void secretIsRedactedInThePreviewOnly();
    void missingFileFailsTheSnapshot();
    void nonRegularFileFailsAtOnce_data();
    void nonRegularFileFailsAtOnce();
    void snapshotThroughTheService();

private:
    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_root;
    ManualClock m_clock;
};

void TestServerLogService::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_root = m_scratch->filePath(u"Library/Logs/Porthive"_s);
    m_clock.set(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
}

void TestServerLogService::sessionFileIsPrivateWhateverTheUmask()
{
    const mode_t previous = ::umask(0);
    const auto restore = qScopeGuard([previous] { ::umask(previous); });

    ServerLogService logs(m_root, m_clock);
    const ServerLogSession session = awaitTask(logs.startSession(u"/work/app"_s));

    QCOMPARE(session.projectPath, u"/work/app"_s);
    QCOMPARE(session.startedAt, m_clock.now());
    QVERIFY(!session.id.isNull());
    const QString path = session.fileURL.toLocalFile();
    QCOMPARE(QFileInfo(path).fileName(), session.id.toString(QUuid::WithoutBraces).toUpper() + u".log"_s);
    QCOMPARE(QFileInfo(path).path(), m_root);
    QVERIFY(QRegularExpression(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.log$"_s)
                .match(QFileInfo(path).fileName())
                .hasMatch());
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(rawMode(path), 0600);
    QCOMPARE(rawMode(m_root), 0700);
    // The folders made on the way are private too.
    QCOMPARE(rawMode(m_scratch->filePath(u"Library/Logs"_s)), 0700);
    QCOMPARE(rawMode(m_scratch->filePath(u"Library"_s)), 0700);

    const ServerLogSession second = awaitTask(logs.startSession(u"/work/app"_s));
    QVERIFY(second.id != session.id);
    QVERIFY(QFile::exists(path));
}

void TestServerLogService::widerFolderIsTightened()
{
    QVERIFY(QDir().mkpath(m_root));
    QVERIFY(::chmod(QFile::encodeName(m_root).constData(), 0755) == 0);
    ServerLogService logs(m_root, m_clock);
    awaitTask(logs.startSession(u"/work/app"_s));
    QCOMPARE(rawMode(m_root), 0700);
}

void TestServerLogService::folderThatCannotBeMadeFailsTheSession()
{
    const QString blocker = m_scratch->filePath(u"file"_s);
    QVERIFY(writeFile(blocker, "x"));
    ServerLogService logs(blocker + u"/Logs/Porthive"_s, m_clock);
    QVERIFY_THROWS_EXCEPTION(SystemError, awaitTask(logs.startSession(u"/work/app"_s)));

    ServerLogService onFile(blocker, m_clock);
    QVERIFY_THROWS_EXCEPTION(SystemError, awaitTask(onFile.startSession(u"/work/app"_s)));
    QCOMPARE(QFileInfo(blocker).size(), 1);
}

void TestServerLogService::sessionsNeverReuseOrFollowAFile()
{
    // Many sessions, each a file of its own: nothing is ever opened twice.
    ServerLogService logs(m_root, m_clock);
    QSet<QString> paths;
    for (int i = 0; i < 5; ++i)
        paths.insert(awaitTask(logs.startSession(u"/work/app"_s)).fileURL.toLocalFile());
    QCOMPARE(paths.size(), 5);
    QCOMPARE(entriesOf(m_root).size(), 5);
}

void TestServerLogService::linkedFolderIsLeftAlone_data()
{
    QTest::addColumn<QString>("linked");
    QTest::newRow("the log folder") << u"porthive/logs"_s;
    QTest::newRow("the app's folder above it") << u"porthive"_s;
}

void TestServerLogService::linkedFolderIsLeftAlone()
{
    QFETCH(QString, linked);
    // The real place under the (temporary) state folder; the link leads to a folder of old logs elsewhere.
    const QString root = privateLogFolder();
    const QString app = qEnvironmentVariable("XDG_STATE_HOME") + u"/porthive"_s;
    // Links of an earlier row go as links, never through them.
    QFile::remove(app + u"/logs"_s);
    QFile::remove(app);
    QVERIFY(QDir(app).removeRecursively());
    const QString link = qEnvironmentVariable("XDG_STATE_HOME") + u'/' + linked;
    const QString target = m_scratch->filePath(u"elsewhere"_s);
    const QString targetLogs = target + root.mid(link.size());
    QVERIFY(QDir().mkpath(targetLogs));
    QVERIFY(QDir().mkpath(QFileInfo(link).path()));
    QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0);
    QVERIFY(::chmod(QFile::encodeName(targetLogs).constData(), 0755) == 0);
    const QString old = targetLogs + u"/old.log"_s;
    QVERIFY(writeFile(old, "kept"));
    QVERIFY(setModified(old, m_clock.now().addDays(-8)));

    ServerLogService logs(root, m_clock);
    const TaskOutcome<ServerLogSession> started = waitForOutcome(logs.startSession(u"/work/app"_s));
    QVERIFY(started.errorAs<UnsafeFolderError>());
    QCOMPARE(started.errorAs<UnsafeFolderError>()->kind(), UnsafeFolderError::Kind::Link);
    QCOMPARE(started.errorAs<UnsafeFolderError>()->path(), link);

    const ServerLogSession named{QUuid::createUuid(), u"/work/app"_s, QUrl::fromLocalFile(root + u"/old.log"_s), {}};
    QVERIFY_THROWS_EXCEPTION(UnsafeFolderError, awaitTask(logs.discardSession(named)));

    // The link's target is as it was: its mode, its old log, and no new file.
    QCOMPARE(rawMode(targetLogs), 0755);
    QCOMPARE(entriesOf(targetLogs), QStringList{u"old.log"_s});
}

void TestServerLogService::foreignFolderIsLeftAlone()
{
    // Another user's folder where ours should be (the tests run as root, who may hand it over).
    QVERIFY(QDir().mkpath(m_root));
    QVERIFY(::chmod(QFile::encodeName(m_root).constData(), 0755) == 0);
    const QString old = m_root + u"/old.log"_s;
    QVERIFY(writeFile(old, "kept"));
    QVERIFY(setModified(old, m_clock.now().addDays(-8)));
    if (::chown(QFile::encodeName(m_root).constData(), 65534, 65534) != 0)
        QSKIP("this user cannot hand a folder to another one");

    ServerLogService logs(m_root, m_clock);
    const TaskOutcome<ServerLogSession> started = waitForOutcome(logs.startSession(u"/work/app"_s));
    QVERIFY(started.errorAs<UnsafeFolderError>());
    QCOMPARE(started.errorAs<UnsafeFolderError>()->kind(), UnsafeFolderError::Kind::NotOwned);
    QCOMPARE(rawMode(m_root), 0755);
    QCOMPARE(entriesOf(m_root), QStringList{u"old.log"_s});
}

void TestServerLogService::retention_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QStringList>("remaining");

    constexpr qint64 hour = 3600;
    constexpr qint64 day = 86400;

    {
        // 25 files between one and seven days old: the five oldest go.
        QList<Entry> entries;
        QStringList remaining;
        for (int i = 0; i < 25; ++i) {
            entries.append({logName(i), 2 * day + i * hour});
            if (i < 20)
                remaining.append(logName(i));
        }
        QTest::newRow("twenty newest old files stay") << entries << remaining;
    }
    {
        // Equal dates: the smaller names come first and stay.
        QList<Entry> entries;
        QStringList remaining;
        for (int i = 21; i >= 0; --i)
            entries.append({logName(i), 3 * day});
        for (int i = 0; i < 20; ++i)
            remaining.append(logName(i));
        QTest::newRow("ties ordered by file name") << entries << remaining;
    }
    {
        // Code-point order, not the locale's: upper case before lower case.
        QList<Entry> entries;
        QStringList remaining;
        for (int i = 0; i < 19; ++i) {
            entries.append({logName(i), 3 * day});
            remaining.append(logName(i));
        }
        entries.append({u"b.log"_s, 3 * day});
        entries.append({u"B.log"_s, 3 * day});
        remaining.append(u"B.log"_s);
        QTest::newRow("ties in code-point order") << entries << remaining;
    }
    QTest::newRow("eight days old goes alone")
        << QList<Entry>{{u"old.log"_s, 8 * day}, {u"recent.log"_s, 2 * day}} << QStringList{u"recent.log"_s};
    QTest::newRow("exactly seven days is expired")
        << QList<Entry>{{u"week.log"_s, 7 * day}, {u"younger.log"_s, 7 * day - 1}} << QStringList{u"younger.log"_s};
    {
        // Exactly one day counts as old; younger files never count.
        QList<Entry> entries;
        QStringList remaining;
        for (int i = 0; i < 30; ++i) {
            entries.append({logName(i), day - 1});
            remaining.append(logName(i));
        }
        for (int i = 30; i < 51; ++i) {
            entries.append({logName(i), day});
            if (i < 50)
                remaining.append(logName(i));
        }
        QTest::newRow("younger than a day always stays") << entries << remaining;
    }
    QTest::newRow("other entries of any age stay")
        << QList<Entry>{{u".hidden.log"_s, 30 * day},     {u"notes.txt"_s, 30 * day},
                        {u"upper.LOG"_s, 30 * day},       {u"backup.log.bak"_s, 30 * day},
                        {u"folder.log"_s, 30 * day, 'd'}, {u"link.log"_s, 30 * day, 'l'},
                        {u"old.log"_s, 30 * day}}
        << QStringList{u".hidden.log"_s, u"backup.log.bak"_s, u"folder.log"_s,
                       u"link.log"_s,    u"notes.txt"_s,      u"upper.LOG"_s};
}

void TestServerLogService::retention()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QStringList, remaining);

    QVERIFY(QDir().mkpath(m_root));
    // A link's target lives outside the folder and must survive too.
    const QString target = m_scratch->filePath(u"target.log"_s);
    QVERIFY(writeFile(target, "outside"));
    QVERIFY(setModified(target, m_clock.now().addDays(-30)));

    for (const Entry& entry : std::as_const(entries)) {
        const QString path = m_root + u'/' + entry.name;
        if (entry.kind == 'd')
            QVERIFY(QDir().mkdir(path));
        else if (entry.kind == 'l')
            QVERIFY(QFile::link(target, path));
        else
            QVERIFY(writeFile(path, "output\n"));
        QVERIFY(setModified(path, m_clock.now().addSecs(-entry.ageSeconds)));
    }

    ServerLogService logs(m_root, m_clock);
    const ServerLogSession session = awaitTask(logs.startSession(u"/work/app"_s));

    QStringList expected = remaining;
    expected.append(session.fileURL.fileName());
    expected.sort();
    QCOMPARE(entriesOf(m_root), expected);
    QVERIFY(QFile::exists(target));
}

void TestServerLogService::activeFileIsNeverPruned()
{
    ServerLogService logs(m_root, m_clock);
    const ServerLogSession running = awaitTask(logs.startSession(u"/work/app"_s));
    QVERIFY(setModified(running.fileURL.toLocalFile(), m_clock.now().addDays(-30)));

    // Another project's launch runs retention; the file the first project writes stays.
    awaitTask(logs.startSession(u"/work/other"_s));
    QVERIFY(QFile::exists(running.fileURL.toLocalFile()));

    // Once a later launch of the same project replaces it, it is an old file like any other.
    awaitTask(logs.startSession(u"/work/app"_s));
    awaitTask(logs.startSession(u"/work/other"_s));
    QVERIFY(!QFile::exists(running.fileURL.toLocalFile()));
}

void TestServerLogService::undeletableOldFileDoesNotStopLaunches()
{
    QVERIFY(QDir().mkpath(m_root));
    const QString stuck = m_root + u"/stuck.log"_s;
    const QString expired = m_root + u"/expired.log"_s;
    QVERIFY(writeFile(stuck, "x"));
    QVERIFY(writeFile(expired, "x"));
    QVERIFY(setModified(stuck, m_clock.now().addDays(-9)));
    QVERIFY(setModified(expired, m_clock.now().addDays(-10)));

    const QString chattr = QStandardPaths::findExecutable(u"chattr"_s);
    if (chattr.isEmpty())
        QSKIP("chattr is not installed");
    if (QProcess::execute(chattr, {u"+i"_s, stuck}) != 0)
        QSKIP("this file system cannot make a file immutable");
    const auto release = qScopeGuard([&] { QProcess::execute(chattr, {u"-i"_s, stuck}); });
    if (QFile::remove(stuck))
        QSKIP("an immutable file can still be removed here");

    ServerLogService logs(m_root, m_clock);
    for (int i = 0; i < 2; ++i)
        awaitTask(logs.startSession(u"/work/app"_s));
    QVERIFY(QFile::exists(stuck));
    QVERIFY(!QFile::exists(expired));
    QCOMPARE(entriesOf(m_root).size(), 3);
}

void TestServerLogService::discardingAnOlderSessionKeepsTheNewerActive()
{
    ServerLogService logs(m_root, m_clock);
    const ServerLogSession first = awaitTask(logs.startSession(u"/work/app"_s));
    const ServerLogSession second = awaitTask(logs.startSession(u"/work/app"_s));

    awaitTask(logs.discardSession(first));
    QVERIFY(!QFile::exists(first.fileURL.toLocalFile()));
    // Discarding again is harmless.
    awaitTask(logs.discardSession(first));

    // The newer session is still the project's active one, so retention leaves it alone.
    QVERIFY(setModified(second.fileURL.toLocalFile(), m_clock.now().addDays(-30)));
    awaitTask(logs.startSession(u"/work/other"_s));
    QVERIFY(QFile::exists(second.fileURL.toLocalFile()));

    // Discarding it ends that, and deletes it.
    awaitTask(logs.discardSession(second));
    QVERIFY(!QFile::exists(second.fileURL.toLocalFile()));
}

void TestServerLogService::discardDeletesOnlyLogsOfTheFolder_data()
{
    QTest::addColumn<QString>("relativePath"); // from the scratch folder
    QTest::newRow("outside the folder") << u"outside.log"_s;
    QTest::newRow("other extension in the folder") << u"Library/Logs/Porthive/notes.txt"_s;
    QTest::newRow("climbing out with dot-dot") << u"Library/Logs/Porthive/../escape.log"_s;
    QTest::newRow("in a sub-folder") << u"Library/Logs/Porthive/sub/inner.log"_s;
    QTest::newRow("hidden log") << u"Library/Logs/Porthive/.hidden.log"_s;
}

void TestServerLogService::discardDeletesOnlyLogsOfTheFolder()
{
    QFETCH(QString, relativePath);
    QVERIFY(QDir().mkpath(m_root + u"/sub"_s));
    const QString path = QDir::cleanPath(m_scratch->filePath(relativePath));
    QVERIFY(writeFile(path, "keep"));

    ServerLogService logs(m_root, m_clock);
    awaitTask(logs.discardSession(ServerLogSession{
        QUuid::createUuid(), u"/work/app"_s, QUrl::fromLocalFile(m_scratch->filePath(relativePath)), m_clock.now()}));
    QVERIFY(QFile::exists(path));
}

void TestServerLogService::snapshot_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("preview");

    QTest::newRow("empty") << QByteArray() << QString() << u"No output yet"_s;
    QTest::newRow("blank only") << QByteArray(" \n\t\n\r\n") << u" \n\t\n\n"_s << u"No output yet"_s;
    QTest::newRow("crlf line ends") << QByteArray("starting\r\nready\r\n") << u"starting\nready\n"_s << u"ready"_s;
    QTest::newRow("carriage-return progress") << QByteArray("10%\r50%\rdone") << u"10%\n50%\ndone"_s << u"done"_s;
    QTest::newRow("trailing blank lines") << QByteArray("ready\n\n   \n") << u"ready\n\n   \n"_s << u"ready"_s;
    QTest::newRow("line is trimmed") << QByteArray("  ready  \n") << u"  ready  \n"_s << u"ready"_s;
    QTest::newRow("colours") << QByteArray("\x1b[32mready\x1b[0m") << u"ready"_s << u"ready"_s;
    QTest::newRow("cursor and erase") << QByteArray("\x1b[2K\x1b[1Gready\x1b[?25h") << u"ready"_s << u"ready"_s;
    QTest::newRow("title ended by bell") << QByteArray("\x1b]0;my title\x07ready") << u"ready"_s << u"ready"_s;
    QTest::newRow("title ended by escape backslash")
        << QByteArray("\x1b]2;title\x1b\\ready") << u"ready"_s << u"ready"_s;
    QTest::newRow("unended title stays but loses its escape")
        << QByteArray("\x1b]0;title") << u"]0;title"_s << u"]0;title"_s;
    QTest::newRow("control and format characters") << QByteArray("a\x00"
                                                                 "b\x08"
                                                                 "c\xe2\x80\x8b"
                                                                 "d\xef\xbb\xbf"
                                                                 "e\tf",
                                                                 15)
                                                   << u"abcde\tf"_s << u"abcde\tf"_s;
    QTest::newRow("invalid bytes become replacement characters")
        << QByteArray("ok \xff\n") << u"ok \uFFFD\n"_s << u"ok \uFFFD"_s;
    QTest::newRow("last non-blank line") << QByteArray("one\ntwo\n\nthree\n \n") << u"one\ntwo\n\nthree\n \n"_s
                                         << u"three"_s;

    const QString exactly160(160, u'x');
    QTest::newRow("160 characters stay whole") << exactly160.toUtf8() << exactly160 << exactly160;
    const QString long200(200, u'y');
    QTest::newRow("200 characters are cut") << long200.toUtf8() << long200 << QString(157, u'y') + u"\u2026"_s;

    // Characters as the user sees them: a letter with a combining accent, and a flag, count once each.
    QString accented;
    for (int i = 0; i < 161; ++i)
        accented += u"e\u0301"_s;
    QString accentedCut;
    for (int i = 0; i < 157; ++i)
        accentedCut += u"e\u0301"_s;
    QTest::newRow("161 accented letters are cut") << accented.toUtf8() << accented << accentedCut + u"\u2026"_s;
    QString flags;
    for (int i = 0; i < 160; ++i)
        flags += u"\U0001F1E9\U0001F1EA"_s;
    QTest::newRow("160 flags stay whole") << flags.toUtf8() << flags << flags;

    const QString hidden = u"a\u200Bb\u2060c\u00ADd\u206Ae\U000E0041f\U000E0000g\U000E0002h"_s;
    QTest::newRow("characters drawn as nothing, tags included") << hidden.toUtf8() << u"abcdefgh"_s << u"abcdefgh"_s;
    // One character of 60,001 code points: the preview keeps as many of them as its units allow.
    const QString bomb = u"A"_s + QString(60000, QChar(0x0301));
    QTest::newRow("a combining-mark bomb gives a bounded preview")
        << bomb.toUtf8() << bomb
        << bomb.left(ServerLogService::previewCharacterLimit * cutUnitsPerCharacter - 1) + u"\u2026"_s;
}

void TestServerLogService::snapshot()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    QFETCH(QString, preview);
    const QString path = m_scratch->filePath(u"session.log"_s);
    QVERIFY(writeFile(path, content));

    const ServerLogSnapshot snapshot = ServerLogService::readSnapshot(path);
    QCOMPARE(snapshot.text, text);
    QCOMPARE(snapshot.preview, preview);
    QCOMPARE(snapshot.isTruncated, false);
}

void TestServerLogService::tailWindow_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("truncated");

    constexpr qsizetype limit = ServerLogService::defaultTailByteLimit;
    QTest::newRow("exactly the window") << QByteArray(limit, 'a') << QString(limit, u'a') << false;
    QTest::newRow("one byte more") << QByteArray("b") + QByteArray(limit, 'a') << QString(limit, u'a') << true;
    // The window starts after the first byte of a two-byte character.
    QTest::newRow("cut two-byte character")
        << QByteArray("\xc3\xa9") + QByteArray(limit - 1, 'a') << QString(limit - 1, u'a') << true;
    // After the first byte of a three-byte character: both continuation bytes go.
    QTest::newRow("cut three-byte character")
        << QByteArray("\xe2\x82\xac") + QByteArray(limit - 2, 'a') << QString(limit - 2, u'a') << true;
    // A whole character at the window's start stays.
    QTest::newRow("whole character at the start")
        << QByteArray("zz\xc3\xa9") + QByteArray(limit - 2, 'a') << u"\u00e9"_s + QString(limit - 2, u'a') << true;
    QTest::newRow("much larger file") << QByteArray(5 * limit, 'b') + QByteArray(limit, 'a') << QString(limit, u'a')
                                      << true;
}

void TestServerLogService::tailWindow()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    QFETCH(bool, truncated);
    const QString path = m_scratch->filePath(u"session.log"_s);
    QVERIFY(writeFile(path, content));

    const ServerLogSnapshot snapshot = ServerLogService::readSnapshot(path);
    QCOMPARE(snapshot.text.size(), text.size());
    QCOMPARE(snapshot.text, text);
    QCOMPARE(snapshot.isTruncated, truncated);
}

void TestServerLogService::secretIsRedactedInThePreviewOnly()
{
    const QString path = m_scratch->filePath(u"session.log"_s);
    QVERIFY(writeFile(path, "starting\nsent bearer s3cr3tvalue done\n"));
    const ServerLogSnapshot snapshot = ServerLogService::readSnapshot(path);
    QVERIFY(snapshot.text.contains(u"s3cr3tvalue"_s));
    QCOMPARE(snapshot.preview, u"sent Bearer <redacted> done"_s);
}

void TestServerLogService::missingFileFailsTheSnapshot()
{
    QVERIFY_THROWS_EXCEPTION(SystemError, ServerLogService::readSnapshot(m_scratch->filePath(u"none.log"_s)));
    ServerLogService logs(m_root, m_clock);
    const ServerLogSession session{QUuid::createUuid(), u"/work/app"_s,
                                   QUrl::fromLocalFile(m_scratch->filePath(u"none.log"_s)), m_clock.now()};
    QVERIFY_THROWS_EXCEPTION(SystemError, awaitTask(logs.snapshot(session)));
}

void TestServerLogService::nonRegularFileFailsAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("named pipe") << u"fifo"_s;
    QTest::newRow("named pipe with a writer waiting") << u"fifo held"_s;
    QTest::newRow("device") << u"device"_s;
    QTest::newRow("link to a file") << u"link"_s;
    QTest::newRow("link to a named pipe") << u"link to fifo"_s;
    QTest::newRow("folder") << u"folder"_s;
}

// Something put at a session's path in place of its log: the read fails at once, and the next session starts.
void TestServerLogService::nonRegularFileFailsAtOnce()
{
    QFETCH(QString, kind);
    ServerLogService logs(m_root, m_clock);
    const ServerLogSession session = awaitTask(logs.startSession(u"/work/app"_s));
    const QString path = session.fileURL.toLocalFile();
    const QByteArray encoded = QFile::encodeName(path);
    QVERIFY(QFile::remove(path));
    const QString other = m_scratch->filePath(u"other"_s);
    if (kind == u"fifo"_s || kind == u"fifo held"_s) {
        QCOMPARE(::mkfifo(encoded.constData(), 0600), 0);
    } else if (kind == u"device"_s) {
        // The null device's numbers; only root may make one.
        if (::mknod(encoded.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("no device can be made here");
    } else if (kind == u"link"_s) {
        QVERIFY(writeFile(other, "someone else's\n"));
        QVERIFY(QFile::link(other, path));
    } else if (kind == u"link to fifo"_s) {
        QCOMPARE(::mkfifo(QFile::encodeName(other).constData(), 0600), 0);
        QVERIFY(QFile::link(other, path));
    } else {
        QVERIFY(QDir().mkdir(path));
    }
    // A writer that holds the pipe open: a read that got in would wait for output that never comes.
    FileDescriptor writer;
    if (kind == u"fifo held"_s) {
        writer.reset(::open(encoded.constData(), O_RDWR | O_CLOEXEC));
        QVERIFY(writer.isValid());
    }

    try {
        awaitTask(logs.snapshot(session), std::chrono::seconds(10));
        QFAIL("something that is no log file was read as one");
    } catch (const NotRegularFileError& error) {
        QCOMPARE(error.path(), path);
        QCOMPARE(error.description(), path + u" is not a regular file"_s);
    } catch (const SystemError& error) {
        // The link itself is refused.
        QVERIFY(kind.startsWith(u"link"_s));
        QCOMPARE(error.code(), ELOOP);
    }
    const ServerLogSession next = awaitTask(logs.startSession(u"/work/app"_s), std::chrono::seconds(10));
    QVERIFY(QFileInfo(next.fileURL.toLocalFile()).isFile());
}

void TestServerLogService::snapshotThroughTheService()
{
    ServerLogService logs(m_root, m_clock);
    const ServerLogSession session = awaitTask(logs.startSession(u"/work/app"_s));
    QCOMPARE(awaitTask(logs.snapshot(session)), (ServerLogSnapshot{QString(), u"No output yet"_s, false}));

    QVERIFY(writeFile(session.fileURL.toLocalFile(), "\x1b[1mVITE ready\x1b[0m in 300 ms\r\n"));
    QCOMPARE(awaitTask(logs.snapshot(session)),
             (ServerLogSnapshot{u"VITE ready in 300 ms\n"_s, u"VITE ready in 300 ms"_s, false}));
}

PORTHIVE_TEST_MAIN(TestServerLogService)
#include "tst_serverlogservice.moc"
