#pragma once

#include "base/snapshotrows.h"
#include "discovery/launchenvironment.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the command that runs a launch process again can be made of: how its own arguments read, what npm ran
// where npm wrote its title over them, and the variables the user gave it.
struct LaunchDetails
{
    enum class Arguments
    {
        // Each whole: the command is rebuilt from them.
        Exact,
        // The process wrote its title over them.
        Rewritten,
        // One holds bytes that are no text: nothing can run it again as it was.
        NotText,
        // Not read here (a ps row of a process that is gone or changed): its listed words are used, each quoted.
        Unread
    };
    Arguments arguments = Arguments::Unread;
    std::optional<QStringList> exact;
    // For a rewritten npm title: what npm ran, from its script's shell.
    std::optional<QStringList> recovered;
    // Absent when a given value is no text.
    std::optional<LaunchEnvironment::Variables> environment = LaunchEnvironment::Variables{};
    // For a start script: the folder it was started in (canonical), which the paths it was given count from.
    std::optional<QString> startFolder;

    friend bool operator==(const LaunchDetails&, const LaunchDetails&) = default;
};

// The environments given variables are told apart from: what a fresh login shell of the user exports (absent
// while it cannot be read), and this program's own.
struct UserEnvironment
{
    std::optional<QList<QByteArray>> login;
    QList<QByteArray> own;
};

// Reads a launch process's details from /proc, beyond what the listings hold: its arguments, what npm ran, the
// variables it was given and the folder a start script was started in. Each read checks that the process is still
// the one listed, since the id may have been taken meanwhile.
class LaunchDetailReader
{
public:
    // How the launch process's arguments read, and the variables it was given beyond the user's environment and
    // the shell it was typed into, from /proc where its row was read there. `chain` is the listening process and
    // its ancestors, nearest first. Blocking.
    static LaunchDetails read(const ProcessRow& launch, const QList<ProcessRow>& chain,
                              const UserEnvironment& userEnvironment);
};
