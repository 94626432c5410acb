#pragma once

#include "control/refreshstate.h"
#include "control/serverlogsession.h"
#include "discovery/localserver.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// What a server row reads from the store about its server.
struct ServerRowFacts
{
    std::optional<ServerActionFeedback> pending;
    // The captured launch of the server's project folder; none without a folder.
    std::optional<ServerLogSession> session;
    // The one-line preview of that launch, when one was read.
    std::optional<QString> preview;

    static ServerRowFacts of(const LocalServer& server, const QHash<QString, ServerActionFeedback>& pending,
                             const QHash<QString, ServerLogSession>& sessions, const QHash<QString, QString>& previews);

    friend bool operator==(const ServerRowFacts&, const ServerRowFacts&) = default;
};

// One segment of a row's action strip.
struct RowAction
{
    QString symbol;
    QString help;
    // Empty: the help is spoken.
    QString accessibilityLabel;
    QString accessibilityHint;
    bool destructive = false;
    // Invalid: no tint.
    QColor tint;
    bool loading = false;
    bool disabled = false;

    friend bool operator==(const RowAction&, const RowAction&) = default;
};

// The leading accent bar of a row.
struct AccentBarLook
{
    QColor color;
    bool visible = false;
    bool dimmed = false;

    friend bool operator==(const AccentBarLook&, const AccentBarLook&) = default;
};

// What a running-server row shows and does, apart from drawing.
namespace ServerRowLogic {

// The segments of the strip, in order; reveal exists only with a project folder.
struct Actions
{
    RowAction pauseResume;
    RowAction restart;
    RowAction showOutput;
    std::optional<RowAction> reveal;
    RowAction forceKill;

    friend bool operator==(const Actions&, const Actions&) = default;
};

// The tag of a busy mark: one capitalised word.
QString pendingTagText(ServerActionFeedback pending);
// A kill shows in red, the other marks in amber.
QColor pendingTagColor(ServerActionFeedback pending);

// Running and not busy: the accent bar lights.
bool isLive(const LocalServer& server, const ServerRowFacts& facts);
// The strip stands out while hovered, confirming a kill or busy.
bool isRevealed(bool hovering, bool confirmingKill, bool hasPending);

QColor rowBackground(RuntimeKind kind, bool paused, bool hovering, bool confirmingKill);
AccentBarLook accentBar(RuntimeKind kind, bool live, bool hovering, bool confirmingKill);

// `revealHelp` names the desktop's file manager.
Actions actions(const LocalServer& server, const ServerRowFacts& facts, const QString& revealHelp);

// Why a server with a folder cannot be restarted: its command could not be read exactly (an argument that is no
// text, a title written over its arguments), and there is no dev script to run instead.
QString restartUnavailableText();
// "Open " and the address: the main button's tooltip.
QString openHelpText(const LocalServer& server);
// Executable, working folder, parent, command (the given variables in front), clients and the log help, one per
// line; `home` abbreviated and every outside text made safe to show.
QString detailTooltip(const LocalServer& server, const ServerRowFacts& facts, const QString& home);
QString logHelpText(const LocalServer& server, const ServerRowFacts& facts);
QString logPreviewText(const LocalServer& server, const ServerRowFacts& facts);
// The title as the row and the log page show it: the display title without the characters of outside text
// that must not be shown.
QString title(const LocalServer& server);
// The working folder's name, else the parent, else the executable's name.
QString locationText(const LocalServer& server);
// The location, or nothing when it reads exactly as the title.
QString shownLocationText(const LocalServer& server);
std::optional<LogSelection> makeLogSelection(const LocalServer& server, const ServerRowFacts& facts);

} // namespace ServerRowLogic

// The one row that stands for every agent-browser session.
namespace AgentBrowserGroupLogic {

// The first session that answered HTTP, else the first one.
std::optional<LocalServer> primaryServer(const QList<LocalServer>& servers);
// "3 sessions".
QString sessionsText(const QList<LocalServer>& servers);
// Up to three distinct working-folder names ("shop, blog, docs +2"), else up to four ports (":9222 :9223 +1").
QString summaryText(const QList<LocalServer>& servers);
// One line per session: its folder name (or "Agent Browser"), a space, a colon and the port.
QString tooltipText(const QList<LocalServer>& servers);

QColor background(bool hovering);
AccentBarLook accentBar(bool hovering);

} // namespace AgentBrowserGroupLogic
