#pragma once

#include "base/runtimekind.h"
#include "base/snapshotrows.h"
#include "discovery/shellrole.h"

#include <QList>
#include <QString>

#include <optional>

// A listening process and its nearest ancestors read as one chain: whether it is a development server worth probing,
// its runtime, the process whose command line starts it again and the processes an action signals. The word tests
// over the processes' texts live here, apart from the scan that joins the listings.
class LaunchChain
{
public:
    // One member with its lowercased text, which every word test reads.
    struct Member
    {
        ProcessRow row;
        QString text;
        ShellRun shell = LaunchChain::shellRunOf(row);
    };

    // What the chain says, worked out at once.
    struct Facts
    {
        bool wanted = false;
        RuntimeKind runtime = RuntimeKind::Node;
        std::optional<ProcessRow> launch;
        QList<qint32> managed;
    };

    // The process first, then its ancestors, nearest first.
    LaunchChain(const ProcessRow& process, const QList<ProcessRow>& ancestors);
    explicit LaunchChain(QList<Member> members);

    // Whether a loopback or wildcard listener of the chain's process is a candidate.
    bool isWanted() const;
    RuntimeKind runtime() const;
    // The process whose command line would start the server again.
    std::optional<ProcessRow> launch() const;
    // The processes an action signals: the outermost launcher first, the listening process last, each once.
    QList<qint32> managed(const std::optional<ProcessRow>& launch) const;
    // Whether it is wanted and, if so, the rest.
    Facts facts() const;

    // The executable, a space and the command line, lowercased: what every word test looks at.
    static QString processText(const ProcessRow& row);
    static bool isDevCommand(const ProcessRow& row);
    static bool hasDevToolInChain(const ProcessRow& process, const QList<ProcessRow>& ancestors);
    static bool isAgentBrowserProcess(const ProcessRow& row);
    static bool isAppHelperProcess(const ProcessRow& row);
    static bool isBrowserDebugPortProcess(const ProcessRow& row);
    static bool isPackageManagerDevProcess(const ProcessRow& row);
    static bool isServerChain(const ProcessRow& process, const QList<ProcessRow>& ancestors);
    static RuntimeKind classifyRuntime(const ProcessRow& process, const QList<ProcessRow>& ancestors);
    static std::optional<ProcessRow> launchProcess(const ProcessRow& process, const QList<ProcessRow>& ancestors);
    static QList<qint32> managedProcessIDs(const ProcessRow& process, const QList<ProcessRow>& ancestors);

    // What a shell row does, from its listed words: the same row always gives the same answer.
    static ShellRun shellRunOf(const ProcessRow& row);
    // Whether a process can be part of what a user ran to start a server: a development tool, or a shell that runs
    // a command string or a script. The user's own shell and any other program (a terminal, tmux, an editor, a
    // process manager, init, this program whatever its path reads like) only started it.
    static bool isLaunchPart(const ProcessRow& row, const QString& text, const ShellRun& shell);

private:
    // How many members, from the listening process outward, the launch can be made of.
    qsizetype launchReach() const;
    // The position of the launch process among the members the launch can be made of.
    std::optional<qsizetype> launchIndex() const;

    QList<Member> m_members;
};
