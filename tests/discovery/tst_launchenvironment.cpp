#include "discovery/launchenvironment.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace LaunchEnvironment;

using Entries = QList<QByteArray>;
Q_DECLARE_METATYPE(std::optional<Variables>)

char* toString(const std::optional<Variables>& variables)
{
    if (!variables)
        return QTest::toString(u"absent"_s);
    QStringList entries;
    for (auto variable = variables->cbegin(); variable != variables->cend(); ++variable)
        entries.append(variable.key() + u'=' + variable.value());
    return QTest::toString(u'{' + entries.join(u", "_s) + u'}');
}

class TestLaunchEnvironment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void given_data();
    void given();
    void exportTextSetsExactlyTheVariables();
};

void TestLaunchEnvironment::given_data()
{
    QTest::addColumn<Entries>("launcher");
    QTest::addColumn<std::optional<Entries>>("parent");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<std::optional<Variables>>("given");

    const Entries shell{"HOME=/home/al", "PATH=/usr/bin", "SHLVL=1", "PWD=/home/al", "LANG=C.UTF-8", "NODE_ENV=test"};
    const Entries typed =
        shell +
        Entries{"PORT=4200",       "NODE_ENV=production",        "_=/usr/bin/npm", "SHLVL=2", "PWD=/home/al/web",
                "OLDPWD=/home/al", "PATH=/opt/node/bin:/usr/bin"};
    // getenv takes the first of a name, so the launch ran with NODE_ENV=test here.
    QTest::newRow("PORT=4200 npm run dev in bash")
        << typed << std::optional(shell) << u"bash"_s << std::optional(Variables{{u"PORT"_s, u"4200"_s}});
    QTest::newRow("a login shell's name") << Entries{"PORT=1", "HOME=/x"} << std::optional(Entries{"HOME=/x"})
                                          << u"-zsh"_s << std::optional(Variables{{u"PORT"_s, u"1"_s}});
    QTest::newRow("another value") << Entries{"NODE_ENV=production"} << std::optional(Entries{"NODE_ENV=dev"})
                                   << u"/usr/bin/fish"_s << std::optional(Variables{{u"NODE_ENV"_s, u"production"_s}});
    QTest::newRow("the parent is no shell")
        << Entries{"PORT=1"} << std::optional(Entries{}) << u"systemd"_s << std::optional(Variables{});
    QTest::newRow("the parent cannot be read")
        << Entries{"PORT=1"} << std::optional<Entries>() << u"bash"_s << std::optional(Variables{});
    QTest::newRow("names a shell cannot assign")
        << Entries{"BASH_FUNC_x%%=() { :; }", "1X=a", "A-B=c", "OK_1=d"} << std::optional(Entries{}) << u"bash"_s
        << std::optional(Variables{{u"OK_1"_s, u"d"_s}});
    QTest::newRow("a value that is no text") << Entries{"PORT=1", QByteArray("NAME=\xff", 6)}
                                             << std::optional(Entries{}) << u"bash"_s << std::optional<Variables>();

    // This program's own launches: the shell it ran in named the variables it was given.
    QTest::newRow("launched here, shell replaced by the launch")
        << Entries{"PORTHIVE_LAUNCH_ENVIRONMENT=100:PORT", "PORT=4200", "NVM_DIR=/home/al/.nvm", "FROM_RC=1"}
        << std::optional(Entries{}) << u"porthive"_s << std::optional(Variables{{u"PORT"_s, u"4200"_s}});
    QTest::newRow("launched here, the shell's child")
        << Entries{"PORTHIVE_LAUNCH_ENVIRONMENT=99:", "FROM_RC=1"} << std::optional(Entries{}) << u"bash"_s
        << std::optional(Variables{});
    QTest::newRow("a marker inherited from elsewhere")
        << Entries{"PORTHIVE_LAUNCH_ENVIRONMENT=7:PORT", "PORT=4200", "DEBUG=1"}
        << std::optional(Entries{"PORTHIVE_LAUNCH_ENVIRONMENT=7:PORT", "PORT=4200"}) << u"bash"_s
        << std::optional(Variables{{u"DEBUG"_s, u"1"_s}});
}

void TestLaunchEnvironment::given()
{
    QFETCH(Entries, launcher);
    QFETCH(std::optional<Entries>, parent);
    QFETCH(QString, parentName);
    QFETCH(std::optional<Variables>, given);
    const Launcher launch{100, 99, launcher, parent, parentName};
    QCOMPARE(LaunchEnvironment::given(launch), given);
}

// The text sets the variables for the command as they are, whatever they hold, and runs nothing in them.
void TestLaunchEnvironment::exportTextSetsExactlyTheVariables()
{
    const Variables variables{{u"EMPTY"_s, QString()},
                              {u"PORT"_s, u"4200"_s},
                              {u"SPACES"_s, u"My App"_s},
                              {u"TRICKY"_s, u"it's $(id) `id` \\ \"q\""_s},
                              {u"UNICODE"_s, u"Grüße"_s}};
    QCOMPARE(assignmentText(variables),
             u"EMPTY='' PORT=4200 SPACES='My App' TRICKY='it'\\''s $(id) `id` \\ \"q\"' UNICODE='Grüße' "_s);
    for (const QString& shell : {u"/bin/sh"_s, u"/bin/bash"_s, u"/usr/bin/zsh"_s}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& carrier : carriers(variables))
            environment.insert(carrier.section(u'=', 0, 0), carrier.section(u'=', 1));
        process.setProcessEnvironment(environment);
        // The values are not in the shell's arguments, which every user of the machine may read.
        const QStringList arguments{u"-c"_s, exportText(variables) + u"env -0"_s};
        QVERIFY(!arguments.join(u' ').contains(u"4200"_s) && !arguments.join(u' ').contains(u"My App"_s));
        process.start(shell, arguments);
        QVERIFY(process.waitForStarted(30000));
        const qint64 pid = process.processId();
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QList<QByteArray> entries = process.readAllStandardOutput().split('\0');
        for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable)
            QVERIFY2(entries.contains((variable.key() + u'=' + variable.value()).toUtf8()), qPrintable(shell));
        // The marker names the shell and what it was given.
        const QByteArray marker =
            "PORTHIVE_LAUNCH_ENVIRONMENT=" + QByteArray::number(pid) + ":EMPTY,PORT,SPACES,TRICKY,UNICODE";
        QVERIFY2(entries.contains(marker), qPrintable(shell));
        // The carriers go before the command runs.
        QVERIFY(std::none_of(entries.cbegin(), entries.cend(),
                             [](const QByteArray& entry) { return entry.startsWith("PORTHIVE_GIVEN_"); }));
    }
}

QTEST_GUILESS_MAIN(TestLaunchEnvironment)
#include "tst_launchenvironment.moc"
