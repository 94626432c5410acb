#include "platform/storage/userdefaults.h"
#include "support/awaittask.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLoggingCategory>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Run by the child process: writes one value of each kind and exits.
int writeValuesAndExit()
{
    SettingsUserDefaults defaults;
    defaults.setValue(u"flag"_s, true);
    defaults.setValue(u"text"_s, u"true"_s);
    defaults.setValue(u"count"_s, 42);
    defaults.setValue(u"ratio"_s, 0.5);
    defaults.setValue(u"bytes"_s, QByteArray("[{\"a\":1}]\xff", 10));
    defaults.setValue(u"gone"_s, u"x"_s);
    defaults.remove(u"gone"_s);
    // No clean shutdown: whatever was written must already be on disk.
    std::_Exit(0);
}

QString storePath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + u"/background/porthive.json"_s;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The files a store set aside next to `path`, oldest name first.
QStringList asideFiles(const QString& path)
{
    const QFileInfo info(path);
    QStringList names =
        QDir(info.path()).entryList({info.fileName() + u".unreadable-*"_s}, QDir::Files | QDir::System, QDir::Name);
    for (QString& name : names)
        name = info.path() + u'/' + name;
    return names;
}

int modeOf(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QJsonObject storedObject(const QString& path)
{
    return QJsonDocument::fromJson(readAll(path)).object();
}

// A settings file as the app writes it, with the preferences that must not be lost.
const QByteArray settingsFile = R"({
    "PorthiveAnalyticsInstallID": "6F9619FF-8B86-D011-B42D-00C04FC964FF",
    "PorthiveExtendedAnalyticsEnabled": true,
    "PorthiveGroupAgentBrowserSessions": false,
    "rememberedProjects.v1": {"$base64": "W10="}
}
)";

// What reached the message handler from this program's own categories.
struct Logged
{
    QtMsgType type;
    QString category;
    QString text;
};
QList<Logged> logged;

void keepOwnMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const QString category = QString::fromLatin1(context.category);
    if (category.startsWith(u"porthive."_s))
        logged.append({type, category, text});
}

struct Reports
{
    QList<SettingsFileError> problems;
    SettingsProblemReporter reporter()
    {
        return [this](const SettingsFileError& problem) {
            problems.append(problem);
        };
    }
    qsizetype count(SettingsFileError::Kind kind) const
    {
        return std::count_if(problems.cbegin(), problems.cend(),
                             [kind](const SettingsFileError& problem) { return problem.kind() == kind; });
    }
};

} // namespace

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typesSurviveAnotherProcess();
    void fileLivesUnderXdgConfig();
    void writesOfAnotherProcessAreKept();
    void unreadableFileIsEmpty();
    void backgroundWriteReachesTheFile();
    void writesKeepTheOrderAsked_data();
    void writesKeepTheOrderAsked();
    void unreadableFileIsKeptAside_data();
    void unreadableFileIsKeptAside();
    void keptAsideIsLoggedWhenSwitchedOn_data();
    void keptAsideIsLoggedWhenSwitchedOn();
    void fileAndFolderArePrivate();
    void failedWriteIsReportedOnceAndRetried_data();
    void failedWriteIsReportedOnceAndRetried();
    void memoryStore();
};

void TestUserDefaults::typesSurviveAnotherProcess()
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PORTHIVE_DEFAULTS_CHILD"_s, u"1"_s);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitCode(), 0);

    SettingsUserDefaults defaults;
    QCOMPARE(defaults.value(u"flag"_s).typeId(), QMetaType::Bool);
    QCOMPARE(defaults.boolValue(u"flag"_s), std::optional<bool>(true));
    QCOMPARE(defaults.value(u"text"_s).typeId(), QMetaType::QString);
    QCOMPARE(defaults.boolValue(u"text"_s), std::nullopt);
    QCOMPARE(defaults.stringValue(u"text"_s), std::optional<QString>(u"true"_s));
    QCOMPARE(defaults.value(u"count"_s).toLongLong(), 42);
    QCOMPARE(defaults.value(u"ratio"_s).toDouble(), 0.5);
    QCOMPARE(defaults.value(u"bytes"_s).typeId(), QMetaType::QByteArray);
    QCOMPARE(defaults.value(u"bytes"_s).toByteArray(), QByteArray("[{\"a\":1}]\xff", 10));
    QVERIFY(!defaults.contains(u"gone"_s));
    QVERIFY(!defaults.value(u"absent"_s).isValid());
}

void TestUserDefaults::writesOfAnotherProcessAreKept()
{
    SettingsUserDefaults defaults;
    defaults.remove(u"count"_s);
    defaults.setValue(u"before"_s, 1);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PORTHIVE_DEFAULTS_CHILD"_s, u"1"_s);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitCode(), 0);

    // A write of this process takes the other one's values along instead of writing over them.
    defaults.setValue(u"after"_s, 2);
    const QJsonObject stored = storedObject(defaults.fileName());
    QCOMPARE(stored.value(u"before"_s).toInt(), 1);
    QCOMPARE(stored.value(u"count"_s).toInt(), 42);
    QCOMPARE(stored.value(u"after"_s).toInt(), 2);
    QCOMPARE(defaults.value(u"count"_s).toInt(), 42);
}

void TestUserDefaults::fileLivesUnderXdgConfig()
{
    SettingsUserDefaults defaults;
    defaults.setValue(u"PorthiveGroupAgentBrowserSessions"_s, false);
    const QString expected = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/porthive/porthive.json"_s;
    QCOMPARE(defaults.fileName(), expected);
    QFile file(expected);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(object.value(u"PorthiveGroupAgentBrowserSessions"_s).isBool());
}

void TestUserDefaults::unreadableFileIsEmpty()
{
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/broken.json"_s;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    SettingsUserDefaults defaults(path);
    QVERIFY(!defaults.contains(u"anything"_s));
}

void TestUserDefaults::backgroundWriteReachesTheFile()
{
    SettingsUserDefaults defaults(storePath());
    const QByteArray bytes("[{\"projectPath\":\"/p\"}]");
    QCoro::Task<> write = defaults.persistValue(u"list"_s, bytes);
    // Readers see the value at once, before it is on disk.
    QCOMPARE(defaults.value(u"list"_s).toByteArray(), bytes);
    QVERIFY(defaults.contains(u"list"_s));
    awaitTask(std::move(write));

    const QJsonObject stored = storedObject(storePath());
    QCOMPARE(stored.value(u"list"_s).toObject().value(u"$base64"_s).toString(), QString::fromLatin1(bytes.toBase64()));
    QCOMPARE(defaults.value(u"list"_s).toByteArray(), bytes);
    QCOMPARE(SettingsUserDefaults(storePath()).value(u"list"_s).toByteArray(), bytes);
}

void TestUserDefaults::writesKeepTheOrderAsked_data()
{
    QTest::addColumn<QString>("then");
    QTest::addColumn<QJsonValue>("stored");
    QTest::newRow("a second background write") << u"persist"_s << QJsonValue(u"second"_s);
    QTest::newRow("a write on the calling thread") << u"set"_s << QJsonValue(u"second"_s);
    QTest::newRow("a removal") << u"remove"_s << QJsonValue(QJsonValue::Undefined);
}

void TestUserDefaults::writesKeepTheOrderAsked()
{
    QFETCH(QString, then);
    QFETCH(QJsonValue, stored);
    QFile::remove(storePath());
    SettingsUserDefaults defaults(storePath());
    defaults.setValue(u"other"_s, 1);

    QCoro::Task<> first = defaults.persistValue(u"key"_s, u"first"_s);
    std::optional<QCoro::Task<>> second;
    if (then == u"persist"_s)
        second = defaults.persistValue(u"key"_s, u"second"_s);
    else if (then == u"set"_s)
        defaults.setValue(u"key"_s, u"second"_s);
    else
        defaults.remove(u"key"_s);
    const auto check = [&] {
        QCOMPARE(defaults.contains(u"key"_s), !stored.isUndefined());
        QCOMPARE(defaults.value(u"key"_s).toString(), stored.toString());
    };
    check();
    // The first write ending later does not bring its value back.
    awaitTask(std::move(first));
    check();
    if (second)
        awaitTask(std::move(*second));
    check();
    QCOMPARE(storedObject(storePath()).value(u"key"_s), stored);
    QCOMPARE(storedObject(storePath()).value(u"other"_s), QJsonValue(1));
}

void TestUserDefaults::unreadableFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("cut short by a crash") << settingsFile.left(settingsFile.size() / 2);
    QByteArray badByte = settingsFile;
    badByte[badByte.indexOf("D011")] = char(0xff);
    QTest::newRow("one bad byte") << badByte;
    QTest::newRow("no object") << QByteArray("[true]");
}

void TestUserDefaults::unreadableFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/"_s + QString::fromUtf8(QTest::currentDataTag()) +
                         u"/porthive.json"_s;
    QVERIFY(writeFile(path, content));

    Reports reports;
    {
        SettingsUserDefaults defaults(path, reports.reporter());
        QCOMPARE(reports.problems.size(), 1);
        QCOMPARE(reports.problems.first().kind(), SettingsFileError::Kind::Unreadable);
        // The app starts from defaults...
        QVERIFY(!defaults.contains(u"PorthiveAnalyticsInstallID"_s));
        // ...and the file is kept whole under a name that says what happened, before anything is written.
        QCOMPARE(asideFiles(path).size(), 1);
        QCOMPARE(readAll(asideFiles(path).first()), content);
        defaults.setValue(u"rememberedProjects.v1"_s, QByteArray("[]"));
        QCOMPARE(readAll(asideFiles(path).first()), content);
        QVERIFY(storedObject(path).contains(u"rememberedProjects.v1"_s));
    }
    QCOMPARE(reports.problems.size(), 1);

    // A later unreadable file goes aside under a new name; the first one stays as it was.
    const QByteArray later = content + "\xff";
    QVERIFY(writeFile(path, later));
    {
        SettingsUserDefaults defaults(path, reports.reporter());
        QCOMPARE(reports.count(SettingsFileError::Kind::Unreadable), 2);
    }
    QCOMPARE(asideFiles(path).size(), 2);
    QByteArrayList kept{readAll(asideFiles(path).at(0)), readAll(asideFiles(path).at(1))};
    std::sort(kept.begin(), kept.end());
    QByteArrayList expected{content, later};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(kept, expected);
}

void TestUserDefaults::keptAsideIsLoggedWhenSwitchedOn_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("shown");
    QTest::newRow("by default") << QString() << false;
    QTest::newRow("storage switched on") << u"porthive.storage.debug=true"_s << true;
    QTest::newRow("another switched on") << u"porthive.discovery.debug=true"_s << false;
}

// The second route a store takes with a file it cannot read is told, with the reason, only where asked for.
void TestUserDefaults::keptAsideIsLoggedWhenSwitchedOn()
{
    QFETCH(QString, rules);
    QFETCH(bool, shown);
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/logged-"_s +
                         QString::fromUtf8(QTest::currentDataTag()).replace(u' ', u'-') + u"/porthive.json"_s;
    QVERIFY(writeFile(path, "{\"cut\": "));

    logged.clear();
    QLoggingCategory::setFilterRules(rules);
    const QtMessageHandler previous = qInstallMessageHandler(keepOwnMessages);
    const auto restore = qScopeGuard([previous] {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    });
    Reports reports;
    {
        SettingsUserDefaults defaults(path, reports.reporter());
    }
    QCOMPARE(reports.count(SettingsFileError::Kind::Unreadable), 1);

    const bool told = std::any_of(logged.cbegin(), logged.cend(), [&](const Logged& entry) {
        return entry.type == QtDebugMsg && entry.category == u"porthive.storage"_s && entry.text.contains(path) &&
               entry.text.contains(u"kept aside"_s);
    });
    QCOMPARE(told, shown);
    if (!shown)
        QVERIFY(logged.isEmpty());
}

void TestUserDefaults::fileAndFolderArePrivate()
{
    // The folder and the file are private whatever the umask.
    const mode_t saved = ::umask(0);
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/private/porthive"_s;
    const QString path = folder + u"/porthive.json"_s;
    SettingsUserDefaults defaults(path);
    defaults.setValue(u"launchCommand"_s, u"node server.js --token=abc"_s);
    ::umask(saved);
    QCOMPARE(modeOf(folder), 0700);
    QCOMPARE(modeOf(QFileInfo(folder).path()), 0700);
    QCOMPARE(modeOf(path), 0600);

    // A file left readable by others is private again after the next write.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    defaults.setValue(u"other"_s, true);
    QCOMPARE(modeOf(path), 0600);
}

void TestUserDefaults::failedWriteIsReportedOnceAndRetried_data()
{
    QTest::addColumn<bool>("folderInPlaceOfFile");
    QTest::newRow("a folder in place of the file") << true;
    QTest::newRow("a file in place of the folder") << false;
}

void TestUserDefaults::failedWriteIsReportedOnceAndRetried()
{
    QFETCH(bool, folderInPlaceOfFile);
    const QString folder =
        qEnvironmentVariable("XDG_CONFIG_HOME") + u"/"_s + QString::fromUtf8(QTest::currentDataTag());
    const QString path = folder + u"/porthive.json"_s;
    const auto block = [&] {
        return folderInPlaceOfFile ? QDir().mkpath(path) : writeFile(folder, "not a folder");
    };
    const auto unblock = [&] {
        return folderInPlaceOfFile ? QDir().rmdir(path) : QFile::remove(folder);
    };
    QVERIFY(block());

    Reports reports;
    SettingsUserDefaults defaults(path, reports.reporter());
    defaults.setValue(u"a"_s, 1);
    QCOMPARE(reports.problems.size(), 1);
    QCOMPARE(reports.problems.first().kind(), SettingsFileError::Kind::WriteFailed);
    // The value holds for this run, and a second failure in a row is not reported again.
    QCOMPARE(defaults.value(u"a"_s).toInt(), 1);
    defaults.setValue(u"b"_s, 2);
    QCOMPARE(reports.problems.size(), 1);

    // Once the file can be written, the next write takes every change along.
    QVERIFY(unblock());
    defaults.setValue(u"c"_s, 3);
    const QJsonObject stored = storedObject(path);
    QCOMPARE(stored.value(u"a"_s).toInt(), 1);
    QCOMPARE(stored.value(u"b"_s).toInt(), 2);
    QCOMPARE(stored.value(u"c"_s).toInt(), 3);
    QCOMPARE(reports.problems.size(), 1);

    // A new run of failures is reported again.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(block());
    defaults.setValue(u"d"_s, 4);
    QCOMPARE(reports.problems.size(), 2);
}

void TestUserDefaults::memoryStore()
{
    MemoryUserDefaults defaults;
    defaults.setValue(u"a"_s, true);
    QCOMPARE(defaults.boolValue(u"a"_s), std::optional<bool>(true));
    defaults.remove(u"a"_s);
    QVERIFY(!defaults.contains(u"a"_s));
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("PORTHIVE_DEFAULTS_CHILD"))
        return writeValuesAndExit();
    TestUserDefaults tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_userdefaults.moc"
