#include "platform/launching/logfolder.h"
#include "platform/launching/loginshell.h"
#include "platform/listings/systemtools.h"
#include "platform/updates/bundleinfo.h"
#include "support/testhome.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestPlatformPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void logFolder_data();
    void logFolder();
    void systemTools();
    void bundleInfoAbsentDiffersFromEmpty();
    void buildBundleInfo();
};

void TestPlatformPaths::logFolder_data()
{
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<QString>("expected");
    QTest::newRow("xdg state") << QByteArray("/var/state/ada") << u"/var/state/ada/porthive/logs"_s;
    QTest::newRow("trailing slash") << QByteArray("/var/state/ada/") << u"/var/state/ada/porthive/logs"_s;
    QTest::newRow("unset") << QByteArray() << u"~/.local/state/porthive/logs"_s;
    QTest::newRow("relative ignored") << QByteArray("state") << u"~/.local/state/porthive/logs"_s;
}

void TestPlatformPaths::logFolder()
{
    QFETCH(QByteArray, state);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    if (state.isEmpty())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", state);
    expected.replace(u"~"_s, QDir::homePath());
    QCOMPARE(privateLogFolder(), expected);
    qputenv("XDG_STATE_HOME", saved);
}

void TestPlatformPaths::systemTools()
{
    for (const QString& tool :
         {SystemTools::processListTool(), SystemTools::socketListTool(), LoginShell::userInvocation({}).program})
        QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool));
}

void TestPlatformPaths::bundleInfoAbsentDiffersFromEmpty()
{
    const BundleInfo info({{u"PorthiveSentryDSN"_s, QString()}});
    QCOMPARE(info.value(u"PorthiveSentryDSN"_s), std::optional<QString>(QString()));
    QVERIFY(info.contains(u"PorthiveSentryDSN"_s));
    QCOMPARE(info.value(u"PorthivePostHogHost"_s), std::nullopt);
}

void TestPlatformPaths::buildBundleInfo()
{
    const BundleInfo& info = BundleInfo::main();
    QVERIFY(!info.value(u"CFBundleShortVersionString"_s).value_or(QString()).isEmpty());
    QVERIFY(!info.value(u"CFBundleIdentifier"_s).value_or(QString()).isEmpty());
}

PORTHIVE_TEST_MAIN(TestPlatformPaths)
#include "tst_platformpaths.moc"
