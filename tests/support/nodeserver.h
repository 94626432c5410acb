#pragma once

#include <QProcess>
#include <QString>
#include <QUrl>

#include <chrono>

// A real node process for tests: `node -e <script>` that listens on port 0 of a host (or connects somewhere) and
// prints one number, its port, on its first output line. Killed by its own pid when stopped or destroyed.
class NodeServer
{
public:
    struct Options
    {
        QString host = QStringLiteral("127.0.0.1");
        // A JavaScript request handler, `(req, res) => { ... }`.
        QString handler = defaultHandler();
        // Set as `process.title` before listening when not empty.
        QString title;
        // The process's working folder; the test's own when empty.
        QString workingDirectory;
        // Replaces the generated script when not empty; it must print one number on its first line.
        QString script;
        // When not empty, node runs this file (relative to the working folder) instead of a script given with
        // -e, so that its command line, "node <file>", can be run again by a shell. It must print its port on
        // its first line like the script.
        QString scriptFile;
    };

    NodeServer();
    explicit NodeServer(Options options);
    ~NodeServer();

    NodeServer(const NodeServer&) = delete;
    NodeServer& operator=(const NodeServer&) = delete;

    // Starts node and waits for the port line. False (with errorText()) when node does not come up.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void stop();

    qint64 pid() const { return m_pid; }
    quint16 port() const { return m_port; }
    QString host() const { return m_options.host; }
    // "http://host:port" + path, IPv6 hosts in brackets.
    QUrl url(const QString& path = QStringLiteral("/")) const;
    // What went wrong, for a failure message.
    QString errorText() const;

    // Answers 200 with a small page titled "Node test server".
    static QString defaultHandler();
    // A whole script that serves `handler` on port 0 of `host` and prints its port: the content for a
    // scriptFile.
    static QString serverScript(const QString& host = QStringLiteral("127.0.0.1"),
                                const QString& handler = defaultHandler());
    // A script that opens one TCP connection from node to host:port, keeps it open and prints its local port.
    static QString clientScript(const QString& host, quint16 port);
    // The node executable, empty when there is none.
    static QString nodePath();

private:
    QString script() const;

    Options m_options;
    QProcess m_process;
    qint64 m_pid = 0;
    quint16 m_port = 0;
    QString m_error;
};
