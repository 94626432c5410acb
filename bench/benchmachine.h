#pragma once

// The machine the benchmarks make on top of this one: node development servers in project folders of their own,
// idle processes, and loopback TCP connections held open or left in TIME-WAIT, all stopped by their own ids.

#include "discovery/devcommandcache.h"
#include "discovery/localserverdetector.h"

#include <QCoroTask>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace BenchMachine {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// A node process in a folder of its own that prints its port on its first line, killed by its own id.
class NodeProcess
{
public:
    ~NodeProcess() { stop(); }

    // Starts node with `arguments` and waits for the port.
    bool start(const QString& node, const QString& folder, const QStringList& arguments)
    {
        m_process.setWorkingDirectory(folder);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(node, arguments);
        if (!m_process.waitForStarted(30000))
            return false;
        const QDeadlineTimer deadline(30s);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
        m_port = m_process.readLine().trimmed().toUShort();
        return m_port != 0;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_process.processId()), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }

    qint32 pid() const { return qint32(m_process.processId()); }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// A node development server in a project folder of its own: "node server.js", with a package.json whose dev script
// runs it.
inline bool startDevServer(NodeProcess& server, const QString& node, const QString& folder)
{
    const QByteArray script = "const server = require('http').createServer((req, res) => res.end('ok'));\n"
                              "server.listen(0, '127.0.0.1', () => console.log(server.address().port));\n";
    QFile code(folder + u"/server.js"_s);
    QFile manifest(folder + u"/package.json"_s);
    if (!code.open(QIODevice::WriteOnly) || code.write(script) != script.size() ||
        !manifest.open(QIODevice::WriteOnly) || manifest.write(R"({"scripts":{"dev":"node server.js"}})") < 0)
        return false;
    code.close();
    manifest.close();
    return server.start(node, folder, {u"server.js"_s});
}

// Idle processes that only sleep, killed and reaped by their own ids.
class IdleProcesses
{
public:
    ~IdleProcesses() { stop(); }

    bool start(int count)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const int fd : {0, 1, 2})
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        char sleep[] = "sleep";
        char duration[] = "3600";
        char* argv[] = {sleep, duration, nullptr};
        bool ok = true;
        for (int i = 0; i < count && ok; ++i) {
            pid_t pid = 0;
            ok = ::posix_spawn(&pid, "/bin/sleep", &actions, nullptr, argv, environ) == 0;
            if (ok)
                m_pids.push_back(pid);
        }
        posix_spawn_file_actions_destroy(&actions);
        return ok;
    }

    void stop()
    {
        for (const pid_t pid : m_pids)
            ::kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            ::waitpid(pid, nullptr, 0);
        m_pids.clear();
    }

private:
    std::vector<pid_t> m_pids;
};

// Loopback TCP connections held open by this process, or closed at once so that their client sides wait in
// TIME-WAIT for a minute.
class LoopbackConnections
{
public:
    ~LoopbackConnections() { closeAll(); }

    bool open(int count, bool keep)
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener < 0)
            return false;
        m_fds.push_back(listener);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 128) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        for (int i = 0; i < count; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                return false;
            const int server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (server < 0)
                return false;
            if (keep) {
                m_fds.push_back(client);
                m_fds.push_back(server);
            } else {
                // The side that closes first waits in TIME-WAIT.
                ::close(client);
                ::close(server);
            }
        }
        return true;
    }

    void closeAll()
    {
        for (const int fd : m_fds)
            ::close(fd);
        m_fds.clear();
    }

private:
    std::vector<int> m_fds;
};

// Loopback TCP connections held open by a process of the bench's own that runs as a daemon does, reparented to the
// machine's first process (or a subreaper): whatever started the bench, no development tool is among its
// ancestors, so its listener is no candidate and a scan has no use for its connections. Stopped by its id.
class DaemonConnections
{
public:
    ~DaemonConnections() { stop(); }

    bool start(int count)
    {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return false;
        const pid_t child = ::fork();
        if (child == 0) {
            // The child ends at once, which orphans the holder.
            if (::fork() == 0)
                hold(count, ready[1]);
            ::_exit(0);
        }
        ::close(ready[1]);
        pid_t holder = 0;
        const bool started = child > 0 && ::waitpid(child, nullptr, 0) == child &&
                             ::read(ready[0], &holder, sizeof holder) == sizeof holder && holder > 0;
        ::close(ready[0]);
        m_holder = started ? holder : 0;
        return started;
    }

    void stop()
    {
        if (m_holder <= 0)
            return;
        // No child of the bench's: its end is awaited through a descriptor of the process.
        const int process = int(::syscall(SYS_pidfd_open, m_holder, 0));
        ::kill(m_holder, SIGKILL);
        if (process >= 0) {
            pollfd ended{process, POLLIN, 0};
            ::poll(&ended, 1, 30000);
            ::close(process);
        }
        m_holder = 0;
    }

private:
    // In the holder: nothing of the bench's own stays open but the pipe that tells it the connections are open.
    [[noreturn]] static void hold(int count, int ready)
    {
        const int null = ::open("/dev/null", O_RDWR);
        for (const int fd : {0, 1, 2})
            ::dup2(null, fd);
        ::dup2(ready, 3);
        ::close_range(4, ~0U, 0);
        LoopbackConnections connections;
        const pid_t self = connections.open(count, true) ? ::getpid() : 0;
        const ssize_t written = ::write(3, &self, sizeof self);
        Q_UNUSED(written);
        ::close(3);
        for (;;)
            ::pause();
    }

    pid_t m_holder = 0;
};

inline QCoro::Task<qsizetype> scanOnce(LocalServerDetector* detector)
{
    try {
        QCoro::Task<QList<LocalServer>> scan = detector->detectServers();
        co_return (co_await scan).size();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan failed: %s\n", error.what());
        co_return -1;
    }
}

// `count` development servers in folders below `root`, their project files settled; empty when one did not start.
inline std::vector<std::unique_ptr<NodeProcess>> startDevServers(const QString& root, int count)
{
    const QString node = QStandardPaths::findExecutable(u"node"_s);
    if (node.isEmpty()) {
        std::fprintf(stderr, "node is not installed\n");
        return {};
    }
    std::vector<std::unique_ptr<NodeProcess>> servers;
    for (int i = 0; i < count; ++i) {
        const QString folder = root + u"/project-"_s + QString::number(i);
        auto& server = servers.emplace_back(std::make_unique<NodeProcess>());
        if (!QDir().mkpath(folder) || !startDevServer(*server, node, folder)) {
            std::fprintf(stderr, "a development server did not start\n");
            return {};
        }
    }
    // A project's files were written long before its server is scanned; the scan reads the files of ones
    // written within a moment of a scan again.
    QThread::sleep(DevCommandCache::settleSeconds + 1);
    return servers;
}

// Room for thousands of connections with both ends in this process.
inline void raiseDescriptorLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

} // namespace BenchMachine
