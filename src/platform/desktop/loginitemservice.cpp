#include "platform/desktop/loginitemservice.h"

#include "base/asyncwork.h"
#include "platform/desktop/desktopentry.h"
#include "platform/desktop/workspace.h"
#include "platform/updates/bundleinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

bool isRunnable(const QString& program)
{
    if (program.isEmpty())
        return false;
    if (!program.contains(u'/'))
        return !QStandardPaths::findExecutable(program).isEmpty();
    const QFileInfo info(program);
    return info.isAbsolute() && info.isFile() && info.isExecutable();
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(Options options, Workspace& workspace, ProgramStarter startProgram)
    : m_options(std::move(options))
    , m_workspace(workspace)
    , m_startProgram(std::move(startProgram))
{}

XdgAutostartLoginItem::Options XdgAutostartLoginItem::standardOptions()
{
    const QString identifier = BundleInfo::main().value(u"CFBundleIdentifier"_s).value_or(u"porthive"_s);
    return {
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/autostart"_s,
        identifier + u".desktop"_s,
        {QCoreApplication::applicationFilePath()},
        u"Porthive"_s,
        identifier,
    };
}

QString XdgAutostartLoginItem::entryPath() const
{
    return QDir(m_options.autostartFolder).filePath(m_options.fileName);
}

int XdgAutostartLoginItem::status() const
{
    const QFileInfo info(entryPath());
    if (!info.exists() && !info.isSymLink())
        return LoginItemServiceStatus::notRegistered;
    QFile file(entryPath());
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return LoginItemServiceStatus::unreadable;
    const QHash<QString, QString> keys = DesktopEntry::readGroup(file.readAll());
    if (file.error() != QFileDevice::NoError)
        return LoginItemServiceStatus::unreadable;

    // Both are how the desktops switch an entry off without deleting it.
    if (DesktopEntry::booleanValue(keys.value(u"Hidden"_s)) == true ||
        DesktopEntry::booleanValue(keys.value(u"X-GNOME-Autostart-enabled"_s)) == false)
        return LoginItemServiceStatus::notRegistered;

    const std::optional<QStringList> command = DesktopEntry::parseExecValue(keys.value(u"Exec"_s));
    if (!command)
        return LoginItemServiceStatus::unreadable;
    if (command->isEmpty() || !isRunnable(command->constFirst()))
        return LoginItemServiceStatus::notFound;
    return LoginItemServiceStatus::enabled;
}

void XdgAutostartLoginItem::registerItem()
{
    if (!QDir().mkpath(m_options.autostartFolder))
        throw LoginItemError(u"Could not create the autostart folder %1"_s.arg(m_options.autostartFolder));

    QString text = u"[Desktop Entry]\n"_s
                   u"Type=Application\n"_s
                   u"Version=1.0\n"_s;
    text += u"Name="_s + DesktopEntry::escapeValue(m_options.name) + u'\n';
    text += u"Exec="_s + DesktopEntry::escapeValue(DesktopEntry::execValue(m_options.command)) + u'\n';
    if (!m_options.icon.isEmpty())
        text += u"Icon="_s + DesktopEntry::escapeValue(m_options.icon) + u'\n';
    text += u"Terminal=false\n"_s
            u"NoDisplay=true\n"_s
            u"X-GNOME-Autostart-enabled=true\n"_s;

    // Written whole or not at all: the session reads the folder at every login.
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw LoginItemError(file.errorString());
}

QCoro::Task<std::optional<LoginItemError>> XdgAutostartLoginItem::unregisterItem()
{
    const QString path = entryPath();
    auto removal = AsyncWork::runOn(QThreadPool::globalInstance(), [path]() -> std::optional<LoginItemError> {
        QFile file(path);
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return std::nullopt;
        if (file.remove())
            return std::nullopt;
        return LoginItemError(file.errorString());
    });
    co_return co_await removal;
}

QStringList XdgAutostartLoginItem::settingsCommand(const QString& currentDesktop)
{
    struct Candidate
    {
        QString desktop;
        QStringList command;
    };
    static const QList<Candidate> candidates = {
        {u"KDE"_s, {u"systemsettings"_s, u"kcm_autostart"_s}},
        {u"KDE"_s, {u"systemsettings5"_s, u"kcm_autostart"_s}},
        {u"XFCE"_s, {u"xfce4-session-settings"_s}},
        {u"LXQt"_s, {u"lxqt-config-session"_s}},
        {u"MATE"_s, {u"mate-session-properties"_s}},
    };
    // XDG_CURRENT_DESKTOP lists names most specific first.
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        for (const Candidate& candidate : candidates) {
            if (desktop.compare(candidate.desktop, Qt::CaseInsensitive) != 0)
                continue;
            const QString program = QStandardPaths::findExecutable(candidate.command.constFirst());
            if (!program.isEmpty())
                return QStringList{program} + candidate.command.mid(1);
        }
    }
    return {};
}

void XdgAutostartLoginItem::openSystemSettings()
{
    const QStringList command = settingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    if (!command.isEmpty() && m_startProgram(command.constFirst(), command.mid(1)))
        return;
    // Without a settings program of its own, the desktop shows the entries as files.
    QDir().mkpath(m_options.autostartFolder);
    m_workspace.openURL(QUrl::fromLocalFile(m_options.autostartFolder));
}

bool XdgAutostartLoginItem::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}
