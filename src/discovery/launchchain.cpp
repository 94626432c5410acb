#include "discovery/launchchain.h"

#include "discovery/launchcommand.h"
#include "discovery/launchenvironment.h"
#include "discovery/pathtext.h"
#include "platform/launching/processsignals.h"
#include "platform/listings/detectionplatform.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

bool containsAny(const QString& text, std::initializer_list<QStringView> needles)
{
    return std::any_of(needles.begin(), needles.end(), [&](QStringView needle) { return text.contains(needle); });
}

bool matchesAny(const QString& text, const QList<DetectionPlatform::ProcessTextRule>& rules)
{
    return std::any_of(rules.cbegin(), rules.cend(),
                       [&](const DetectionPlatform::ProcessTextRule& rule) { return rule.matches(text); });
}

bool isDevText(const QString& text)
{
    return containsAny(text, {u"node", u"/npm", u" npm ", u"/pnpm", u" pnpm ", u"/yarn", u" yarn ", u"/bun", u" bun ",
                              u"tsx", u"next", u"vite"});
}

bool isAgentBrowserText(const QString& text)
{
    return containsAny(text, {u"/agent-browser/bin/agent-browser-", u"/agent-browser/bin/agent-browser.js"}) ||
           text.endsWith(u"/agent-browser"_s);
}

bool isPackageManagerDevText(const QString& text)
{
    return containsAny(text, {u"pnpm", u"npm", u"yarn", u"bun"}) && text.contains(u"dev"_s);
}

} // namespace

LaunchChain::LaunchChain(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    m_members.reserve(ancestors.size() + 1);
    m_members.append({process, processText(process)});
    for (const ProcessRow& row : ancestors)
        m_members.append({row, processText(row)});
}

LaunchChain::LaunchChain(QList<Member> members)
    : m_members(std::move(members))
{
    Q_ASSERT(!m_members.isEmpty());
}

ShellRun LaunchChain::shellRunOf(const ProcessRow& row)
{
    if (!LaunchEnvironment::isShellName(row.executable))
        return {};
    return shellRun(row.executable, LaunchCommand::splitWords(row.commandLine));
}

bool LaunchChain::isLaunchPart(const ProcessRow& row, const QString& text, const ShellRun& shell)
{
    if (row.pid == ProcessSignals::ownProcessId())
        return false;
    switch (shell.role) {
    case ShellRun::Role::CommandString:
    case ShellRun::Role::Script:
        return true;
    case ShellRun::Role::Interactive:
        return false;
    case ShellRun::Role::NotAShell:
        break;
    }
    return isDevText(text);
}

// Up to the first ancestor that only started it. What lies beyond never decides what runs again or what an action
// stops, so a server comes back the same whatever started the command: a terminal's shell, `bash -c` from a script,
// tmux or an editor.
qsizetype LaunchChain::launchReach() const
{
    qsizetype reach = 1;
    while (reach < m_members.size() &&
           isLaunchPart(m_members.at(reach).row, m_members.at(reach).text, m_members.at(reach).shell))
        ++reach;
    return reach;
}

bool LaunchChain::isWanted() const
{
    const QString& text = m_members.first().text;
    // The helper, browser and agent-browser tests look at the listening process alone.
    const bool devTool =
        std::any_of(m_members.cbegin(), m_members.cend(), [](const Member& m) { return isDevText(m.text); });
    return (isAgentBrowserText(text) || devTool) && !matchesAny(text, DetectionPlatform::appHelperRules()) &&
           !matchesAny(text, DetectionPlatform::browserDebugPortRules());
}

RuntimeKind LaunchChain::runtime() const
{
    if (isAgentBrowserText(m_members.first().text))
        return RuntimeKind::AgentBrowser;
    QStringList members;
    members.reserve(m_members.size());
    for (const Member& member : m_members)
        members.append(member.text);
    const QString text = members.join(u' ');
    if (text.contains(u"next"_s))
        return RuntimeKind::Next;
    if (text.contains(u"vite"_s))
        return RuntimeKind::Vite;
    if (containsAny(text, {u"/bun", u" bun "}))
        return RuntimeKind::Bun;
    return RuntimeKind::Node;
}

std::optional<qsizetype> LaunchChain::launchIndex() const
{
    const qsizetype reach = launchReach();
    std::optional<qsizetype> found;
    for (qsizetype i = 1; i < reach && !found; ++i) {
        if (isPackageManagerDevText(m_members.at(i).text))
            found = i;
    }
    for (qsizetype i = 0; i < reach && !found; ++i) {
        const QString& commandLine = m_members.at(i).row.commandLine;
        if (isReplayableCommandLine(commandLine) &&
            containsAny(commandLine.toLower(), {u" dev", u"next dev", u"vite", u"tsx"}))
            found = i;
    }
    static const QStringList tools = {u"node"_s, u"npm"_s, u"pnpm"_s, u"yarn"_s,
                                      u"bun"_s,  u"tsx"_s, u"vite"_s, u"next"_s};
    const ProcessRow& process = m_members.first().row;
    if (!found && isReplayableCommandLine(process.commandLine) &&
        tools.contains(lastPathComponent(process.executable).toLower()))
        found = 0;
    // A start script around it is what the user ran: run again, it sets up what it set up before.
    for (qsizetype i = reach - 1; i > found.value_or(-1); --i) {
        if (m_members.at(i).shell.role == ShellRun::Role::Script)
            return i;
    }
    return found;
}

std::optional<ProcessRow> LaunchChain::launch() const
{
    const std::optional<qsizetype> index = launchIndex();
    if (!index)
        return std::nullopt;
    return m_members.at(*index).row;
}

QList<qint32> LaunchChain::managed(const std::optional<ProcessRow>& launch) const
{
    qsizetype outermost = -1;
    for (qsizetype i = launchReach() - 1; i >= 0; --i) {
        if (isPackageManagerDevText(m_members.at(i).text)) {
            outermost = i;
            break;
        }
    }
    // The launch may lie beyond every package manager: a start script stops with what it started.
    if (launch) {
        const auto member = std::find_if(m_members.cbegin(), m_members.cend(),
                                         [&](const Member& m) { return m.row.pid == launch->pid; });
        if (member != m_members.cend())
            outermost = std::max(outermost, qsizetype(member - m_members.cbegin()));
    }
    if (outermost < 0)
        return {m_members.first().row.pid};

    // A self-parented or cyclic chain repeats its rows; each process is signalled once, the listening one last.
    QList<qint32> ids;
    for (qsizetype i = 0; i <= outermost; ++i) {
        if (!ids.contains(m_members.at(i).row.pid))
            ids.append(m_members.at(i).row.pid);
    }
    std::reverse(ids.begin(), ids.end());
    return ids;
}

LaunchChain::Facts LaunchChain::facts() const
{
    Facts facts;
    facts.wanted = isWanted();
    if (!facts.wanted)
        return facts;
    facts.runtime = runtime();
    facts.launch = launch();
    facts.managed = managed(facts.launch);
    return facts;
}

QString LaunchChain::processText(const ProcessRow& row)
{
    return (row.executable + u' ' + row.commandLine).toLower();
}

bool LaunchChain::isDevCommand(const ProcessRow& row)
{
    return isDevText(processText(row));
}

bool LaunchChain::hasDevToolInChain(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    return isDevCommand(process) || std::any_of(ancestors.cbegin(), ancestors.cend(), &isDevCommand);
}

bool LaunchChain::isAgentBrowserProcess(const ProcessRow& row)
{
    return isAgentBrowserText(processText(row));
}

bool LaunchChain::isAppHelperProcess(const ProcessRow& row)
{
    return matchesAny(processText(row), DetectionPlatform::appHelperRules());
}

bool LaunchChain::isBrowserDebugPortProcess(const ProcessRow& row)
{
    return matchesAny(processText(row), DetectionPlatform::browserDebugPortRules());
}

bool LaunchChain::isPackageManagerDevProcess(const ProcessRow& row)
{
    return isPackageManagerDevText(processText(row));
}

bool LaunchChain::isServerChain(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    return LaunchChain(process, ancestors).isWanted();
}

RuntimeKind LaunchChain::classifyRuntime(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    return LaunchChain(process, ancestors).runtime();
}

std::optional<ProcessRow> LaunchChain::launchProcess(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    return LaunchChain(process, ancestors).launch();
}

QList<qint32> LaunchChain::managedProcessIDs(const ProcessRow& process, const QList<ProcessRow>& ancestors)
{
    const LaunchChain chain(process, ancestors);
    return chain.managed(chain.launch());
}
