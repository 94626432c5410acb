#include "savedbucket.h"

#include "control/filenameorder.h"
#include "discovery/pathtext.h"

#include <QHash>
#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QDate calendarDay(const QDateTime& moment, const QTimeZone& zone)
{
    return zone.isValid() ? moment.toTimeZone(zone).date() : moment.toLocalTime().date();
}

qsizetype kindPosition(RuntimeKind kind)
{
    const qsizetype position = RuntimeKinds::allCases().indexOf(kind);
    return position < 0 ? RuntimeKinds::allCases().size() : position;
}

} // namespace

std::optional<QString> SavedBucket::labelFor(const QDateTime& date, const QDateTime& now, const QTimeZone& zone)
{
    if (!date.isValid() || !now.isValid())
        return std::nullopt;
    const QDate day = calendarDay(date, zone);
    const QDate today = calendarDay(now, zone);
    if (!day.isValid() || !today.isValid())
        return std::nullopt;
    if (day == today)
        return u"Today"_s;
    if (day == today.addDays(-1))
        return u"Yesterday"_s;
    const qint64 days = day.daysTo(today);
    if (days < 0)
        return u"Today"_s;
    if (days <= 6)
        return QLocale().dayName(day.dayOfWeek(), QLocale::LongFormat);
    if (days <= 13)
        return u"Last Week"_s;
    return std::nullopt;
}

QList<RememberedProject> SavedBucket::recentProjects(const QList<RememberedProject>& projects, const QDateTime& now,
                                                     const QTimeZone& zone)
{
    QList<RememberedProject> recent;
    for (const RememberedProject& project : projects) {
        if (labelFor(project.lastSeenAt, now, zone))
            recent.append(project);
    }
    return recent;
}

QList<SavedBucket> SavedBucket::buckets(const QList<RememberedProject>& projects, const QDateTime& now,
                                        const QTimeZone& zone)
{
    QList<SavedBucket> result;
    for (const RememberedProject& project : projects) {
        const std::optional<QString> label = labelFor(project.lastSeenAt, now, zone);
        if (!label)
            continue;
        auto bucket =
            std::find_if(result.begin(), result.end(), [&](const SavedBucket& b) { return b.label == *label; });
        if (bucket == result.end()) {
            result.append(SavedBucket{*label, {}});
            bucket = result.end() - 1;
        }
        bucket->projects.append(project);
    }
    for (SavedBucket& bucket : result)
        std::stable_sort(bucket.projects.begin(), bucket.projects.end(), projectPrecedes);
    return result;
}

bool SavedBucket::projectPrecedes(const RememberedProject& a, const RememberedProject& b)
{
    const qsizetype left = kindPosition(a.runtimeKind);
    const qsizetype right = kindPosition(b.runtimeKind);
    if (left != right)
        return left < right;
    return compareFileNames(lastPathComponent(a.projectPath), lastPathComponent(b.projectPath)) < 0;
}

size_t qHash(const SavedBucket& bucket, size_t seed)
{
    seed = qHashMulti(seed, bucket.label, bucket.projects.size());
    for (const RememberedProject& project : bucket.projects) {
        seed = qHashMulti(seed, project.projectPath, project.launchCommand, project.displayCommandLine,
                          RuntimeKinds::rawValue(project.runtimeKind), project.lastSeenAt);
    }
    return seed;
}
