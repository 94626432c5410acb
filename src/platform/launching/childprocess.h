#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A process this program started. It runs in a session of its own, so it keeps running when this
// program goes away, and it is reaped once it exits, so no zombie is left to answer signals. On Linux the
// application's event loop reaps it (through a pidfd, whichever thread started it): until that loop runs next, an
// ended child still answers signals and isRunning() stays true, so wait for it from that thread's coroutines or
// events, never by blocking that thread. Elsewhere, or without a pidfd or an application, a thread of its own
// waits for it and reaps it at once.
class ChildProcess
{
public:
    struct Options
    {
        QString program;
        QStringList arguments;
        QString workingDirectory;
        // Becomes both standard output and standard error.
        int outputFd = -1;
        // Becomes standard input; the null device where it is -1.
        int inputFd = -1;
        // Standard error is the null device instead of the output.
        bool errorToNull = false;
        // NAME=value entries set on top of this program's environment.
        QStringList environment = {};
    };

    // Starts the process with the environment of this one (and the given entries) and no descriptor but its three
    // standard streams. Throws SystemError when it cannot start (a missing working folder, a missing program).
    static std::shared_ptr<ChildProcess> start(const Options& options);

    // What of the program's name, its arguments and the environment start() would pass the kernel refuses (E2BIG),
    // counted as the kernel counts them: one string past the length it takes for each, or all of them together
    // past the room it gives them.
    enum class SizeProblem
    {
        None,
        StringTooLong,
        TooLarge
    };
    static SizeProblem sizeProblem(const Options& options);
    // The longest string, its terminating NUL included, and the room for all of them with their pointers.
    static qsizetype stringLimit();
    static qsizetype totalLimit();

    qint32 pid() const;
    bool isRunning() const;
    // Once it has ended: its exit status, or the number of the signal that ended it.
    std::optional<int> terminationStatus() const;

    struct State;
    explicit ChildProcess(std::shared_ptr<State> state);

private:
    std::shared_ptr<State> m_state;
};
