#pragma once

#include "base/apperror.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// An update feed in the appcast format: an RSS channel whose items carry "sparkle:" versions.
namespace Appcast {

// One release of the feed.
struct Item
{
    // The machine-readable version ("sparkle:version"), empty when the item gives none.
    QString version;
    // The version shown to people ("sparkle:shortVersionString"), empty when the item gives none.
    QString shortVersion;
    // The operating system the release is for ("sparkle:os"), empty for any.
    QString operatingSystem;
    QUrl enclosureURL;
    QUrl link;

    friend bool operator==(const Item&, const Item&) = default;

    // The short version when there is one, else the version.
    QString displayVersion() const;
    // The first https address of the enclosure and the link, empty when neither is https.
    QUrl downloadURL() const;
};

// The running build's versions.
struct BuildVersion
{
    QString version;
    QString shortVersion;

    friend bool operator==(const BuildVersion&, const BuildVersion&) = default;
};

// Compares two version texts by runs of digits, letters and separators: 1.10 is after 1.9, 1.0 after 1.0b1,
// 1.0.1 after 1.0. Negative, zero or positive as `a` comes before, equals or comes after `b`.
int compareVersions(const QString& a, const QString& b);

// The items of a feed, in feed order; throws AppcastError::unreadable when it is not an RSS document.
QList<Item> parseFeed(const QByteArray& bytes);

// The newest item for `operatingSystem` that is newer than `build`: its "sparkle:version" against the build's
// version, or, for an item without one, its short version against the build's short version.
std::optional<Item> newestUpdate(const QList<Item>& items, const BuildVersion& build, const QString& operatingSystem);

// This platform's "sparkle:os" value.
QString currentOperatingSystem();

} // namespace Appcast

// Why a feed could not be checked.
class AppcastError final : public AppError
{
public:
    enum class Kind
    {
        Unreachable,
        TimedOut,
        HttpStatus,
        TooLarge,
        InsecureRedirect,
        Unreadable
    };

    explicit AppcastError(Kind kind, int httpStatus = 0)
        : m_kind(kind)
        , m_httpStatus(httpStatus)
    {}

    Kind kind() const { return m_kind; }
    int httpStatus() const { return m_httpStatus; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("AppcastError"); }

private:
    Kind m_kind;
    int m_httpStatus;
};

// Fetches a feed: one time limit over the whole transfer, a size cap, and redirects followed only to https.
class AppcastFetcher
{
public:
    static constexpr std::chrono::milliseconds defaultTimeLimit{20000};
    static constexpr qint64 defaultByteLimit = 2 * 1024 * 1024;
    static constexpr int maxRedirects = 5;

    explicit AppcastFetcher(std::chrono::milliseconds timeLimit = defaultTimeLimit,
                            qint64 byteLimit = defaultByteLimit);

    // The feed's bytes; throws AppcastError.
    QCoro::Task<QByteArray> fetch(QNetworkAccessManager* network, QUrl url) const;

private:
    std::chrono::milliseconds m_timeLimit;
    qint64 m_byteLimit;
};
