#include "nodeserver.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QString jsString(const QString& text)
{
    // A JSON string is a valid JavaScript string literal.
    QString json = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    return json.mid(1, json.size() - 2);
}

} // namespace

NodeServer::NodeServer()
    : NodeServer(Options{})
{}

NodeServer::NodeServer(Options options)
    : m_options(std::move(options))
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
}

NodeServer::~NodeServer()
{
    stop();
}

QString NodeServer::defaultHandler()
{
    return u"(req, res) => { res.writeHead(200, {'Content-Type': 'text/html; charset=utf-8'}); "
           u"res.end('<html><head><title>Node test server</title></head><body>ok</body></html>'); }"_s;
}

QString NodeServer::clientScript(const QString& host, quint16 port)
{
    return u"const socket = require('net').connect("_s + QString::number(port) + u", "_s + jsString(host) +
           u", () => console.log(socket.localPort)); socket.on('error', () => process.exit(3));"_s;
}

QString NodeServer::nodePath()
{
    return QStandardPaths::findExecutable(u"node"_s);
}

QString NodeServer::serverScript(const QString& host, const QString& handler)
{
    // One line: ps prints control characters of a command line as "?".
    return u"const server = require('http').createServer("_s + handler + u"); server.listen(0, "_s + jsString(host) +
           u", () => console.log(server.address().port));"_s;
}

QString NodeServer::script() const
{
    if (!m_options.script.isEmpty())
        return m_options.script;
    QString text;
    if (!m_options.title.isEmpty())
        text += u"process.title = "_s + jsString(m_options.title) + u"; "_s;
    return text + serverScript(m_options.host, m_options.handler);
}

bool NodeServer::start(std::chrono::milliseconds timeout)
{
    const QString node = nodePath();
    if (node.isEmpty()) {
        m_error = u"node is not installed"_s;
        return false;
    }
    if (!m_options.workingDirectory.isEmpty())
        m_process.setWorkingDirectory(m_options.workingDirectory);
    m_process.start(node, m_options.scriptFile.isEmpty() ? QStringList{u"-e"_s, script()}
                                                         : QStringList{m_options.scriptFile});
    if (!m_process.waitForStarted(int(timeout.count()))) {
        m_error = m_process.errorString();
        return false;
    }
    m_pid = m_process.processId();
    const QDeadlineTimer deadline(timeout);
    while (!m_process.canReadLine()) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = u"node gave no port: "_s + QString::fromUtf8(m_process.readAllStandardError());
            stop();
            return false;
        }
        m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    bool ok = false;
    m_port = m_process.readLine().trimmed().toUShort(&ok);
    if (!ok || m_port == 0) {
        m_error = u"node printed no port"_s;
        stop();
        return false;
    }
    return true;
}

void NodeServer::stop()
{
    if (m_pid > 0 && m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_pid), SIGKILL);
        m_process.waitForFinished(30000);
    }
    m_pid = 0;
}

QUrl NodeServer::url(const QString& path) const
{
    const QString host = m_options.host.contains(u':') ? u'[' + m_options.host + u']' : m_options.host;
    return QUrl(u"http://"_s + host + u':' + QString::number(m_port) + path);
}

QString NodeServer::errorText() const
{
    return m_error;
}
