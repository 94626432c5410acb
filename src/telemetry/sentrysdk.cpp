#include "telemetry/sentrysdk.h"

#include "base/apperror.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUuid>

#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

using namespace Qt::StringLiterals;

namespace {

QString demangledTypeName(const std::type_info& type)
{
    int status = 0;
    char* name = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const QString result = status == 0 && name ? QString::fromUtf8(name) : QString::fromUtf8(type.name());
    std::free(name);
    return result;
}

} // namespace

SentryEnvelopeSender::SentryEnvelopeSender(QUrl url, QString authHeader)
    : m_url(std::move(url))
    , m_authHeader(std::move(authHeader))
{
    start();
    QMutexLocker locker(&m_mutex);
    while (!m_network && !m_stopped)
        m_changed.wait(&m_mutex);
}

SentryEnvelopeSender::~SentryEnvelopeSender()
{
    stop();
}

void SentryEnvelopeSender::run()
{
    QNetworkAccessManager network;
    {
        QMutexLocker locker(&m_mutex);
        m_network = &network;
        m_changed.wakeAll();
    }
    exec();
    QMutexLocker locker(&m_mutex);
    m_network = nullptr;
    m_stopped = true;
    m_changed.wakeAll();
    // The manager goes with this frame and takes its unfinished replies with it.
}

void SentryEnvelopeSender::stop()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stopped = true;
        m_changed.wakeAll();
    }
    quit();
    wait();
}

void SentryEnvelopeSender::enqueue(const QByteArray& envelope)
{
    QMutexLocker locker(&m_mutex);
    if (m_stopped || !m_network)
        return;
    ++m_outstanding;
    QMetaObject::invokeMethod(
        m_network, [this, envelope] { post(envelope); }, Qt::QueuedConnection);
}

void SentryEnvelopeSender::post(const QByteArray& envelope)
{
    QNetworkRequest request(m_url);
    request.setTransferTimeout(requestTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/x-sentry-envelope"_s);
    request.setRawHeader("X-Sentry-Auth", m_authHeader.toUtf8());
    QNetworkReply* reply = m_network->post(request, envelope);
    // The answer is not read: a rejected event is not retried.
    connect(reply, &QNetworkReply::finished, reply, [this, reply] {
        reply->deleteLater();
        finishOne();
    });
}

void SentryEnvelopeSender::finishOne()
{
    QMutexLocker locker(&m_mutex);
    if (m_outstanding > 0)
        --m_outstanding;
    m_changed.wakeAll();
}

bool SentryEnvelopeSender::flush(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout, Qt::PreciseTimer);
    QMutexLocker locker(&m_mutex);
    while (m_outstanding > 0 && !m_stopped) {
        if (!m_changed.wait(&m_mutex, deadline))
            break;
    }
    return m_outstanding == 0;
}

std::unique_ptr<SentrySdk> SentrySdk::start(const std::function<void(SentryOptions&)>& configure)
{
    SentryOptions options;
    configure(options);
    std::optional<SentryDsn> dsn = SentryDsn::parse(options.dsn);
    if (!dsn)
        return nullptr;
    return std::unique_ptr<SentrySdk>(new SentrySdk(std::move(options), std::move(*dsn)));
}

SentrySdk::SentrySdk(SentryOptions options, SentryDsn dsn)
    : m_options(std::move(options))
    , m_dsn(std::move(dsn))
    , m_sender(std::make_unique<SentryEnvelopeSender>(m_dsn.envelopeUrl(), m_dsn.authHeader(clientName)))
{}

SentrySdk::~SentrySdk()
{
    close();
}

void SentrySdk::close()
{
    if (m_sender)
        m_sender->stop();
}

QString SentrySdk::newEventID()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

SentryException SentrySdk::exceptionFor(const std::exception& error)
{
    if (const auto* appError = dynamic_cast<const AppError*>(&error))
        return SentryException{appError->typeName(), appError->description()};
    return SentryException{demangledTypeName(typeid(error)), QString::fromUtf8(error.what())};
}

QString SentrySdk::capture(const std::exception& error, const std::function<void(SentryScope&)>& configureScope)
{
    SentryScope scope;
    if (configureScope)
        configureScope(scope);
    SentryEvent event;
    event.level = SentryLevel::Error;
    event.exceptions = {exceptionFor(error)};
    return send(std::move(event), &scope);
}

QString SentrySdk::capture(SentryEvent event)
{
    return send(std::move(event), nullptr);
}

void SentrySdk::addBreadcrumb(SentryBreadcrumb breadcrumb)
{
    if (!breadcrumb.timestamp.isValid())
        breadcrumb.timestamp = QDateTime::currentDateTimeUtc();
    QMutexLocker locker(&m_breadcrumbMutex);
    m_breadcrumbs.append(std::move(breadcrumb));
    while (m_breadcrumbs.size() > qMax(0, m_options.maxBreadcrumbs))
        m_breadcrumbs.removeFirst();
}

bool SentrySdk::flush(std::chrono::milliseconds timeout)
{
    return m_sender->flush(timeout);
}

QString SentrySdk::send(SentryEvent event, const SentryScope* scope)
{
    if (event.eventID.isEmpty())
        event.eventID = newEventID();
    if (!event.timestamp.isValid())
        event.timestamp = QDateTime::currentDateTimeUtc();
    if (event.release.isEmpty())
        event.release = m_options.releaseName;
    if (event.dist.isEmpty())
        event.dist = m_options.dist;
    if (event.environment.isEmpty())
        event.environment = m_options.environment;
    if (scope) {
        // The event's own values win over the scope's.
        for (auto it = scope->tags().cbegin(); it != scope->tags().cend(); ++it) {
            if (!event.tags.contains(it.key()))
                event.tags.insert(it.key(), it.value());
        }
        for (auto it = scope->extras().cbegin(); it != scope->extras().cend(); ++it) {
            if (!event.extras.contains(it.key()))
                event.extras.insert(it.key(), it.value());
        }
    }
    {
        QMutexLocker locker(&m_breadcrumbMutex);
        event.breadcrumbs = m_breadcrumbs + event.breadcrumbs;
    }

    if (m_options.beforeSend) {
        std::optional<SentryEvent> kept = m_options.beforeSend(std::move(event));
        if (!kept)
            return {};
        event = std::move(*kept);
    }
    m_sender->enqueue(envelope(event));
    return event.eventID;
}

QByteArray SentrySdk::envelope(const SentryEvent& event) const
{
    const QByteArray payload = QJsonDocument(event.toJson()).toJson(QJsonDocument::Compact);
    const QJsonObject header{
        {u"event_id"_s, event.eventID},
        {u"sent_at"_s, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {u"sdk"_s,
         QJsonObject{{u"name"_s, clientName.section(u'/', 0, 0)}, {u"version"_s, clientName.section(u'/', 1)}}},
    };
    const QJsonObject itemHeader{
        {u"type"_s, u"event"_s},
        {u"length"_s, payload.size()},
        {u"content_type"_s, u"application/json"_s},
    };
    return QJsonDocument(header).toJson(QJsonDocument::Compact) + '\n' +
           QJsonDocument(itemHeader).toJson(QJsonDocument::Compact) + '\n' + payload + '\n';
}
