#include "support/xserver.h"

#include <QStandardPaths>

#include <array>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

XServer::~XServer()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

bool XServer::start(QSize screen, int timeoutMs)
{
    const QByteArray program = QStandardPaths::findExecutable(u"Xvfb"_s).toLocal8Bit();
    std::array<int, 2> pipe{};
    if (program.isEmpty() || ::pipe2(pipe.data(), O_CLOEXEC) != 0)
        return false;
    // The server writes the display number it took to this descriptor; everything is built before the fork.
    const int announce = 3;
    QList<QByteArray> words = {program,
                               "-displayfd",
                               QByteArray::number(announce),
                               "-screen",
                               "0",
                               QByteArray::number(screen.width()) + 'x' + QByteArray::number(screen.height()) + "x24",
                               "-nolisten",
                               "tcp",
                               "-noreset"};
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
        // dup2 onto itself would keep the close-on-exec flag.
        if (pipe[1] == announce)
            ::fcntl(announce, F_SETFD, 0);
        else
            ::dup2(pipe[1], announce);
        ::execv(argv.front(), argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    if (m_pid < 0) {
        ::close(pipe[0]);
        return false;
    }
    QByteArray number;
    pollfd readable{pipe[0], POLLIN, 0};
    while (!number.endsWith('\n') && ::poll(&readable, 1, timeoutMs) == 1) {
        char buffer[16];
        const ssize_t length = ::read(pipe[0], buffer, sizeof buffer);
        if (length <= 0)
            break;
        number.append(buffer, length);
    }
    ::close(pipe[0]);
    number = number.trimmed();
    if (number.isEmpty())
        return false;
    m_display = ':' + number;
    return true;
}

bool XServer::startForApplication()
{
    if (!start())
        return false;
    qputenv("DISPLAY", m_display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}
