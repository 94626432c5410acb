#include "httpreceiver.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpSocket>

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    default:
        return "OTHER";
    }
}

} // namespace

class HttpReceiver::Thread final : public QThread
{
public:
    Thread(HttpReceiver& owner)
        : m_owner(owner)
    {}

    QSemaphore listening;

protected:
    void run() override
    {
        Server server(m_owner);
        m_owner.m_port = server.listen(QHostAddress::LocalHost, 0);
        listening.release();
        if (m_owner.m_port != 0)
            exec();
    }

private:
    class Server final : public QAbstractHttpServer
    {
    public:
        explicit Server(HttpReceiver& owner)
            : m_owner(owner)
        {}

    protected:
        bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
        {
            ReceivedRequest received;
            received.method = methodName(request.method());
            received.path = request.url().path();
            received.headers = request.headers();
            received.body = request.body();
            m_owner.record(std::move(received));
            if (m_owner.m_mode == Mode::Answer) {
                makeResponder(request, socket).write(QByteArray("{}"), "application/json");
            } else {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { m_owner.countDropped(); });
            }
            return true;
        }

        void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

    private:
        HttpReceiver& m_owner;
    };

    HttpReceiver& m_owner;
};

QByteArray ReceivedRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpReceiver::HttpReceiver(Mode mode)
    : m_mode(mode)
    , m_thread(new Thread(*this))
{
    m_thread->start();
    m_thread->listening.acquire();
}

HttpReceiver::~HttpReceiver()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

QUrl HttpReceiver::baseUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_port);
    return url;
}

QList<ReceivedRequest> HttpReceiver::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

qsizetype HttpReceiver::requestCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests.size();
}

int HttpReceiver::droppedConnections() const
{
    QMutexLocker locker(&m_mutex);
    return m_dropped;
}

void HttpReceiver::record(ReceivedRequest request)
{
    QMutexLocker locker(&m_mutex);
    m_requests.append(std::move(request));
}

void HttpReceiver::countDropped()
{
    QMutexLocker locker(&m_mutex);
    ++m_dropped;
}
