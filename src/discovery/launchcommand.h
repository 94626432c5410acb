#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The rules that turn a seen command line into one that starts the server again. Pure and stateless;
// the two that take a folder read its files. Safe on any thread.
namespace LaunchCommand {

// Whether a command line can be run again unchanged in the project folder.
bool isReplayableCommandLine(const QString& commandLine);

// Whether the first package-manager word runs a "dev:" sub-script ("pnpm dev:web", "npm run dev:api").
bool isPackageManagerDevVariant(const QString& commandLine);

// The project's own development command for its "dev" script, in the form of its package manager.
std::optional<QString> projectDevCommand(const QString& projectPath);

// "pnpm", "npm", "yarn" or "bun": the manifest's "packageManager" first, then the lock files.
QString detectPackageManager(const QJsonObject& manifest, const QString& projectPath);

// The arguments as one command line for a POSIX shell (zsh included): an argument that holds anything but plain
// characters is single-quoted, so the shell runs exactly these arguments and nothing in them as code.
QString shellCommandLine(const QStringList& arguments);

} // namespace LaunchCommand

using LaunchCommand::detectPackageManager;
using LaunchCommand::isPackageManagerDevVariant;
using LaunchCommand::isReplayableCommandLine;
using LaunchCommand::projectDevCommand;
using LaunchCommand::shellCommandLine;
