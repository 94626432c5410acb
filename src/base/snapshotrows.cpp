#include "base/snapshotrows.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

QStringView localSide(QStringView endpoint)
{
    const qsizetype arrow = endpoint.indexOf(u"->");
    return arrow < 0 ? endpoint : endpoint.left(arrow);
}

QString withoutBrackets(QStringView host)
{
    qsizetype begin = 0;
    qsizetype end = host.size();
    while (begin < end && (host[begin] == u'[' || host[begin] == u']'))
        ++begin;
    while (end > begin && (host[end - 1] == u'[' || host[end - 1] == u']'))
        --end;
    return host.mid(begin, end - begin).toString();
}

} // namespace

std::optional<qint64> parseDecimal(QStringView text)
{
    const QStringView digits = text.startsWith(u'+') || text.startsWith(u'-') ? text.mid(1) : text;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<qint32> parseDecimal32(QStringView text)
{
    const std::optional<qint64> value = parseDecimal(text);
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(*value);
}

std::optional<qint64> endpointPort(const QString& endpoint)
{
    const qsizetype colon = endpoint.lastIndexOf(u':');
    if (colon < 0)
        return std::nullopt;
    return parseDecimal(QStringView(endpoint).mid(colon + 1));
}

QList<ListenerRow> listenerRows(const QList<ConnectionRow>& connectionRows)
{
    QList<ListenerRow> listeners;
    for (const ConnectionRow& row : connectionRows) {
        if (row.state != u"LISTEN"_s)
            continue;
        const QStringView local = localSide(row.endpoint);
        const qsizetype colon = local.lastIndexOf(u':');
        if (colon < 0)
            continue;
        QString host = withoutBrackets(local.left(colon));
        if (host.isEmpty())
            host = u"*"_s;
        const std::optional<qint64> port = endpointPort(local.toString());
        if (!port)
            continue;
        listeners.append(ListenerRow{row.pid, host, *port});
    }
    return listeners;
}

bool isExistingFolder(const QString& path)
{
    return path.startsWith(u'/') && !path.endsWith(u" (deleted)"_s) && !path.contains(u"(readlink:"_s) &&
           QFileInfo(path).isDir();
}
