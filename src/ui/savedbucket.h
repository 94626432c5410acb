#pragma once

#include "discovery/rememberedproject.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <optional>

// One section of the Saved list: the projects last seen running on one day of the past week ("Today",
// "Yesterday", a weekday name), or in the week before ("Last Week"). Older projects belong to no section.
struct SavedBucket
{
    QString label;
    QList<RememberedProject> projects;

    // The section label of a project last seen at `date` (not `label`: the field holds that name). Days are calendar
    // days of `zone` (the local time zone when invalid), counted from `now`, which also decides what today and
    // yesterday are. None for a date that cannot be read or is two weeks old or older; a date in the future is "Today".
    static std::optional<QString> labelFor(const QDateTime& date, const QDateTime& now, const QTimeZone& zone = {});

    // The projects, in their given order, that have a label.
    static QList<RememberedProject> recentProjects(const QList<RememberedProject>& projects, const QDateTime& now,
                                                   const QTimeZone& zone = {});

    // The projects with a label, grouped by label in order of first appearance, each group ordered by
    // projectPrecedes (stable).
    static QList<SavedBucket> buckets(const QList<RememberedProject>& projects, const QDateTime& now,
                                      const QTimeZone& zone = {});

    // Runtime kind in case order first, then folder name as a file browser orders them.
    static bool projectPrecedes(const RememberedProject& a, const RememberedProject& b);

    friend bool operator==(const SavedBucket&, const SavedBucket&) = default;
};

size_t qHash(const SavedBucket& bucket, size_t seed = 0);
