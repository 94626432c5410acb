#include "discovery/devcommandcache.h"
#include "discovery/launchcommand.h"
#include "discovery/shellrole.h"
#include "support/manualclock.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

using FileMap = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(FileMap)
Q_DECLARE_METATYPE(std::optional<QStringList>)

// Found by argument-dependent lookup through QList.
char* toString(const std::optional<QStringList>& words)
{
    return QTest::toString(words ? u'[' + words->join(u"|"_s) + u']' : u"absent"_s);
}

class TestLaunchCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shellRun_data();
    void shellRun();
    void replayable_data();
    void replayable();
    void devVariant_data();
    void devVariant();
    void devCommand_data();
    void devCommand();
    void packageManager_data();
    void packageManager();
    void devCommandOfMissingOrOddFolders();
    void oversizedManifestIsIgnored();
    void manifestSwappedForAPipeNeverHangs();
    void keptDevCommandFollowsChanges();
    void devCommandRewrittenRightAfterAReadIsSeen();
    void shellCommandLine_data();
    void shellCommandLine();
    void quotedWords_data();
    void quotedWords();
    void npmCommand_data();
    void npmCommand();

private:
    // A fresh project folder holding `files`.
    QString makeProject(const FileMap& files);

    QList<std::shared_ptr<QTemporaryDir>> m_folders;
};

QString TestLaunchCommand::makeProject(const FileMap& files)
{
    auto folder = std::make_shared<QTemporaryDir>();
    if (!folder->isValid())
        qFatal("cannot create a temporary folder");
    m_folders.append(folder);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(folder->filePath(it.key()));
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            qFatal("cannot write a fixture file");
    }
    return folder->path();
}

void TestLaunchCommand::replayable_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("expected");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blanks and a line break") << u"  \n\t "_s << false;
    QTest::newRow("parenthesised process name") << u"(node)"_s << false;
    QTest::newRow("bare run") << u"run dev"_s << false;
    QTest::newRow("dev in any case") << u"DEV --port 3000"_s << false;
    QTest::newRow("starts with a flag") << u"--inspect server.js"_s << false;
    QTest::newRow("next-server title") << u"next-server (version 14)"_s << false;
    QTest::newRow("next-server anywhere, any case") << u"node /x/NEXT-SERVER.js"_s << false;
    QTest::newRow("node script") << u"node .output/server/index.mjs"_s << true;
    QTest::newRow("package manager") << u"pnpm dev"_s << true;
    QTest::newRow("surrounding blanks") << u"  vite --port 5173  "_s << true;
    QTest::newRow("first word only counts") << u"vite dev"_s << true;
    QTest::newRow("devserver is not dev") << u"devserver --port 1"_s << true;
}

void TestLaunchCommand::replayable()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, expected);
    QCOMPARE(isReplayableCommandLine(commandLine), expected);
}

void TestLaunchCommand::devVariant_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("expected");
    QTest::newRow("pnpm sub-script") << u"pnpm dev:web"_s << true;
    QTest::newRow("npm run sub-script with flags") << u"npm run dev:api --workspace x"_s << true;
    QTest::newRow("quoted path and script") << u"'/usr/local/bin/npm' run 'dev:docs'"_s << true;
    QTest::newRow("double-quoted yarn") << u"/opt/homebrew/bin/yarn \"dev:all\""_s << true;
    QTest::newRow("upper case") << u"BUN DEV:WEB"_s << true;
    QTest::newRow("tabs between words") << u"pnpm\t\tdev:web"_s << true;
    QTest::newRow("plain dev") << u"pnpm run dev"_s << false;
    QTest::newRow("empty sub-script") << u"pnpm dev:"_s << false;
    QTest::newRow("npm run dev: is empty") << u"npm run dev:"_s << false;
    QTest::newRow("npx is not a package manager") << u"npx vite"_s << false;
    QTest::newRow("first package-manager word anywhere") << u"node pnpm dev:web"_s << true;
    QTest::newRow("only the first yarn") << u"yarn build && yarn dev:web"_s << false;
    QTest::newRow("workspace word between") << u"yarn workspace web dev:all"_s << false;
    QTest::newRow("package manager last") << u"pnpm"_s << false;
    QTest::newRow("run last") << u"npm run"_s << false;
    QTest::newRow("no package manager") << u"vite dev:web"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestLaunchCommand::devVariant()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, expected);
    QCOMPARE(isPackageManagerDevVariant(commandLine), expected);
}

void TestLaunchCommand::devCommand_data()
{
    QTest::addColumn<FileMap>("files");
    QTest::addColumn<QString>("expected"); // empty: no command

    const QByteArray dev = R"({"scripts": {"dev": "vite"}})";
    QTest::newRow("no lock file is npm") << FileMap{{u"package.json"_s, dev}} << u"npm run dev"_s;
    QTest::newRow("bun binary lock") << FileMap{{u"package.json"_s, dev}, {u"bun.lockb"_s, {}}} << u"bun run dev"_s;
    QTest::newRow("bun text lock") << FileMap{{u"package.json"_s, dev}, {u"bun.lock"_s, {}}} << u"bun run dev"_s;
    QTest::newRow("pnpm lock") << FileMap{{u"package.json"_s, dev}, {u"pnpm-lock.yaml"_s, {}}} << u"pnpm dev"_s;
    QTest::newRow("yarn lock") << FileMap{{u"package.json"_s, dev}, {u"yarn.lock"_s, {}}} << u"yarn dev"_s;
    QTest::newRow("declared manager beats lock")
        << FileMap{{u"package.json"_s, R"({"packageManager": "pnpm@9.1.0", "scripts": {"dev": "vite"}})"},
                   {u"yarn.lock"_s, {}}}
        << u"pnpm dev"_s;
    QTest::newRow("dev script not text") << FileMap{{u"package.json"_s, R"({"scripts": {"dev": 1}})"}} << QString();
    QTest::newRow("no dev script") << FileMap{{u"package.json"_s, R"({"scripts": {"start": "node ."}})"}} << QString();
    QTest::newRow("scripts not an object") << FileMap{{u"package.json"_s, R"({"scripts": ["dev"]})"}} << QString();
    QTest::newRow("top level array") << FileMap{{u"package.json"_s, R"([{"scripts": {"dev": "x"}}])"}} << QString();
    QTest::newRow("malformed json") << FileMap{{u"package.json"_s, R"({"scripts": {"dev": "x")"}} << QString();
    QTest::newRow("no manifest") << FileMap{{u"pnpm-lock.yaml"_s, {}}} << QString();
}

void TestLaunchCommand::devCommand()
{
    QFETCH(FileMap, files);
    QFETCH(QString, expected);
    const std::optional<QString> command = projectDevCommand(makeProject(files));
    if (expected.isEmpty())
        QCOMPARE(command, std::nullopt);
    else
        QCOMPARE(command, std::optional<QString>(expected));
}

void TestLaunchCommand::packageManager_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QStringList>("lockFiles");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << QByteArray("{}") << QStringList() << u"npm"_s;
    QTest::newRow("declared with version")
        << QByteArray(R"({"packageManager": "yarn@4.0.2"})") << QStringList() << u"yarn"_s;
    QTest::newRow("declared without version")
        << QByteArray(R"({"packageManager": "bun"})") << QStringList() << u"bun"_s;
    QTest::newRow("leading at signs dropped")
        << QByteArray(R"({"packageManager": "@@pnpm@8"})") << QStringList() << u"pnpm"_s;
    QTest::newRow("declared is case-sensitive")
        << QByteArray(R"({"packageManager": "PNPM@8"})") << QStringList{u"yarn.lock"_s} << u"yarn"_s;
    QTest::newRow("other tool falls through")
        << QByteArray(R"({"packageManager": "deno@1"})") << QStringList{u"bun.lock"_s} << u"bun"_s;
    QTest::newRow("declared not text") << QByteArray(R"({"packageManager": 3})") << QStringList{u"yarn.lock"_s}
                                       << u"yarn"_s;
    QTest::newRow("pnpm before yarn") << QByteArray("{}") << QStringList{u"yarn.lock"_s, u"pnpm-lock.yaml"_s}
                                      << u"pnpm"_s;
    QTest::newRow("pnpm before bun") << QByteArray("{}") << QStringList{u"bun.lockb"_s, u"pnpm-lock.yaml"_s}
                                     << u"pnpm"_s;
    QTest::newRow("bun before yarn") << QByteArray("{}") << QStringList{u"yarn.lock"_s, u"bun.lockb"_s} << u"bun"_s;
    QTest::newRow("lock folder counts") << QByteArray("{}") << QStringList{u"yarn.lock/"_s} << u"yarn"_s;
}

void TestLaunchCommand::packageManager()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QStringList, lockFiles);
    QFETCH(QString, expected);
    FileMap files;
    QStringList folders;
    for (const QString& name : std::as_const(lockFiles)) {
        if (name.endsWith(u'/'))
            folders.append(name.chopped(1));
        else
            files.insert(name, {});
    }
    const QString project = makeProject(files);
    for (const QString& name : std::as_const(folders))
        QVERIFY(QDir(project).mkdir(name));
    QCOMPARE(detectPackageManager(QJsonDocument::fromJson(manifest).object(), project), expected);
}

void TestLaunchCommand::devCommandOfMissingOrOddFolders()
{
    QCOMPARE(projectDevCommand(QString()), std::nullopt);
    QCOMPARE(projectDevCommand(u"/nonexistent/porthive/project"_s), std::nullopt);

    // A folder where the manifest should be, and a dangling link in its place.
    const QString withFolder = makeProject({});
    QVERIFY(QDir(withFolder).mkdir(u"package.json"_s));
    QCOMPARE(projectDevCommand(withFolder), std::nullopt);
    const QString withLink = makeProject({});
    QVERIFY(QFile::link(u"/nonexistent/package.json"_s, withLink + u"/package.json"_s));
    QCOMPARE(projectDevCommand(withLink), std::nullopt);

    // A symbolic link to a real manifest is followed.
    const QString real = makeProject({{u"package.json"_s, R"({"scripts": {"dev": "vite"}})"}});
    const QString linked = makeProject({{u"yarn.lock"_s, {}}});
    QVERIFY(QFile::link(real + u"/package.json"_s, linked + u"/package.json"_s));
    QCOMPARE(projectDevCommand(linked), std::optional<QString>(u"yarn dev"_s));
}

void TestLaunchCommand::oversizedManifestIsIgnored()
{
    // A valid manifest, padded: up to 1 MiB it is read, beyond that it is not read at all.
    const QByteArray manifest = R"({"scripts": {"dev": "vite"}})";
    const QString small = makeProject({{u"package.json"_s, manifest + QByteArray(1024 * 1024 - manifest.size(), ' ')}});
    QCOMPARE(projectDevCommand(small), std::optional<QString>(u"npm run dev"_s));
    const QString large = makeProject({{u"package.json"_s, manifest + QByteArray(2 * 1024 * 1024, ' ')}});
    QCOMPARE(projectDevCommand(large), std::nullopt);
}

void TestLaunchCommand::manifestSwappedForAPipeNeverHangs()
{
    // Something swaps the manifest between a regular file and a named pipe with no writer, as fast as it can,
    // while the manifest is read over and over: no read may block on the pipe.
    const QString project = makeProject({});
    const QByteArray manifest = QFile::encodeName(project + u"/package.json"_s);
    constexpr int pipeCount = 8;
    QList<QByteArray> pipes;
    for (int i = 0; i < pipeCount; ++i) {
        pipes.append(QFile::encodeName(project + u"/pipe-%1"_s.arg(i)));
        QVERIFY(::mkfifo(pipes.last().constData(), 0600) == 0);
    }
    const QByteArray regular = QFile::encodeName(project + u"/regular.json"_s);
    const QByteArray swapped = QFile::encodeName(project + u"/swapped"_s);
    QFile text(QFile::decodeName(regular));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write(R"({"scripts": {"dev": "vite"}})") > 0);
    text.close();

    std::atomic<bool> stop{false};
    std::atomic<bool> readsDone{false};
    std::thread swapper([&] {
        for (int i = 0; !stop; ++i) {
            const QByteArray& source = i % 2 ? regular : pipes.at((i / 2) % pipeCount);
            // A second name first, then that name over the manifest: the swap itself is atomic.
            ::unlink(swapped.constData());
            if (::link(source.constData(), swapped.constData()) == 0)
                ::rename(swapped.constData(), manifest.constData());
        }
        // Ends on the regular file.
        ::unlink(swapped.constData());
        if (::link(regular.constData(), swapped.constData()) == 0)
            ::rename(swapped.constData(), manifest.constData());
    });
    std::thread reader([&] {
        for (int i = 0; i < 3000; ++i)
            projectDevCommand(project);
        readsDone = true;
    });
    const auto release = qScopeGuard([&] {
        stop = true;
        swapper.join();
        // A read stuck on a pipe sees its end once a writer comes and goes.
        while (!readsDone) {
            for (const QByteArray& pipe : std::as_const(pipes)) {
                const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
            }
            std::this_thread::yield();
        }
        reader.join();
    });
    QTRY_VERIFY_WITH_TIMEOUT(readsDone, 20000);
}

void TestLaunchCommand::keptDevCommandFollowsChanges()
{
    // Every change is long past by this clock, so whatever is unchanged is kept.
    const ManualClock clock(QDateTime::currentDateTimeUtc().addSecs(3600));
    DevCommandCache cache(&clock);
    const QString folder = makeProject({{u"package.json"_s, R"({"scripts":{"dev":"vite"}})"}});
    const QString manifest = folder + u"/package.json"_s;
    const auto commandNow = [&] {
        std::optional<QString> command = cache.devCommand(folder);
        cache.endScan();
        return command;
    };
    // Changes a tick of the change time apart from the read before.
    const auto change = [](const std::function<bool()>& step) {
        QTest::qSleep(50);
        QVERIFY(step());
    };

    QCOMPARE(commandNow(), std::optional(u"npm run dev"_s));
    QCOMPARE(commandNow(), std::optional(u"npm run dev"_s));
    change([&] { return QFile(folder + u"/pnpm-lock.yaml"_s).open(QIODevice::WriteOnly); });
    QCOMPARE(commandNow(), std::optional(u"pnpm dev"_s));
    // Rewritten in place: the same file.
    change([&] {
        QFile file(manifest);
        return file.open(QIODevice::WriteOnly) && file.write(R"({"scripts":{"start":"vite"}})") > 0;
    });
    QCOMPARE(commandNow(), std::nullopt);
    // Replaced by another file.
    change([&] {
        QFile file(folder + u"/next.json"_s);
        return file.open(QIODevice::WriteOnly) && file.write(R"({"scripts":{"dev":"vite"}})") > 0 &&
               std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(manifest).constData()) ==
                   0;
    });
    QCOMPARE(commandNow(), std::optional(u"pnpm dev"_s));
    change([&] { return QFile::remove(folder + u"/pnpm-lock.yaml"_s); });
    QCOMPARE(commandNow(), std::optional(u"npm run dev"_s));
    change([&] { return QFile::remove(manifest); });
    QCOMPARE(commandNow(), std::nullopt);

    // Asked twice in one scan, a folder is looked at once.
    const QString other = makeProject({{u"package.json"_s, R"({"scripts":{"dev":"vite"}})"}});
    QCOMPARE(cache.devCommand(other), std::optional(u"npm run dev"_s));
    QVERIFY(QFile::remove(other + u"/package.json"_s));
    QCOMPARE(cache.devCommand(other), std::optional(u"npm run dev"_s));
    cache.endScan();
    QCOMPARE(cache.devCommand(other), std::nullopt);
}

// By the real clock, rewrites right after each read, which may fall in the tick of the change time before.
void TestLaunchCommand::devCommandRewrittenRightAfterAReadIsSeen()
{
    DevCommandCache cache;
    const QString folder = makeProject({{u"package.json"_s, R"({"scripts":{"dev":"vite"}})"}});
    for (int i = 0; i < 20; ++i) {
        const bool withDev = i % 2 == 0;
        QFile file(folder + u"/package.json"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(withDev ? R"({"scripts":{"dev":"vite"}})" : R"({"scripts":{"start":"vite"}})") > 0);
        file.close();
        QCOMPARE(cache.devCommand(folder), withDev ? std::optional(u"npm run dev"_s) : std::nullopt);
        cache.endScan();
    }
}

void TestLaunchCommand::shellCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain stays plain") << QStringList{u"node"_s, u"./server.js"_s, u"--port=3000"_s, u"a,b:c@d%e+f"_s}
                                       << u"node ./server.js --port=3000 a,b:c@d%e+f"_s;
    QTest::newRow("space") << QStringList{u"node"_s, u"--name=My App"_s} << u"node '--name=My App'"_s;
    QTest::newRow("command substitution") << QStringList{u"node"_s, u"$(touch MARKER)"_s, u"`touch MARKER`"_s}
                                          << u"node '$(touch MARKER)' '`touch MARKER`'"_s;
    QTest::newRow("quotes") << QStringList{u"echo"_s, u"it's"_s, u"\"x\""_s} << u"echo 'it'\\''s' '\"x\"'"_s;
    QTest::newRow("empty") << QStringList{u"echo"_s, QString(), u"x"_s} << u"echo '' x"_s;
    QTest::newRow("expansions of the shell")
        << QStringList{u"echo"_s, u"~"_s, u"=ls"_s, u"*"_s, u"a;b"_s, u"!x"_s} << u"echo '~' '=ls' '*' 'a;b' '!x'"_s;
    QTest::newRow("line feed and tab") << QStringList{u"echo"_s, u"a\nb\tc"_s} << u"echo 'a\nb\tc'"_s;
    QTest::newRow("not ascii") << QStringList{u"echo"_s, u"Grüße"_s} << u"echo 'Grüße'"_s;
}

void TestLaunchCommand::shellCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    const QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (QString& argument : arguments)
        argument.replace(u"MARKER"_s, folder.filePath(u"marker"_s));
    line.replace(u"MARKER"_s, folder.filePath(u"marker"_s));
    QCOMPARE(::shellCommandLine(arguments), line);

    // Both shells give back exactly these arguments, and run nothing in them.
    for (const QStringList& shell : {QStringList{u"/bin/zsh"_s, u"-fc"_s}, QStringList{u"/bin/sh"_s, u"-c"_s}}) {
        QProcess process;
        process.start(shell.first(), {shell.at(1), u"printf '%s\\0' "_s + line});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QStringList echoed = QString::fromUtf8(process.readAllStandardOutput()).split(u'\0');
        echoed.removeLast();
        QCOMPARE(echoed, arguments);
        QVERIFY(!QFile::exists(folder.filePath(u"marker"_s)));
    }
}

using NpmVariables = QHash<QString, QString>;
Q_DECLARE_METATYPE(NpmVariables)

void TestLaunchCommand::quotedWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<QStringList>>("words");
    using Words = std::optional<QStringList>;
    QTest::newRow("plain") << u" --port 3001  a=b "_s << Words(QStringList{u"--port"_s, u"3001"_s, u"a=b"_s});
    // npm quotes each argument that holds one of its special characters.
    QTest::newRow("npm's quoting") << u"'--name=My App' 'it'\\''s' '' '$(touch x)'"_s
                                   << Words(QStringList{u"--name=My App"_s, u"it's"_s, QString(), u"$(touch x)"_s});
    QTest::newRow("left as npm leaves them") << u"{a,b} [x] !y"_s << Words(QStringList{u"{a,b}"_s, u"[x]"_s, u"!y"_s});
    QTest::newRow("nothing") << QString() << Words(QStringList{});
    QTest::newRow("an expansion") << u"--dir $HOME"_s << Words();
    QTest::newRow("a command substitution") << u"`id`"_s << Words();
    QTest::newRow("an operator") << u"a; b"_s << Words();
    QTest::newRow("a redirection") << u"a >b"_s << Words();
    QTest::newRow("double quotes") << u"\"a b\""_s << Words();
    QTest::newRow("an open quote") << u"'a b"_s << Words();
    QTest::newRow("a trailing backslash") << u"a\\"_s << Words();
}

void TestLaunchCommand::quotedWords()
{
    QFETCH(QString, text);
    QFETCH(std::optional<QStringList>, words);
    QCOMPARE(LaunchCommand::quotedWords(text), words);
}

void TestLaunchCommand::npmCommand_data()
{
    QTest::addColumn<QStringList>("shell");
    QTest::addColumn<NpmVariables>("variables");
    QTest::addColumn<std::optional<QStringList>>("command");
    using Command = std::optional<QStringList>;
    const QString agent = u"npm/11.19.1 node/v20.20.2 linux x64 workspaces/false"_s;
    const NpmVariables run{{u"npm_config_user_agent"_s, agent},
                           {u"npm_command"_s, u"run"_s},
                           {u"npm_lifecycle_event"_s, u"dev"_s},
                           {u"npm_lifecycle_script"_s, u"node server.js"_s}};
    const QStringList sh{u"sh"_s, u"-c"_s};

    QTest::newRow("npm run dev") << sh + QStringList{u"node server.js"_s} << run
                                 << Command(QStringList{u"npm"_s, u"run"_s, u"dev"_s});
    QTest::newRow("arguments after --") << sh + QStringList{u"node server.js --port 3001 '--name=My App'"_s} << run
                                        << Command(QStringList{u"npm"_s, u"run"_s, u"dev"_s, u"--"_s, u"--port"_s,
                                                               u"3001"_s, u"--name=My App"_s});
    NpmVariables older = run;
    older.insert(u"npm_command"_s, u"run-script"_s);
    QTest::newRow("older npm's run-script") << sh + QStringList{u"node server.js -x"_s} << older
                                            << Command(QStringList{u"npm"_s, u"run"_s, u"dev"_s, u"--"_s, u"-x"_s});
    NpmVariables start = run;
    start.insert(u"npm_command"_s, u"start"_s);
    start.insert(u"npm_lifecycle_event"_s, u"start"_s);
    QTest::newRow("npm start") << sh + QStringList{u"node server.js"_s} << start
                               << Command(QStringList{u"npm"_s, u"start"_s});
    NpmVariables exec = run;
    exec.insert(u"npm_command"_s, u"exec"_s);
    exec.insert(u"npm_lifecycle_event"_s, u"npx"_s);
    exec.insert(u"npm_lifecycle_script"_s, u"'vite'"_s);
    QTest::newRow("npm exec") << sh + QStringList{u"'vite' --port 5173 'a b'"_s} << exec
                              << Command(QStringList{u"npm"_s, u"exec"_s, u"--"_s, u"vite"_s, u"--port"_s, u"5173"_s,
                                                     u"a b"_s});

    QTest::newRow("the script changed since") << sh + QStringList{u"vite --port 1"_s} << run << Command();
    QTest::newRow("glued to the script") << sh + QStringList{u"node server.jsx"_s} << run << Command();
    QTest::newRow("shell code after the script") << sh + QStringList{u"node server.js $(id)"_s} << run << Command();
    QTest::newRow("not a script shell") << QStringList{u"node"_s, u"server.js"_s} << run << Command();
    NpmVariables pnpm = run;
    pnpm.insert(u"npm_config_user_agent"_s, u"pnpm/9.15.9 npm/? node/v20.20.2 linux x64"_s);
    QTest::newRow("another package manager") << sh + QStringList{u"node server.js"_s} << pnpm << Command();
    NpmVariables other = run;
    other.insert(u"npm_command"_s, u"install"_s);
    QTest::newRow("another npm command") << sh + QStringList{u"node server.js"_s} << other << Command();
    NpmVariables mismatched = start;
    mismatched.insert(u"npm_lifecycle_event"_s, u"prestart"_s);
    QTest::newRow("a hook of start") << sh + QStringList{u"node server.js"_s} << mismatched << Command();
    NpmVariables none = run;
    none.remove(u"npm_lifecycle_script"_s);
    QTest::newRow("no script") << sh + QStringList{u"node server.js"_s} << none << Command();
}

void TestLaunchCommand::npmCommand()
{
    QFETCH(QStringList, shell);
    QFETCH(NpmVariables, variables);
    QFETCH(std::optional<QStringList>, command);
    const auto lookup = [&variables](const QString& name) -> std::optional<QString> {
        const auto found = variables.constFind(name);
        return found != variables.cend() ? std::optional(*found) : std::nullopt;
    };
    QCOMPARE(LaunchCommand::npmCommand(shell, lookup), command);
}

void TestLaunchCommand::shellRun_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("script");
    const int interactive = int(ShellRun::Role::Interactive);
    const int command = int(ShellRun::Role::CommandString);
    const int script = int(ShellRun::Role::Script);
    const QString bash = u"/usr/bin/bash"_s;

    QTest::newRow("a terminal's login shell") << bash << QStringList{u"-bash"_s} << interactive << -1;
    QTest::newRow("a terminal's shell") << u"/usr/bin/zsh"_s << QStringList{u"zsh"_s} << interactive << -1;
    QTest::newRow("options only") << bash << QStringList{u"bash"_s, u"-l"_s, u"-i"_s} << interactive << -1;
    QTest::newRow("an option with a value")
        << bash << QStringList{u"bash"_s, u"--rcfile"_s, u"dev.rc"_s} << interactive << -1;
    QTest::newRow("sh -c") << u"/usr/bin/dash"_s << QStringList{u"sh"_s, u"-c"_s, u"node server.js"_s} << command << -1;
    QTest::newRow("a login shell running a command")
        << bash << QStringList{u"bash"_s, u"-l"_s, u"-i"_s, u"-c"_s, u"npm run dev"_s} << command << -1;
    QTest::newRow("flags together") << u"/usr/bin/zsh"_s << QStringList{u"zsh"_s, u"-lic"_s, u"vite"_s} << command
                                    << -1;
    QTest::newRow("a script piped in") << bash << QStringList{u"bash"_s, u"-s"_s, u"--"_s, u"a"_s} << command << -1;
    QTest::newRow("a script") << bash << QStringList{u"/bin/bash"_s, u"./dev.sh"_s, u"--verbose"_s} << script << 1;
    QTest::newRow("a script after options with values")
        << bash << QStringList{u"/bin/bash"_s, u"-e"_s, u"-o"_s, u"pipefail"_s, u"+O"_s, u"extglob"_s, u"dev.sh"_s}
        << script << 6;
    QTest::newRow("a script after --") << bash << QStringList{u"bash"_s, u"--"_s, u"-dev.sh"_s} << script << 2;
    QTest::newRow("a fish script") << u"/usr/bin/fish"_s << QStringList{u"fish"_s, u"dev.fish"_s} << script << 1;
    QTest::newRow("no shell") << u"/usr/bin/node"_s << QStringList{u"node"_s, u"dev.js"_s}
                              << int(ShellRun::Role::NotAShell) << -1;
}

void TestLaunchCommand::shellRun()
{
    QFETCH(QString, executable);
    QFETCH(QStringList, words);
    QFETCH(int, role);
    QFETCH(int, script);
    const ShellRun run = ::shellRun(executable, words);
    QCOMPARE(int(run.role), role);
    QCOMPARE(run.script, qsizetype(script));
}

PORTHIVE_TEST_MAIN(TestLaunchCommand)
#include "tst_launchcommand.moc"
