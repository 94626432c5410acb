#include "serverrowlogic.h"

#include "control/actionerror.h"
#include "discovery/pathtext.h"
#include "displaytext.h"
#include "kitstyle.h"

using namespace Qt::StringLiterals;

namespace {

QColor accent(RuntimeKind kind)
{
    return KitLooks::runtimeAccent(RuntimeKinds::rawValue(kind));
}

// The last component of an outside path, as rows show it.
QString shownName(const QString& path)
{
    return displaySafeText(lastPathComponent(path));
}

} // namespace

ServerRowFacts ServerRowFacts::of(const LocalServer& server, const QHash<QString, ServerActionFeedback>& pending,
                                  const QHash<QString, ServerLogSession>& sessions,
                                  const QHash<QString, QString>& previews)
{
    ServerRowFacts facts;
    if (const auto mark = pending.constFind(server.id()); mark != pending.cend())
        facts.pending = *mark;
    if (server.projectPath) {
        if (const auto session = sessions.constFind(*server.projectPath); session != sessions.cend())
            facts.session = *session;
        if (const auto preview = previews.constFind(*server.projectPath); preview != previews.cend())
            facts.preview = *preview;
    }
    return facts;
}

namespace ServerRowLogic {

QString pendingTagText(ServerActionFeedback pending)
{
    switch (pending) {
    case ServerActionFeedback::Pausing:
        return u"Pausing"_s;
    case ServerActionFeedback::Resuming:
        return u"Resuming"_s;
    case ServerActionFeedback::Restarting:
        return u"Restarting"_s;
    case ServerActionFeedback::Killing:
        return u"Killing"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QColor pendingTagColor(ServerActionFeedback pending)
{
    return pending == ServerActionFeedback::Killing ? KitLooks::red() : KitLooks::amber();
}

bool isLive(const LocalServer& server, const ServerRowFacts& facts)
{
    return !server.isPaused && !facts.pending;
}

bool isRevealed(bool hovering, bool confirmingKill, bool hasPending)
{
    return hovering || confirmingKill || hasPending;
}

QColor rowBackground(RuntimeKind kind, bool paused, bool hovering, bool confirmingKill)
{
    if (confirmingKill)
        return KitLooks::withOpacity(KitLooks::red(), 0.07);
    if (hovering)
        return KitLooks::withOpacity(accent(kind), 0.09);
    if (paused)
        return KitLooks::withOpacity(KitLooks::orange(), 0.04);
    return Qt::transparent;
}

AccentBarLook accentBar(RuntimeKind kind, bool live, bool hovering, bool confirmingKill)
{
    return {confirmingKill ? KitLooks::red() : accent(kind), hovering || confirmingKill || live,
            !hovering && !confirmingKill};
}

Actions actions(const LocalServer& server, const ServerRowFacts& facts, const QString& revealHelp)
{
    const bool busy = facts.pending.has_value();
    const auto pendingIs = [&facts](std::initializer_list<ServerActionFeedback> marks) {
        return facts.pending && std::find(marks.begin(), marks.end(), *facts.pending) != marks.end();
    };
    const bool hasSession = facts.session.has_value() && server.projectPath;

    Actions result;
    result.pauseResume.symbol = server.isPaused ? u"play.fill"_s : u"pause.fill"_s;
    result.pauseResume.help = server.isPaused ? u"Resume"_s : u"Pause"_s;
    result.pauseResume.loading = pendingIs({ServerActionFeedback::Pausing, ServerActionFeedback::Resuming});
    result.pauseResume.disabled = busy;

    result.restart.symbol = u"arrow.clockwise"_s;
    result.restart.help =
        server.projectPath && server.rawCommandLine.isEmpty() ? restartUnavailableText() : u"Restart"_s;
    result.restart.loading = pendingIs({ServerActionFeedback::Restarting});
    result.restart.disabled = !server.projectPath || server.rawCommandLine.isEmpty() || busy;

    result.showOutput.symbol = u"terminal"_s;
    result.showOutput.help =
        hasSession ? u"Show server output"_s : u"Logs not captured \u2014 start or restart from Porthive"_s;
    result.showOutput.accessibilityLabel = u"Show server output"_s;
    result.showOutput.accessibilityHint =
        hasSession ? logPreviewText(server, facts) : u"Start or restart this project from Porthive to capture logs."_s;
    result.showOutput.disabled = !makeLogSelection(server, facts);

    if (server.projectPath) {
        RowAction reveal;
        reveal.symbol = u"folder"_s;
        reveal.help = revealHelp;
        result.reveal = reveal;
    }

    result.forceKill.symbol = u"xmark"_s;
    result.forceKill.help = u"Force kill"_s;
    result.forceKill.destructive = true;
    result.forceKill.loading = pendingIs({ServerActionFeedback::Killing});
    result.forceKill.disabled = busy;
    return result;
}

QString restartUnavailableText()
{
    return ActionError::commandNotReplayable().description();
}

QString openHelpText(const LocalServer& server)
{
    return u"Open "_s + server.url.toString();
}

QString detailTooltip(const LocalServer& server, const ServerRowFacts& facts, const QString& home)
{
    QStringList lines;
    lines.append(u"Executable: "_s + displaySafeText(abbreviatingHome(server.processExecutable, home)));
    if (server.processWorkingDirectory)
        lines.append(u"Working directory: "_s +
                     displaySafeText(abbreviatingHome(*server.processWorkingDirectory, home)));
    if (server.parentProcessSummary)
        lines.append(u"Parent: "_s + displaySafeText(*server.parentProcessSummary));
    lines.append(u"Command: "_s + displaySafeLaunch(server.displayCommandLine, server.launchEnvironment));
    // A disabled button shows no tooltip of its own.
    if (server.projectPath && server.rawCommandLine.isEmpty())
        lines.append(restartUnavailableText());
    if (!server.activeConnectionClients.isEmpty())
        lines.append(u"Clients: "_s + displaySafeText(server.activeConnectionClients.join(u", "_s)));
    lines.append(logHelpText(server, facts));
    return lines.join(u'\n');
}

QString logHelpText(const LocalServer& server, const ServerRowFacts& facts)
{
    if (!facts.session || !server.projectPath)
        return u"Logs not captured \u2014 start or restart from Porthive"_s;
    return u"Latest output: "_s + logPreviewText(server, facts);
}

QString logPreviewText(const LocalServer& server, const ServerRowFacts& facts)
{
    if (!server.projectPath || !facts.session)
        return u"Not captured"_s;
    return facts.preview.value_or(u"No output yet"_s);
}

QString title(const LocalServer& server)
{
    return displaySafeText(server.displayTitle());
}

QString locationText(const LocalServer& server)
{
    if (server.processWorkingDirectory)
        return shownName(*server.processWorkingDirectory);
    if (server.parentProcessSummary)
        return displaySafeText(*server.parentProcessSummary);
    return shownName(server.processExecutable);
}

QString shownLocationText(const LocalServer& server)
{
    const QString location = locationText(server);
    return location == title(server) ? QString() : location;
}

std::optional<LogSelection> makeLogSelection(const LocalServer& server, const ServerRowFacts& facts)
{
    if (!server.projectPath || !facts.session)
        return std::nullopt;
    return LogSelection{*facts.session, title(server), server.port};
}

} // namespace ServerRowLogic

namespace AgentBrowserGroupLogic {

std::optional<LocalServer> primaryServer(const QList<LocalServer>& servers)
{
    for (const LocalServer& server : servers) {
        if (server.httpStatus)
            return server;
    }
    if (servers.isEmpty())
        return std::nullopt;
    return servers.constFirst();
}

QString sessionsText(const QList<LocalServer>& servers)
{
    return QString::number(servers.size()) + u" sessions"_s;
}

QString summaryText(const QList<LocalServer>& servers)
{
    QStringList names;
    for (const LocalServer& server : servers) {
        if (!server.processWorkingDirectory)
            continue;
        const QString name = shownName(*server.processWorkingDirectory);
        if (!names.contains(name))
            names.append(name);
    }
    const auto summarise = [](const QStringList& parts, qsizetype shown, const QString& separator) {
        QString text = parts.mid(0, shown).join(separator);
        if (parts.size() > shown)
            text += u" +"_s + QString::number(parts.size() - shown);
        return text;
    };
    if (!names.isEmpty())
        return summarise(names, 3, u", "_s);
    QStringList ports;
    for (const LocalServer& server : servers)
        ports.append(u":"_s + QString::number(server.port));
    return summarise(ports, 4, u" "_s);
}

QString tooltipText(const QList<LocalServer>& servers)
{
    QStringList lines;
    for (const LocalServer& server : servers) {
        const QString name = server.processWorkingDirectory ? shownName(*server.processWorkingDirectory)
                                                            : RuntimeKinds::displayName(RuntimeKind::AgentBrowser);
        lines.append(name + u" :"_s + QString::number(server.port));
    }
    return lines.join(u'\n');
}

QColor background(bool hovering)
{
    return hovering ? KitLooks::withOpacity(accent(RuntimeKind::AgentBrowser), 0.08) : QColor(Qt::transparent);
}

AccentBarLook accentBar(bool hovering)
{
    return {accent(RuntimeKind::AgentBrowser), hovering, true};
}

} // namespace AgentBrowserGroupLogic
