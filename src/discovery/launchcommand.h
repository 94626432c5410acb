#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

// The rules that turn a seen command line into one that starts the server again. Pure and stateless;
// the two that take a folder read its files. Safe on any thread.
namespace LaunchCommand {

// The words of a command line as the rules see them: no shell quoting, every run of white space separates words.
QStringList splitWords(const QString& text);

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

// The words of shell text as npm writes a command and its arguments for its script shell: plain words, '...'
// quoting and backslash escapes, nothing else. Absent where a character npm would have quoted stands unquoted, or
// a quote is left open: such text was not written that way, and what a shell makes of it is not guessed.
std::optional<QStringList> quotedWords(QStringView text);

// What a user ran through npm, as the arguments that run it again. npm writes its title over its own arguments and
// drops the "--" before the script's; its script shell still holds what it ran: `shellArguments` are that shell's
// arguments ([sh, -c, text]) and `npmVariable` reads the npm_* variables npm gave it. A script run gives
// npm run <script> [-- <its arguments>], npm exec gives npm exec -- <command and arguments>; anything else (another
// npm command, text that is not the script and quoted words) gives nothing.
std::optional<QStringList> npmCommand(const QStringList& shellArguments,
                                      const std::function<std::optional<QString>(const QString&)>& npmVariable);

} // namespace LaunchCommand

using LaunchCommand::detectPackageManager;
using LaunchCommand::isPackageManagerDevVariant;
using LaunchCommand::isReplayableCommandLine;
using LaunchCommand::npmCommand;
using LaunchCommand::projectDevCommand;
using LaunchCommand::quotedWords;
using LaunchCommand::shellCommandLine;
