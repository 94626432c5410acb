#include "platform/updates/appcast.h"

#include "base/oneshotsignal.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QXmlStreamReader>

#include <memory>

using namespace Qt::StringLiterals;

namespace Appcast {

namespace {

const QString sparkleNamespace = u"http://www.andymatuschak.org/xml-namespaces/sparkle"_s;

enum class RunType
{
    Number,
    Text,
    Separator
};

RunType typeOf(QChar c)
{
    if (c.isDigit())
        return RunType::Number;
    if (c == u'.' || c.isSpace() || c.isPunct())
        return RunType::Separator;
    return RunType::Text;
}

// Runs of digits and of other text; every separator is a run of its own.
QStringList runsOf(const QString& version)
{
    QStringList runs;
    QString current;
    std::optional<RunType> previous;
    for (QChar c : version) {
        const RunType type = typeOf(c);
        if (previous && (*previous != type || *previous == RunType::Separator)) {
            runs.append(current);
            current.clear();
        }
        current += c;
        previous = type;
    }
    if (!current.isEmpty())
        runs.append(current);
    return runs;
}

// Digit runs of any length, by value.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

bool isSparkle(const QXmlStreamReader& reader)
{
    return reader.namespaceUri() == sparkleNamespace || reader.prefix() == u"sparkle"_s;
}

bool isSparkle(const QXmlStreamAttribute& attribute)
{
    return attribute.namespaceUri() == sparkleNamespace || attribute.prefix() == u"sparkle"_s;
}

void readEnclosure(const QXmlStreamReader& reader, Item& item)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        const QStringView name = attribute.name();
        const QString value = attribute.value().toString().trimmed();
        if (attribute.namespaceUri().isEmpty() && attribute.prefix().isEmpty() && name == u"url"_s)
            item.enclosureURL = QUrl(value);
        else if (!isSparkle(attribute))
            continue;
        else if (name == u"version"_s && item.version.isEmpty())
            item.version = value;
        else if (name == u"shortVersionString"_s && item.shortVersion.isEmpty())
            item.shortVersion = value;
        else if (name == u"os"_s && item.operatingSystem.isEmpty())
            item.operatingSystem = value;
    }
}

Item readItem(QXmlStreamReader& reader)
{
    Item item;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (isSparkle(reader) && name == u"version"_s) {
            item.version = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (isSparkle(reader) && name == u"shortVersionString"_s) {
            item.shortVersion = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (isSparkle(reader) && name == u"os"_s) {
            item.operatingSystem = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (reader.namespaceUri().isEmpty() && name == u"link"_s) {
            item.link = QUrl(reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed());
        } else if (reader.namespaceUri().isEmpty() && name == u"enclosure"_s) {
            readEnclosure(reader, item);
            reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    return item;
}

} // namespace

QString Item::displayVersion() const
{
    return shortVersion.isEmpty() ? version : shortVersion;
}

QUrl Item::downloadURL() const
{
    for (const QUrl& url : {enclosureURL, link}) {
        if (url.isValid() && url.scheme() == u"https"_s && !url.host().isEmpty())
            return url;
    }
    return {};
}

int compareVersions(const QString& a, const QString& b)
{
    const QStringList runsA = runsOf(a);
    const QStringList runsB = runsOf(b);
    const qsizetype common = std::min(runsA.size(), runsB.size());
    for (qsizetype i = 0; i < common; ++i) {
        const QString& runA = runsA.at(i);
        const QString& runB = runsB.at(i);
        const RunType typeA = typeOf(runA.front());
        const RunType typeB = typeOf(runB.front());
        if (typeA == typeB) {
            int order = 0;
            if (typeA == RunType::Number)
                order = compareNumbers(runA, runB);
            else if (typeA == RunType::Text)
                order = runA.compare(runB);
            if (order != 0)
                return order < 0 ? -1 : 1;
            continue;
        }
        // A number or separator comes after text (1.0 after 1.0b); a number after a separator.
        if (typeB == RunType::Text)
            return 1;
        if (typeA == RunType::Text)
            return -1;
        return typeA == RunType::Number ? 1 : -1;
    }
    if (runsA.size() == runsB.size())
        return 0;
    // With more runs, the longer one is later, unless what it adds begins with text (a pre-release).
    const bool aLonger = runsA.size() > runsB.size();
    const QString& extra = aLonger ? runsA.at(common) : runsB.at(common);
    const bool longerIsLater = typeOf(extra.front()) != RunType::Text;
    return (aLonger == longerIsLater) ? 1 : -1;
}

QList<Item> parseFeed(const QByteArray& bytes)
{
    QXmlStreamReader reader(bytes);
    if (!reader.readNextStartElement() || reader.name() != u"rss"_s)
        throw AppcastError(AppcastError::Kind::Unreadable);
    QList<Item> items;
    while (reader.readNextStartElement()) {
        if (reader.name() != u"channel"_s) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (reader.name() == u"item"_s)
                items.append(readItem(reader));
            else
                reader.skipCurrentElement();
        }
    }
    // Read to the end, so that a document cut short is not taken for a complete one.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        throw AppcastError(AppcastError::Kind::Unreadable);
    return items;
}

std::optional<Item> newestUpdate(const QList<Item>& items, const BuildVersion& build, const QString& operatingSystem)
{
    std::optional<Item> newest;
    auto key = [](const Item& item) {
        return item.version.isEmpty() ? item.shortVersion : item.version;
    };
    for (const Item& item : items) {
        if (!item.operatingSystem.isEmpty() && item.operatingSystem.compare(operatingSystem, Qt::CaseInsensitive) != 0)
            continue;
        const bool newer = !item.version.isEmpty() ? compareVersions(item.version, build.version) > 0
                                                   : !item.shortVersion.isEmpty() &&
                                                         compareVersions(item.shortVersion, build.shortVersion) > 0;
        if (newer && (!newest || compareVersions(key(item), key(*newest)) > 0))
            newest = item;
    }
    return newest;
}

QString currentOperatingSystem()
{
#if defined(Q_OS_MACOS)
    return u"macos"_s;
#elif defined(Q_OS_WIN)
    return u"windows"_s;
#else
    return u"linux"_s;
#endif
}

} // namespace Appcast

QString AppcastError::description() const
{
    switch (m_kind) {
    case Kind::Unreachable:
        return u"The update feed could not be reached."_s;
    case Kind::TimedOut:
        return u"The update feed did not answer in time."_s;
    case Kind::HttpStatus:
        return u"The update feed answered with HTTP status %1."_s.arg(m_httpStatus);
    case Kind::TooLarge:
        return u"The update feed is too large."_s;
    case Kind::InsecureRedirect:
        return u"The update feed redirected to an address that is not HTTPS."_s;
    case Kind::Unreadable:
        return u"The update feed could not be read."_s;
    }
    Q_UNREACHABLE();
    return {};
}

AppcastFetcher::AppcastFetcher(std::chrono::milliseconds timeLimit, qint64 byteLimit)
    : m_timeLimit(timeLimit)
    , m_byteLimit(byteLimit)
{}

QCoro::Task<QByteArray> AppcastFetcher::fetch(QNetworkAccessManager* network, QUrl url) const
{
    const qint64 byteLimit = m_byteLimit;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = network->get(request);
    // The manager deletes its replies when it goes first.
    const QPointer<QNetworkReply> alive(reply);

    OneShotSignal done;
    std::optional<AppcastError::Kind> stopped;
    const auto stop = [&](AppcastError::Kind kind) {
        if (!stopped)
            stopped = kind;
        done.fire();
    };
    QObject::connect(reply, &QNetworkReply::finished, &done, &OneShotSignal::fire);
    QObject::connect(reply, &QNetworkReply::redirected, &done, [&](const QUrl& target) {
        if (target.scheme() == u"https"_s)
            Q_EMIT reply->redirectAllowed();
        else
            stop(AppcastError::Kind::InsecureRedirect);
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &done, [&](qint64 received, qint64 total) {
        if (received > byteLimit || total > byteLimit)
            stop(AppcastError::Kind::TooLarge);
    });
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &done, [&] { stop(AppcastError::Kind::TimedOut); });
    limit.start(m_timeLimit);

    co_await untilFired(&done);
    limit.stop();
    if (!alive)
        throw AppcastError(AppcastError::Kind::Unreachable);
    QObject::disconnect(reply, nullptr, &done, nullptr);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> release(reply, [](QNetworkReply* r) {
        r->abort();
        r->deleteLater();
    });

    if (stopped)
        throw AppcastError(*stopped);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300)
        throw AppcastError(AppcastError::Kind::HttpStatus, status);
    if (reply->error() != QNetworkReply::NoError)
        throw AppcastError(AppcastError::Kind::Unreachable);
    const QByteArray bytes = reply->read(byteLimit + 1);
    if (bytes.size() > byteLimit)
        throw AppcastError(AppcastError::Kind::TooLarge);
    co_return bytes;
}
