#include "discovery/localserver.h"
#include "discovery/rememberedproject.h"
#include "platform/storage/userdefaults.h"
#include "support/testhome.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LaunchEnvironment::Variables)

namespace {

LocalServer server(RuntimeKind kind, std::optional<QString> projectPath, std::optional<QString> pageTitle)
{
    LocalServer s;
    s.pid = 4242;
    s.port = 5173;
    s.runtimeKind = kind;
    s.projectPath = std::move(projectPath);
    s.pageTitle = std::move(pageTitle);
    return s;
}

QJsonObject projectObject()
{
    return RememberedProject{u"/Users/me/shop"_s, u"npm run dev"_s, u"npm run dev"_s, RuntimeKind::Vite,
                             QDateTime::fromMSecsSinceEpoch(1765370000123, Qt::UTC)}
        .toJson();
}

} // namespace

class TestServerModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runtimeKinds();
    void runtimeKindFromRawValue_data();
    void runtimeKindFromRawValue();
    void serverId();
    void displayTitle_data();
    void displayTitle();
    void withPauseState();
    void mergingManagedProcessIDs_data();
    void mergingManagedProcessIDs();
    void equalityCoversLastSeen();
    void projectJsonKeys();
    void projectRoundTrip();
    void projectDecodingFails_data();
    void projectDecodingFails();
    void oneBadElementFailsTheList();
    void variablesReadBack_data();
    void variablesReadBack();
    void listRoundTripThroughStoredDefaults();
};

void TestServerModel::runtimeKinds()
{
    QStringList raw;
    QStringList names;
    for (RuntimeKind kind : RuntimeKinds::allCases()) {
        raw << RuntimeKinds::rawValue(kind);
        names << RuntimeKinds::displayName(kind);
    }
    QCOMPARE(raw, (QStringList{u"agentBrowser"_s, u"next"_s, u"vite"_s, u"node"_s, u"bun"_s}));
    QCOMPARE(names, (QStringList{u"Agent Browser"_s, u"Next"_s, u"Vite"_s, u"Node"_s, u"Bun"_s}));
}

void TestServerModel::runtimeKindFromRawValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<bool>("valid");
    QTest::newRow("exact") << u"agentBrowser"_s << true;
    QTest::newRow("bun") << u"bun"_s << true;
    QTest::newRow("case differs") << u"Next"_s << false;
    QTest::newRow("unknown") << u"deno"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("padded") << u" vite"_s << false;
}

void TestServerModel::runtimeKindFromRawValue()
{
    QFETCH(QString, raw);
    QFETCH(bool, valid);
    const auto kind = RuntimeKinds::fromRawValue(raw);
    QCOMPARE(kind.has_value(), valid);
    if (kind)
        QCOMPARE(RuntimeKinds::rawValue(*kind), raw);
}

void TestServerModel::serverId()
{
    LocalServer s;
    s.pid = 4242;
    s.port = 5173;
    QCOMPARE(s.id(), u"4242:5173"_s);
    s.pid = -7;
    QCOMPARE(s.id(), u"-7:5173"_s);
}

void TestServerModel::displayTitle_data()
{
    using Opt = std::optional<QString>;
    QTest::addColumn<LocalServer>("server");
    QTest::addColumn<QString>("title");
    QTest::newRow("agent browser wins") << server(RuntimeKind::AgentBrowser, u"/Users/me/x"_s, u"T"_s)
                                        << u"Agent Browser"_s;
    QTest::newRow("folder name") << server(RuntimeKind::Node, u"/Users/me/work/shop"_s, u"T"_s) << u"shop"_s;
    QTest::newRow("folder with slash") << server(RuntimeKind::Node, u"/Users/me/work/shop/"_s, Opt()) << u"shop"_s;
    QTest::newRow("root folder falls through") << server(RuntimeKind::Vite, u"/"_s, Opt()) << u"Vite server"_s;
    QTest::newRow("title untrimmed") << server(RuntimeKind::Node, Opt(), u"  Shop  "_s) << u"  Shop  "_s;
    QTest::newRow("url title") << server(RuntimeKind::Node, Opt(), u"http://localhost:3000/"_s) << u"Node server"_s;
    QTest::newRow("https title") << server(RuntimeKind::Next, Opt(), u"https://x"_s) << u"Next server"_s;
    QTest::newRow("upper-case scheme is a title") << server(RuntimeKind::Next, Opt(), u"HTTP://x"_s) << u"HTTP://x"_s;
    QTest::newRow("empty title") << server(RuntimeKind::Node, Opt(), QString()) << u"Node server"_s;
    QTest::newRow("bun bare") << server(RuntimeKind::Bun, Opt(), Opt()) << u"Bun server"_s;
}

void TestServerModel::displayTitle()
{
    QFETCH(LocalServer, server);
    QFETCH(QString, title);
    QCOMPARE(server.displayTitle(), title);
}

void TestServerModel::withPauseState()
{
    LocalServer s = server(RuntimeKind::Node, u"/p"_s, std::nullopt);
    QCOMPARE(s.withPauseState(std::nullopt), s);
    const LocalServer paused = s.withPauseState(true);
    QVERIFY(paused.isPaused);
    QCOMPARE(paused.withPauseState(false), s);
}

void TestServerModel::mergingManagedProcessIDs_data()
{
    QTest::addColumn<QList<qint32>>("own");
    QTest::addColumn<QList<qint32>>("added");
    QTest::addColumn<QList<qint32>>("expected");
    QTest::newRow("first occurrence kept")
        << QList<qint32>{10, 11} << QList<qint32>{11, 12, 10, 13} << QList<qint32>{10, 11, 12, 13};
    QTest::newRow("nothing added") << QList<qint32>{10, 11} << QList<qint32>{} << QList<qint32>{10, 11};
    QTest::newRow("own repeats dropped") << QList<qint32>{5, 5} << QList<qint32>{} << QList<qint32>{5};
}

void TestServerModel::mergingManagedProcessIDs()
{
    QFETCH(QList<qint32>, own);
    QFETCH(QList<qint32>, added);
    QFETCH(QList<qint32>, expected);
    LocalServer s = server(RuntimeKind::Node, u"/p"_s, u"t"_s);
    s.managedProcessIDs = own;
    const LocalServer merged = s.mergingManagedProcessIDs(added);
    QCOMPARE(merged.managedProcessIDs, expected);
    LocalServer rest = merged;
    rest.managedProcessIDs = own;
    QCOMPARE(rest, s);
}

void TestServerModel::equalityCoversLastSeen()
{
    LocalServer a = server(RuntimeKind::Node, u"/p"_s, std::nullopt);
    a.lastSeenAt = QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC);
    LocalServer b = a;
    QCOMPARE(a, b);
    b.lastSeenAt = b.lastSeenAt.addMSecs(1);
    QVERIFY(a != b);
    b = a;
    b.httpStatus = 0;
    QVERIFY(a != b);
}

void TestServerModel::projectJsonKeys()
{
    const QJsonObject object = projectObject();
    QStringList keys = object.keys();
    keys.sort();
    QCOMPARE(keys, (QStringList{u"displayCommandLine"_s, u"lastSeenAt"_s, u"launchCommand"_s, u"projectPath"_s,
                                u"runtimeKind"_s}));
    QCOMPARE(object.value(u"runtimeKind"_s).toString(), u"vite"_s);
    // 2025-12-10T12:33:20.123Z
    QCOMPARE(object.value(u"lastSeenAt"_s).toDouble(), 787062800.123);
}

void TestServerModel::projectRoundTrip()
{
    const RememberedProject project{u"/Users/me/shop"_s, u"pnpm dev"_s, u"pnpm dev --token=<redacted>"_s,
                                    RuntimeKind::Next, QDateTime::fromMSecsSinceEpoch(1765370000999, Qt::UTC)};
    RememberedProject withVariables = project;
    withVariables.launchEnvironment = {{u"PORT"_s, u"4200"_s}, {u"TITLE"_s, u"My \"App\""_s}};
    // As the scan shows it.
    withVariables.displayCommandLine = u"PORT=4200 TITLE='My \"App\"' pnpm dev"_s;
    const QByteArray bytes =
        QJsonDocument(RememberedProject::encodeList({project, withVariables})).toJson(QJsonDocument::Compact);
    const auto decoded = RememberedProject::decodeList(QJsonDocument::fromJson(bytes).array());
    QVERIFY(decoded);
    QCOMPARE(*decoded, (QList<RememberedProject>{project, withVariables}));
    // Without variables an entry keeps its five keys, as stored lists always had them.
    QCOMPARE(project.toJson().size(), 5);
    QCOMPARE(withVariables.toJson().value(u"launchEnvironment"_s).toObject(),
             (QJsonObject{{u"PORT"_s, u"4200"_s}, {u"TITLE"_s, u"My \"App\""_s}}));
}

void TestServerModel::projectDecodingFails_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("unknown kind") << u"runtimeKind"_s << QJsonValue(u"deno"_s) << false;
    QTest::newRow("kind not a string") << u"runtimeKind"_s << QJsonValue(3) << false;
    QTest::newRow("date as text") << u"lastSeenAt"_s << QJsonValue(u"2025-01-01"_s) << false;
    QTest::newRow("path not a string") << u"projectPath"_s << QJsonValue(QJsonValue::Null) << false;
    QTest::newRow("missing date") << u"lastSeenAt"_s << QJsonValue(QJsonValue::Undefined) << false;
    QTest::newRow("missing command") << u"launchCommand"_s << QJsonValue(QJsonValue::Undefined) << false;
    QTest::newRow("extra key") << u"notes"_s << QJsonValue(u"hi"_s) << true;
    QTest::newRow("negative date") << u"lastSeenAt"_s << QJsonValue(-5.5) << true;
    QTest::newRow("variables") << u"launchEnvironment"_s << QJsonValue(QJsonObject{{u"PORT"_s, u"1"_s}}) << true;
    QTest::newRow("variables not an object") << u"launchEnvironment"_s << QJsonValue(u"PORT=1"_s) << false;
    QTest::newRow("a variable not a string")
        << u"launchEnvironment"_s << QJsonValue(QJsonObject{{u"PORT"_s, 1}}) << false;
}

void TestServerModel::projectDecodingFails()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(bool, decodes);
    QJsonObject object = projectObject();
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    QCOMPARE(RememberedProject::fromJson(object).has_value(), decodes);
}

void TestServerModel::oneBadElementFailsTheList()
{
    QJsonObject bad = projectObject();
    bad.insert(u"runtimeKind"_s, u"Vite"_s);
    QVERIFY(RememberedProject::decodeList(QJsonArray{projectObject(), bad}) == std::nullopt);
    QVERIFY(RememberedProject::decodeList(QJsonObject{}) == std::nullopt);
    QCOMPARE(RememberedProject::decodeList(QJsonArray{})->size(), 0);
}

void TestServerModel::variablesReadBack_data()
{
    QTest::addColumn<QJsonObject>("stored");
    QTest::addColumn<QString>("storedLine");
    QTest::addColumn<LaunchEnvironment::Variables>("kept");
    QTest::addColumn<QString>("shownLine");
    QTest::addColumn<int>("dropped");

    QTest::newRow("a name that would run code")
        << QJsonObject{{u"A$(touch X)"_s, u"1"_s}, {u"PORT"_s, u"4321"_s}} << u"A$(touch X)=1 PORT=4321 npm run dev"_s
        << LaunchEnvironment::Variables{{u"PORT"_s, u"4321"_s}} << u"PORT=4321 npm run dev"_s << 1;
    QTest::newRow("names no process could have been given")
        << QJsonObject{{u"1X"_s, u"a"_s},           {u"A-B"_s, u"b"_s},
                       {QString(), u"c"_s},         {u"GR\u00dcSSE"_s, u"d"_s},
                       {u"PATH"_s, u"/tmp/evil"_s}, {u"PORTHIVE_LAUNCH_ENVIRONMENT"_s, u"1:PORT"_s},
                       {u"A;B"_s, u"e"_s}}
        << u"npm run dev"_s << LaunchEnvironment::Variables{} << u"npm run dev"_s << 7;
    QTest::newRow("a value an environment cannot hold")
        << QJsonObject{{u"PORT"_s, QString(u"1\0; touch X"_s)}, {u"NAME"_s, QString(QChar(0xD800))}, {u"OK"_s, u"1"_s}}
        << u"OK=1 npm run dev"_s << LaunchEnvironment::Variables{{u"OK"_s, u"1"_s}} << u"OK=1 npm run dev"_s << 2;
    // Written when the line was redacted word by word: the words of the value after the first stood in clear.
    QTest::newRow("a line that showed pieces of a secret")
        << QJsonObject{{u"DB_PASSWORD"_s, u"correct horse battery staple"_s}}
        << u"DB_PASSWORD=<redacted> horse battery staple' npm run dev"_s
        << LaunchEnvironment::Variables{{u"DB_PASSWORD"_s, u"correct horse battery staple"_s}}
        << u"DB_PASSWORD=<redacted> npm run dev"_s << 0;
}

// The settings file is read as the user left it: what could not have come from a process never reaches a launch.
void TestServerModel::variablesReadBack()
{
    QFETCH(QJsonObject, stored);
    QFETCH(QString, storedLine);
    QFETCH(LaunchEnvironment::Variables, kept);
    QFETCH(QString, shownLine);
    QFETCH(int, dropped);
    QLoggingCategory::setFilterRules(u"porthive.projects.warning=true"_s);
    const auto restoreRules = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
    for (int i = 0; i < dropped; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^dropped a launch variable that cannot be set: "_s));

    QJsonObject object = projectObject();
    object.insert(u"launchEnvironment"_s, stored);
    object.insert(u"displayCommandLine"_s, storedLine);
    const std::optional<RememberedProject> project = RememberedProject::fromJson(object);
    QVERIFY(project);
    QCOMPARE(project->launchEnvironment, kept);
    QCOMPARE(project->displayCommandLine, shownLine);
    QCOMPARE(project->launchCommand, u"npm run dev"_s);
}

void TestServerModel::listRoundTripThroughStoredDefaults()
{
    const QList<RememberedProject> projects{
        {u"/home/ada/a"_s, u"npm run dev"_s, u"npm run dev"_s, RuntimeKind::Node,
         QDateTime::fromMSecsSinceEpoch(1765370000001, Qt::UTC)},
        {u"/home/ada/b"_s, u"bun run dev"_s, u"bun run dev"_s, RuntimeKind::Bun,
         QDateTime::fromMSecsSinceEpoch(1000000000555, Qt::UTC)},
    };
    const QString key = u"rememberedProjects.v1"_s;
    {
        SettingsUserDefaults defaults;
        defaults.setValue(key, QJsonDocument(RememberedProject::encodeList(projects)).toJson(QJsonDocument::Compact));
    }
    SettingsUserDefaults fresh;
    const QVariant stored = fresh.value(key);
    QCOMPARE(stored.typeId(), QMetaType::QByteArray);
    const auto decoded = RememberedProject::decodeList(QJsonDocument::fromJson(stored.toByteArray()).array());
    QVERIFY(decoded);
    QCOMPARE(*decoded, projects);
}

PORTHIVE_TEST_MAIN(TestServerModel)
#include "tst_servermodel.moc"
