// porthive-log-writer: the process between a server started from Porthive and its session log. It outlives
// Porthive as the server does, and keeps the log within its cap for as long as the server writes.
//
//   porthive-log-writer <cap in bytes>     standard input: the server's output; standard output: the log file
#include "control/cappedlog.h"

#include <csignal>
#include <cstdlib>
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
    // A closed terminal or Ctrl-C in it reaches the server's own session, never this one; still, neither may end
    // the copy while the server writes.
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    CappedLog::copy(STDIN_FILENO, STDOUT_FILENO, cap);
    return 0;
}
