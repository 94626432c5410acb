#include "discovery/launchdetailreader.h"

#include "discovery/launchchain.h"
#include "discovery/launchcommand.h"
#include "discovery/shellrole.h"
#include "platform/listings/processidentity.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The row of `pid` in the chain, if it is there.
const ProcessRow* chainRow(const QList<ProcessRow>& chain, qint32 pid)
{
    const auto found =
        std::find_if(chain.cbegin(), chain.cend(), [pid](const ProcessRow& row) { return row.pid == pid; });
    return found != chain.cend() ? &*found : nullptr;
}

// The interactive shell the launch was typed into, where that is what started it: the first process beyond the
// launch that is no part of it. Past the listed chain, the process as the kernel names it now.
std::optional<qint32> typedIntoShell(const ProcessRow& launch, const QList<ProcessRow>& chain)
{
    qint32 pid = launch.parentPid;
    for (qsizetype step = 0; step <= chain.size(); ++step) {
        const ProcessRow* row = chainRow(chain, pid);
        if (!row) {
            const ProcessIdentity::ArgumentsReading reading = ProcessIdentity::readArguments(pid);
            if (reading.kind == ProcessIdentity::ArgumentsReading::Kind::Exact &&
                shellRun(ProcessIdentity::commandName(pid), reading.arguments).role == ShellRun::Role::Interactive)
                return pid;
            return std::nullopt;
        }
        const ShellRun shell = LaunchChain::shellRunOf(*row);
        if (shell.role == ShellRun::Role::Interactive)
            return pid;
        if (!LaunchChain::isLaunchPart(*row, LaunchChain::processText(*row), shell))
            return std::nullopt;
        pid = row->parentPid;
    }
    return std::nullopt;
}

// Where a start script was started, which the paths it names count from: the folder its shell said it was in
// (PWD) where that holds the script as named, else the one it is in now; canonical. Absent for any other launch.
std::optional<QString> scriptFolder(const ProcessRow& launch, const QStringList& arguments,
                                    const std::optional<QList<QByteArray>>& environment)
{
    const ShellRun shell = shellRun(launch.executable, arguments);
    if (shell.role != ShellRun::Role::Script)
        return std::nullopt;
    const QString& script = arguments.at(shell.script);
    const auto holdsScript = [&script](const std::optional<QString>& folder) {
        return folder && QDir::isAbsolutePath(*folder) && QFileInfo(*folder).isDir() &&
               QFileInfo(QDir(*folder), script).isFile();
    };
    std::optional<QString> folder = environment ? LaunchEnvironment::value(*environment, u"PWD"_s) : std::nullopt;
    if (!holdsScript(folder))
        folder = ProcessIdentity::workingDirectory(launch.pid);
    if (!holdsScript(folder))
        return std::nullopt;
    QString canonical = QFileInfo(*folder).canonicalFilePath();
    if (canonical.isEmpty())
        return std::nullopt;
    return canonical;
}

// The arguments of a row read from /proc, read again where the row has none, to tell why; only while the process
// is still the one listed.
ProcessIdentity::ArgumentsReading argumentsOf(const ProcessRow& row)
{
    if (row.arguments)
        return {ProcessIdentity::ArgumentsReading::Kind::Exact, *row.arguments};
    ProcessIdentity::ArgumentsReading reading = ProcessIdentity::readArguments(row.pid);
    if (ProcessIdentity::startTime(row.pid) != row.startTime)
        return {};
    return reading;
}

} // namespace

LaunchDetails LaunchDetailReader::read(const ProcessRow& launch, const QList<ProcessRow>& chain,
                                       const UserEnvironment& userEnvironment)
{
    using Kind = ProcessIdentity::ArgumentsReading::Kind;
    LaunchDetails details;
    if (!launch.startTime) {
        // A ps row: the arguments as they still make the listed line, and no environment.
        if (std::optional<QStringList> arguments = ProcessIdentity::arguments(launch.pid, launch.commandLine)) {
            details.arguments = LaunchDetails::Arguments::Exact;
            details.exact = std::move(arguments);
        }
        return details;
    }
    const ProcessIdentity::ArgumentsReading reading = argumentsOf(launch);
    switch (reading.kind) {
    case Kind::Exact:
        details.arguments = LaunchDetails::Arguments::Exact;
        details.exact = reading.arguments;
        break;
    case Kind::Rewritten:
        details.arguments = LaunchDetails::Arguments::Rewritten;
        break;
    case Kind::NotText:
        details.arguments = LaunchDetails::Arguments::NotText;
        return details;
    case Kind::Unreadable:
        // Gone since the listing: nothing it shows is run.
        details.arguments = LaunchDetails::Arguments::Rewritten;
        return details;
    }

    if (details.arguments == LaunchDetails::Arguments::Rewritten) {
        // npm's script shell is its child in the chain.
        const auto child = std::find_if(chain.cbegin(), chain.cend(),
                                        [&launch](const ProcessRow& row) { return row.parentPid == launch.pid; });
        if (child != chain.cend() && child->startTime) {
            const ProcessIdentity::ArgumentsReading shell = argumentsOf(*child);
            const std::optional<QList<QByteArray>> environment = ProcessIdentity::environment(child->pid);
            if (shell.kind == Kind::Exact && environment) {
                const auto npmVariable = [&environment](const QString& name) {
                    return LaunchEnvironment::value(*environment, name);
                };
                details.recovered = npmCommand(shell.arguments, npmVariable);
            }
        }
    }

    LaunchEnvironment::Launcher launcher;
    launcher.pid = launch.pid;
    launcher.parentPid = launch.parentPid;
    launcher.environment = ProcessIdentity::environment(launch.pid);
    launcher.loginEnvironment = userEnvironment.login;
    launcher.ownEnvironment = userEnvironment.own;
    if (const std::optional<qint32> shell = typedIntoShell(launch, chain))
        launcher.shellEnvironment = ProcessIdentity::environment(*shell);
    if (details.exact)
        details.startFolder = scriptFolder(launch, *details.exact, launcher.environment);
    // Read after the environment and the folder: a process that took the id since gives nothing.
    if (ProcessIdentity::startTime(launch.pid) != launch.startTime) {
        launcher.environment.reset();
        details.startFolder.reset();
    }
    details.environment = LaunchEnvironment::given(launcher);
    return details;
}
