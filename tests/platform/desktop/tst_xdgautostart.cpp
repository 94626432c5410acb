#include "platform/desktop/desktopentry.h"
#include "platform/desktop/loginitemservice.h"
#include "support/awaittask.h"
#include "support/recordingworkspace.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return !permissions || file.setPermissions(permissions);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr QFileDevice::Permissions executable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

} // namespace

class TestXdgAutostart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void quoting_data();
    void quoting();
    void execValueRoundTrip_data();
    void execValueRoundTrip();
    void parsingExecValues_data();
    void parsingExecValues();
    void readingTheGroup();

    void status_data();
    void status();
    void unreadableEntryIsUnknown();
    void registerWritesAnEntryTheDesktopReads();
    void registerReplacesAHiddenEntry();
    void registerFailsWhenTheFolderCannotBeMade();
    void unregister();
    void unregisterFailureIsReported();
    void settingsProgramOfTheDesktop_data();
    void settingsProgramOfTheDesktop();
    void openSettingsStartsTheDesktopsProgram();
    void openSettingsWithoutAProgramOpensTheFolder();
    void standardEntryIsInTheUsersConfigFolder();

private:
    XdgAutostartLoginItem makeItem(QStringList command = {});
    QString program(const QString& name);

    QTemporaryDir m_scratch;
    QString m_folder;
    QString m_bin;
    RecordingWorkspace m_workspace;
    QList<QStringList> m_started;
};

void TestXdgAutostart::init()
{
    QVERIFY(m_scratch.isValid());
    m_folder = m_scratch.filePath(u"config/autostart"_s);
    QDir(m_scratch.path()).removeRecursively();
    QVERIFY(QDir().mkpath(m_scratch.path()));
    m_bin = m_scratch.filePath(u"bin"_s);
    QVERIFY(QDir().mkpath(m_bin));
    // Only the test's own programs are found by name.
    qputenv("PATH", m_bin.toUtf8());
    m_workspace = RecordingWorkspace();
    m_started.clear();
}

QString TestXdgAutostart::program(const QString& name)
{
    const QString path = QDir(m_bin).filePath(name);
    if (!writeFile(path, "#!/bin/sh\nexit 0\n", executable))
        qFatal("could not write a test program");
    return path;
}

XdgAutostartLoginItem TestXdgAutostart::makeItem(QStringList command)
{
    if (command.isEmpty())
        command = {program(u"porthive"_s)};
    return XdgAutostartLoginItem(
        {m_folder, u"com.vemo.porthive.desktop"_s, command, u"Porthive"_s, u"com.vemo.porthive"_s}, m_workspace,
        [this](const QString& program, const QStringList& arguments) {
            m_started.append(QStringList{program} + arguments);
            return true;
        });
}

void TestXdgAutostart::quoting_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << u"/usr/bin/porthive"_s << u"/usr/bin/porthive"_s;
    QTest::newRow("space") << u"/opt/My Apps/porthive"_s << u"\"/opt/My Apps/porthive\""_s;
    QTest::newRow("dollar") << u"/opt/$HOME/porthive"_s << u"\"/opt/\\$HOME/porthive\""_s;
    QTest::newRow("double quote") << u"/opt/a\"b"_s << u"\"/opt/a\\\"b\""_s;
    QTest::newRow("backslash") << u"/opt/a\\b"_s << u"\"/opt/a\\\\b\""_s;
    QTest::newRow("backtick") << u"/opt/a`b"_s << u"\"/opt/a\\`b\""_s;
    QTest::newRow("single quote") << u"/opt/it's"_s << u"\"/opt/it's\""_s;
    QTest::newRow("percent") << u"/opt/100%/porthive"_s << u"/opt/100%%/porthive"_s;
    QTest::newRow("empty") << QString() << u"\"\""_s;
}

void TestXdgAutostart::quoting()
{
    QFETCH(QString, argument);
    QFETCH(QString, quoted);
    QCOMPARE(DesktopEntry::quoteExecArgument(argument), quoted);
}

void TestXdgAutostart::execValueRoundTrip_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::newRow("plain") << QStringList{u"/usr/bin/porthive"_s};
    QTest::newRow("spaces and arguments") << QStringList{u"/opt/My Apps/porthive"_s, u"--flag"_s, u"two words"_s};
    QTest::newRow("every reserved character") << QStringList{u"/tmp/a b\t\"'\\><~|&;$*?#()`x"_s};
    QTest::newRow("percent and a field code look-alike") << QStringList{u"/opt/50%f/porthive"_s};
    QTest::newRow("line break") << QStringList{u"/tmp/line\nbreak"_s};
    QTest::newRow("leading space") << QStringList{u" lead"_s};
    QTest::newRow("unicode") << QStringList{u"/home/zoë/Anwendungen/porthive"_s};
}

void TestXdgAutostart::execValueRoundTrip()
{
    QFETCH(QStringList, command);
    // As written into the file and read back from it.
    const QString inFile = DesktopEntry::escapeValue(DesktopEntry::execValue(command));
    QVERIFY(!inFile.contains(u'\n'));
    const QHash<QString, QString> keys = DesktopEntry::readGroup("[Desktop Entry]\nExec=" + inFile.toUtf8() + "\n");
    QCOMPARE(DesktopEntry::parseExecValue(keys.value(u"Exec"_s)), std::optional<QStringList>(command));
}

void TestXdgAutostart::parsingExecValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<std::optional<QStringList>>("arguments");
    QTest::newRow("field codes dropped") << u"porthive %U --x=%f"_s
                                         << std::optional<QStringList>(QStringList{u"porthive"_s, u"--x="_s});
    QTest::newRow("blank runs") << u"  porthive   a "_s
                                << std::optional<QStringList>(QStringList{u"porthive"_s, u"a"_s});
    QTest::newRow("quote left open") << u"\"/opt/porthive"_s << std::optional<QStringList>();
    QTest::newRow("empty") << QString() << std::optional<QStringList>(QStringList());
}

void TestXdgAutostart::parsingExecValues()
{
    QFETCH(QString, value);
    QFETCH(std::optional<QStringList>, arguments);
    QCOMPARE(DesktopEntry::parseExecValue(value), arguments);
}

void TestXdgAutostart::readingTheGroup()
{
    const QByteArray contents = "# comment\n"
                                "[Other Group]\nHidden=true\n"
                                "[Desktop Entry]\n"
                                "Name = Porthive \n"
                                "Name[de]=Porthive DE\n"
                                "Comment=a\\sb\\\\c\n"
                                "Hidden=false\n"
                                "Hidden=true\n"
                                "[Desktop Action quit]\nExec=nothing\n";
    const QHash<QString, QString> keys = DesktopEntry::readGroup(contents);
    QCOMPARE(keys.value(u"Name"_s), u"Porthive"_s);
    QCOMPARE(keys.value(u"Name[de]"_s), u"Porthive DE"_s);
    QCOMPARE(keys.value(u"Comment"_s), u"a b\\c"_s);
    QCOMPARE(keys.value(u"Hidden"_s), u"false"_s);
    QVERIFY(!keys.contains(u"Exec"_s));
    QCOMPARE(DesktopEntry::booleanValue(u"true"_s), std::optional<bool>(true));
    QCOMPARE(DesktopEntry::booleanValue(u"0"_s), std::optional<bool>(false));
    QCOMPARE(DesktopEntry::booleanValue(u"yes"_s), std::optional<bool>());
}

void TestXdgAutostart::status_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<int>("status");
    const QByteArray exec = "Exec=@PROGRAM@\n";
    QTest::newRow("absent") << QByteArray() << LoginItemServiceStatus::notRegistered;
    QTest::newRow("enabled") << "[Desktop Entry]\nType=Application\n" + exec << LoginItemServiceStatus::enabled;
    QTest::newRow("enabled by name on the path")
        << QByteArray("[Desktop Entry]\nExec=porthive --x\n") << LoginItemServiceStatus::enabled;
    QTest::newRow("hidden") << "[Desktop Entry]\nHidden=true\n" + exec << LoginItemServiceStatus::notRegistered;
    QTest::newRow("switched off in GNOME")
        << "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n" + exec << LoginItemServiceStatus::notRegistered;
    QTest::newRow("switched on in GNOME")
        << "[Desktop Entry]\nX-GNOME-Autostart-enabled=true\nHidden=false\n" + exec << LoginItemServiceStatus::enabled;
    QTest::newRow("program gone") << QByteArray("[Desktop Entry]\nExec=/opt/gone/porthive\n")
                                  << LoginItemServiceStatus::notFound;
    QTest::newRow("program by name not on the path")
        << QByteArray("[Desktop Entry]\nExec=porthive-gone\n") << LoginItemServiceStatus::notFound;
    QTest::newRow("no command") << QByteArray("[Desktop Entry]\nType=Application\n")
                                << LoginItemServiceStatus::notFound;
    QTest::newRow("program is a folder") << QByteArray("[Desktop Entry]\nExec=/tmp\n")
                                         << LoginItemServiceStatus::notFound;
    QTest::newRow("quote left open") << QByteArray("[Desktop Entry]\nExec=\"/opt/porthive\n")
                                     << LoginItemServiceStatus::unreadable;
}

void TestXdgAutostart::status()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, status);
    XdgAutostartLoginItem item = makeItem();
    if (!entry.isEmpty()) {
        QVERIFY(QDir().mkpath(m_folder));
        entry.replace("@PROGRAM@", DesktopEntry::execValue(item.options().command).toUtf8());
        QVERIFY(writeFile(item.entryPath(), entry));
    }
    QCOMPARE(item.status(), status);
}

void TestXdgAutostart::unreadableEntryIsUnknown()
{
    // Tests run as root, who reads any file; a folder in the entry's place cannot be read either way.
    XdgAutostartLoginItem item = makeItem();
    QVERIFY(QDir().mkpath(item.entryPath()));
    QCOMPARE(item.status(), LoginItemServiceStatus::unreadable);
}

void TestXdgAutostart::registerWritesAnEntryTheDesktopReads()
{
    const QString spaced = QDir(m_bin).filePath(u"My Apps"_s);
    QVERIFY(QDir().mkpath(spaced));
    const QString path = QDir(spaced).filePath(u"porthive $1"_s);
    QVERIFY(writeFile(path, "#!/bin/sh\n", executable));
    XdgAutostartLoginItem item = makeItem({path});
    QCOMPARE(item.status(), LoginItemServiceStatus::notRegistered);

    item.registerItem();
    QCOMPARE(item.status(), LoginItemServiceStatus::enabled);
    const QHash<QString, QString> keys = DesktopEntry::readGroup(readFile(item.entryPath()));
    QCOMPARE(keys.value(u"Type"_s), u"Application"_s);
    QCOMPARE(keys.value(u"Name"_s), u"Porthive"_s);
    QCOMPARE(keys.value(u"Icon"_s), u"com.vemo.porthive"_s);
    QCOMPARE(DesktopEntry::parseExecValue(keys.value(u"Exec"_s)), std::optional<QStringList>(QStringList{path}));
    QCOMPARE(keys.value(u"X-GNOME-Autostart-enabled"_s), u"true"_s);
    QVERIFY(!keys.contains(u"Hidden"_s));
    // Written through a temporary file renamed into place: nothing else is left in the folder.
    QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"com.vemo.porthive.desktop"_s});
}

void TestXdgAutostart::registerReplacesAHiddenEntry()
{
    XdgAutostartLoginItem item = makeItem();
    QVERIFY(QDir().mkpath(m_folder));
    QVERIFY(writeFile(item.entryPath(), "[Desktop Entry]\nHidden=true\nExec=/opt/old/porthive\n"));
    QCOMPARE(item.status(), LoginItemServiceStatus::notRegistered);
    item.registerItem();
    QCOMPARE(item.status(), LoginItemServiceStatus::enabled);
}

void TestXdgAutostart::registerFailsWhenTheFolderCannotBeMade()
{
    // A file where the folder should be.
    QVERIFY(QDir().mkpath(m_scratch.filePath(u"config"_s)));
    QVERIFY(writeFile(m_folder, "not a folder"));
    XdgAutostartLoginItem item = makeItem();
    QVERIFY_THROWS_EXCEPTION(LoginItemError, item.registerItem());
    QCOMPARE(item.status(), LoginItemServiceStatus::notRegistered);
}

void TestXdgAutostart::unregister()
{
    XdgAutostartLoginItem item = makeItem();
    // Nothing registered: removing it is success.
    QVERIFY(!awaitTask(item.unregisterItem()).has_value());

    item.registerItem();
    QVERIFY(!awaitTask(item.unregisterItem()).has_value());
    QVERIFY(!QFile::exists(item.entryPath()));
    QCOMPARE(item.status(), LoginItemServiceStatus::notRegistered);
}

void TestXdgAutostart::unregisterFailureIsReported()
{
    XdgAutostartLoginItem item = makeItem();
    // A folder with something in it cannot be removed as a file.
    QVERIFY(QDir().mkpath(item.entryPath() + u"/inside"_s));
    const std::optional<LoginItemError> error = awaitTask(item.unregisterItem());
    QVERIFY(error.has_value());
    QVERIFY(!error->description().isEmpty());
    QVERIFY(QFileInfo::exists(item.entryPath()));
}

void TestXdgAutostart::settingsProgramOfTheDesktop_data()
{
    QTest::addColumn<QString>("currentDesktop");
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QStringList>("command");
    QTest::newRow("KDE") << u"KDE"_s << QStringList{u"systemsettings"_s}
                         << QStringList{u"systemsettings"_s, u"kcm_autostart"_s};
    QTest::newRow("KDE 5") << u"KDE"_s << QStringList{u"systemsettings5"_s}
                           << QStringList{u"systemsettings5"_s, u"kcm_autostart"_s};
    QTest::newRow("XFCE") << u"XFCE"_s << QStringList{u"xfce4-session-settings"_s}
                          << QStringList{u"xfce4-session-settings"_s};
    QTest::newRow("LXQt") << u"LXQt"_s << QStringList{u"lxqt-config-session"_s}
                          << QStringList{u"lxqt-config-session"_s};
    QTest::newRow("MATE") << u"MATE"_s << QStringList{u"mate-session-properties"_s}
                          << QStringList{u"mate-session-properties"_s};
    QTest::newRow("listed second") << u"ubuntu:XFCE"_s << QStringList{u"xfce4-session-settings"_s}
                                   << QStringList{u"xfce4-session-settings"_s};
    QTest::newRow("first listed wins") << u"MATE:XFCE"_s
                                       << QStringList{u"xfce4-session-settings"_s, u"mate-session-properties"_s}
                                       << QStringList{u"mate-session-properties"_s};
    QTest::newRow("program missing") << u"XFCE"_s << QStringList() << QStringList();
    QTest::newRow("another desktop") << u"GNOME"_s << QStringList{u"xfce4-session-settings"_s} << QStringList();
    QTest::newRow("none") << QString() << QStringList() << QStringList();
}

void TestXdgAutostart::settingsProgramOfTheDesktop()
{
    QFETCH(QString, currentDesktop);
    QFETCH(QStringList, installed);
    QFETCH(QStringList, command);
    for (const QString& name : std::as_const(installed))
        program(name);
    QStringList expected = command;
    if (!expected.isEmpty())
        expected.first() = QDir(m_bin).filePath(expected.first());
    QCOMPARE(XdgAutostartLoginItem::settingsCommand(currentDesktop), expected);
}

void TestXdgAutostart::openSettingsStartsTheDesktopsProgram()
{
    const QString settings = program(u"systemsettings"_s);
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    makeItem().openSystemSettings();
    QCOMPARE(m_started, (QList<QStringList>{{settings, u"kcm_autostart"_s}}));
    QCOMPARE(m_workspace.openedURLs, QList<QUrl>());
}

void TestXdgAutostart::openSettingsWithoutAProgramOpensTheFolder()
{
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    makeItem().openSystemSettings();
    QCOMPARE(m_started, QList<QStringList>());
    QCOMPARE(m_workspace.openedURLs, QList<QUrl>{QUrl::fromLocalFile(m_folder)});
    QVERIFY(QFileInfo(m_folder).isDir());
}

void TestXdgAutostart::standardEntryIsInTheUsersConfigFolder()
{
    const XdgAutostartLoginItem::Options options = XdgAutostartLoginItem::standardOptions();
    QCOMPARE(options.autostartFolder, qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart"_s);
    QCOMPARE(options.fileName, u"com.vemo.porthive.desktop"_s);
    QCOMPARE(options.command, QStringList{QCoreApplication::applicationFilePath()});
    // The icon the install rules put under share/icons/hicolor.
    QCOMPARE(options.icon, u"com.vemo.porthive"_s);
}

PORTHIVE_TEST_MAIN(TestXdgAutostart)
#include "tst_xdgautostart.moc"
