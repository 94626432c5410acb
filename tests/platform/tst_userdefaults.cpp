#include "platform/userdefaults.h"
#include "support/awaittask.h"
#include "support/testhome.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QTest>

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

// The JSON object in the file as it is on disk now.
QJsonObject fileContents(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString storePath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + u"/background/porthive.json"_s;
}

} // namespace

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typesSurviveAnotherProcess();
    void fileLivesUnderXdgConfig();
    void unreadableFileIsEmpty();
    void backgroundWriteReachesTheFile();
    void writesKeepTheOrderAsked_data();
    void writesKeepTheOrderAsked();
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

    const QJsonObject stored = fileContents(storePath());
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
    QCOMPARE(fileContents(storePath()).value(u"key"_s), stored);
    QCOMPARE(fileContents(storePath()).value(u"other"_s), QJsonValue(1));
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
