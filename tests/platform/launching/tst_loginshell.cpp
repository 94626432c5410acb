#include "platform/launching/childprocess.h"
#include "platform/launching/loginshell.h"
#include "support/processfiles.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(LoginShell::Invocation)

class TestLoginShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void userShellIsTheAccountsShell();
    void invocation_data();
    void invocation();
    void shellsRunTheCommandExactly_data();
    void shellsRunTheCommandExactly();
    void exportedEnvironmentThroughStartupFiles_data();
    void exportedEnvironmentThroughStartupFiles();
    void exportedEnvironmentOfAShellThatFails_data();
    void exportedEnvironmentOfAShellThatFails();

private:
    // The start-up files of every POSIX shell hold `text`, fish's `fishText`.
    bool writeStartupFiles(const QByteArray& text, const QByteArray& fishText = {});
};

namespace {

bool write(const QString& file, const QByteArray& text)
{
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size();
}

} // namespace

bool TestLoginShell::writeStartupFiles(const QByteArray& text, const QByteArray& fishText)
{
    const QString home = QDir::homePath();
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return write(home + u"/.profile"_s, text) && write(home + u"/.bashrc"_s, {}) && write(home + u"/.zshrc"_s, text) &&
           QDir().mkpath(config + u"/fish"_s) && write(config + u"/fish/config.fish"_s, fishText);
}

void TestLoginShell::userShellIsTheAccountsShell()
{
    const passwd* entry = ::getpwuid(::getuid());
    QVERIFY(entry);
    QCOMPARE(LoginShell::userShell(), QString::fromLocal8Bit(entry->pw_shell));
}

void TestLoginShell::invocation_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<LoginShell::Invocation>("expected");
    const QString command = u"npm run dev"_s;
    const QStringList login{u"-l"_s, u"-c"_s, command};
    QTest::newRow("bash: login, interactive, its job-control notices dropped")
        << u"/bin/bash"_s
        << LoginShell::Invocation{u"/bin/bash"_s, {u"-l"_s, u"-i"_s, u"-c"_s, u"exec 2>&1; npm run dev"_s}, true};
    QTest::newRow("zsh") << u"/usr/bin/zsh"_s
                         << LoginShell::Invocation{u"/usr/bin/zsh"_s, {u"-l"_s, u"-i"_s, u"-c"_s, command}};
    QTest::newRow("fish runs it in sh after its own start-up")
        << u"/usr/bin/fish"_s
        << LoginShell::Invocation{u"/usr/bin/fish"_s, {u"-l"_s, u"-i"_s, u"-c"_s, u"exec /bin/sh -c 'npm run dev'"_s}};
    QTest::newRow("dash") << u"/bin/dash"_s << LoginShell::Invocation{u"/bin/dash"_s, login};
    QTest::newRow("a shell of another language") << u"/bin/true"_s << LoginShell::Invocation{u"/bin/sh"_s, login};
    QTest::newRow("none in the account") << QString() << LoginShell::Invocation{u"/bin/sh"_s, login};
    QTest::newRow("missing") << u"/no/such/zsh"_s << LoginShell::Invocation{u"/bin/sh"_s, login};
    QTest::newRow("not absolute") << u"bash"_s << LoginShell::Invocation{u"/bin/sh"_s, login};
    QTest::newRow("not executable") << u"/etc/passwd"_s << LoginShell::Invocation{u"/bin/sh"_s, login};
}

void TestLoginShell::invocation()
{
    QFETCH(QString, shell);
    QFETCH(LoginShell::Invocation, expected);
    QCOMPARE(LoginShell::invocation(shell, u"npm run dev"_s), expected);
}

void TestLoginShell::shellsRunTheCommandExactly_data()
{
    QTest::addColumn<QString>("shell");
    for (const QString& shell : {u"/bin/bash"_s, u"/usr/bin/zsh"_s, u"/usr/bin/fish"_s, u"/bin/dash"_s}) {
        if (QFileInfo(shell).isExecutable())
            QTest::newRow(qPrintable(shell)) << shell;
    }
}

// Through each shell's own start-up (a tool put on PATH by the user's start-up file), POSIX shell text gives its
// arguments back exactly, and only what the command itself writes reaches the output.
void TestLoginShell::shellsRunTheCommandExactly()
{
    QFETCH(QString, shell);
    // The test's own temporary home and configuration folder.
    const QString home = QDir::homePath();
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString tools = home + u"/tools"_s;
    QVERIFY(QDir().mkpath(tools));
    QFile::remove(tools + u"/myprintf"_s);
    QVERIFY(QFile::link(u"/usr/bin/printf"_s, tools + u"/myprintf"_s));
    const QByteArray path = "export PATH=\"" + tools.toUtf8() + ":$PATH\"\n";
    // As Debian sets them up: .profile reads .bashrc, which stops early when not interactive.
    QVERIFY(write(home + u"/.profile"_s,
                  "if [ -n \"$BASH_VERSION\" ]; then . \"$HOME/.bashrc\"; else " + path.trimmed() + "; fi\n"));
    QVERIFY(write(home + u"/.bashrc"_s, "case $- in *i*) ;; *) return;; esac\n" + path));
    QVERIFY(write(home + u"/.zshrc"_s, path));
    QVERIFY(QDir().mkpath(config + u"/fish"_s));
    QVERIFY(write(config + u"/fish/config.fish"_s, "set -gx PATH " + tools.toUtf8() + " $PATH\n"));

    const QStringList arguments{u"a b"_s, u"it's"_s, u"\\\\x"_s, u"$HOME"_s, u"`id`"_s, u"!x"_s, QString(), u"Grüße"_s};
    QStringList quoted{u"myprintf"_s, u"'%s\\n'"_s};
    for (const QString& argument : arguments)
        quoted.append(u'\'' + QString(argument).replace(u'\'', u"'\\''"_s) + u'\'');
    const LoginShell::Invocation invocation = LoginShell::invocation(shell, quoted.join(u' '));

    QTemporaryFile output;
    QVERIFY(output.open());
    ChildProcess::Options options;
    options.program = invocation.program;
    options.arguments = invocation.arguments;
    options.workingDirectory = home;
    options.outputFd = int(output.handle());
    options.errorToNull = invocation.quietStart;
    const std::shared_ptr<ChildProcess> child = ChildProcess::start(options);
    QTRY_VERIFY_WITH_TIMEOUT(!child->isRunning(), 30000);
    QCOMPARE(child->terminationStatus().value_or(-1), 0);
    QFile written(output.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), arguments.join(u'\n') + u'\n');
}

void TestLoginShell::exportedEnvironmentThroughStartupFiles_data()
{
    shellsRunTheCommandExactly_data();
}

// What the start-up files export reaches the command, and nothing they print is taken for an entry: not a
// greeting, not a NUL, not a logout file's farewell.
void TestLoginShell::exportedEnvironmentThroughStartupFiles()
{
    QFETCH(QString, shell);
    QVERIFY(writeStartupFiles("echo 'Welcome, FAKE=1'\nprintf 'x\\000y=z\\000'\n"
                              "export FROM_LOGIN='two\nlines=x'\nexport PORT=3999\n",
                              "echo 'Welcome, FAKE=1'\nset -gx FROM_LOGIN two\\nlines=x\nset -gx PORT 3999\n"));
    QVERIFY(write(QDir::homePath() + u"/.bash_logout"_s, "echo 'bye=1'\n"));

    const std::optional<QList<QByteArray>> entries = LoginShell::exportedEnvironment(shell, 30s);
    QVERIFY(entries);
    QVERIFY(entries->contains("FROM_LOGIN=two\nlines=x"));
    QVERIFY(entries->contains("PORT=3999"));
    // This program's own environment, which the shell was given.
    QVERIFY(entries->contains("HOME=" + QDir::homePath().toUtf8()));
    for (const QByteArray& entry : *entries) {
        QVERIFY2(entry.contains('='), entry.constData());
        QVERIFY2(!entry.contains("FAKE") && !entry.startsWith("y=") && !entry.startsWith("bye"), entry.constData());
    }
}

void TestLoginShell::exportedEnvironmentOfAShellThatFails_data()
{
    QTest::addColumn<QByteArray>("startup");
    QTest::addColumn<bool>("hangs");
    QTest::newRow("ends in its start-up") << QByteArray("exit 3\n") << false;
    // Also what it started goes with it.
    QTest::newRow("hangs in its start-up") << QByteArray("sleep 600 &\necho $! > \"$HOME/sleeper\"\nwait\n") << true;
}

void TestLoginShell::exportedEnvironmentOfAShellThatFails()
{
    QFETCH(QByteArray, startup);
    QFETCH(bool, hangs);
    QVERIFY(writeStartupFiles(startup));
    const QString sleeper = QDir::homePath() + u"/sleeper"_s;
    QFile::remove(sleeper);

    QVERIFY(!LoginShell::exportedEnvironment(u"/bin/dash"_s, hangs ? 1s : 30s));
    if (hangs) {
        QFile file(sleeper);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint32 pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 1);
        QTRY_VERIFY_WITH_TIMEOUT(ProcessFiles::isGone(pid), 30000);
    }
}

PORTHIVE_TEST_MAIN(TestLoginShell)
#include "tst_loginshell.moc"
