// porthive-log-writer: the process between a server started from Porthive and its session log. It outlives
// Porthive as the server does, and keeps the log within its cap for as long as the server writes.
//
//   porthive-log-writer <cap in bytes>     standard input: the server's output; standard output: the log file
//
// A server whose output pipe loses its last reader dies of it (EPIPE), and one whose pipe nobody empties stops
// once it is full. So the copy runs in a child, and this process keeps the pipe open beside it without reading:
// should the copy end before the server's output does (SIGKILL, a crash), it notes so at the end of the log and
// empties the pipe from then on.
#include "control/cappedlog.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::uint64_t cap = CappedLog::defaultCapBytes;
    if (argc > 1) {
        char* end = nullptr;
        const unsigned long long given = std::strtoull(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || given == 0)
            return 2;
        cap = given;
    }
    // Nothing a broad kill sends (pkill, killall, a closed terminal, Ctrl-C) ends the copy while the server
    // writes; the log is a file, so SIGPIPE only comes from a mistake.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE})
        std::signal(signal, SIG_IGN);

    const pid_t copier = ::fork();
    if (copier < 0)
        return CappedLog::copy(STDIN_FILENO, STDOUT_FILENO, cap) ? 0 : 1;
    if (copier == 0)
        ::_exit(CappedLog::copy(STDIN_FILENO, STDOUT_FILENO, cap) ? 0 : 1);

    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(copier, &status, 0);
    } while (waited < 0 && errno == EINTR);
    // The server's output ended and all of it is in the log.
    if (waited == copier && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    CappedLog::appendLine(STDOUT_FILENO, CappedLog::endedLine, cap);
    CappedLog::drain(STDIN_FILENO);
    return 0;
}
