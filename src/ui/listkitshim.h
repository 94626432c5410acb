#pragma once
// TEMPORARY stand-ins for what the kit branch provides; removed when it is merged.

#include "control/filenameorder.h"
#include "discovery/pathtext.h"
#include "discovery/rememberedproject.h"

#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QTextBoundaryFinder>

#include <algorithm>

struct SavedBucket
{
    QString label;
    QList<RememberedProject> projects;

    static std::optional<QString> labelFor(const QDateTime& date, const QDateTime& now)
    {
        if (!date.isValid())
            return std::nullopt;
        const qint64 days = date.toLocalTime().date().daysTo(now.toLocalTime().date());
        if (days <= 0)
            return QStringLiteral("Today");
        if (days == 1)
            return QStringLiteral("Yesterday");
        if (days <= 6)
            return QLocale().dayName(date.toLocalTime().date().dayOfWeek(), QLocale::LongFormat);
        if (days <= 13)
            return QStringLiteral("Last Week");
        return std::nullopt;
    }
    static QList<RememberedProject> recentProjects(const QList<RememberedProject>& projects, const QDateTime& now)
    {
        QList<RememberedProject> out;
        for (const auto& p : projects)
            if (labelFor(p.lastSeenAt, now))
                out.append(p);
        return out;
    }
    static QList<SavedBucket> buckets(const QList<RememberedProject>& projects, const QDateTime& now)
    {
        QList<SavedBucket> out;
        for (const auto& p : projects) {
            const auto label = labelFor(p.lastSeenAt, now);
            if (!label)
                continue;
            auto it = std::find_if(out.begin(), out.end(), [&](const SavedBucket& b) { return b.label == *label; });
            if (it == out.end()) {
                out.append({*label, {}});
                it = out.end() - 1;
            }
            it->projects.append(p);
        }
        for (auto& b : out)
            std::stable_sort(b.projects.begin(), b.projects.end(), [](const auto& a, const auto& c) {
                if (a.runtimeKind != c.runtimeKind)
                    return int(a.runtimeKind) < int(c.runtimeKind);
                return compareFileNames(lastPathComponent(a.projectPath), lastPathComponent(c.projectPath)) < 0;
            });
        return out;
    }
    friend bool operator==(const SavedBucket&, const SavedBucket&) = default;
};

inline QString compactCommandText(const QString& text)
{
    QString segment = text.split(QStringLiteral("&&")).constLast().trimmed();
    QStringList words = segment.split(u' ', Qt::SkipEmptyParts);
    QStringList kept;
    bool leading = true;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words.at(i);
        if (leading) {
            if (w == u"sh" || w == u"env" || w == u"-c")
                continue;
            if (w == u"-u") {
                ++i;
                continue;
            }
            if (!w.startsWith(u'-') && w.contains(u'='))
                continue;
            leading = false;
        }
        kept.append(w.startsWith(u'/') || w.startsWith(QStringLiteral("~/")) ? lastPathComponent(w) : w);
    }
    return kept.isEmpty() ? segment : kept.join(u' ');
}

inline QString abbreviatingHome(const QString& text, const QString& home)
{
    if (home.isEmpty() || home == QStringLiteral("/"))
        return text;
    if (text == home)
        return QStringLiteral("~");
    if (text.startsWith(home + u'/'))
        return u'~' + text.mid(home.size());
    return text;
}

inline QString cutToCharacters(const QString& text, qsizetype limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    QList<qsizetype> b;
    while (finder.toNextBoundary() >= 0)
        b.append(finder.position());
    if (b.size() <= limit)
        return text;
    return text.left(b.at(limit - 4)) + QChar(0x2026);
}

namespace KitLooks {
inline QColor red()
{
    return QColor::fromRgbF(1.0f, 0.38f, 0.36f);
}
inline QColor amber()
{
    return QColor::fromRgbF(1.0f, 0.78f, 0.22f);
}
inline QColor green()
{
    return QColor::fromRgbF(0.27f, 0.83f, 0.46f);
}
inline QColor orange()
{
    return QColor::fromRgbF(1.0f, 0.66f, 0.2f);
}
inline QColor runtimeAccentOf(RuntimeKind kind)
{
    switch (kind) {
    case RuntimeKind::AgentBrowser:
        return QColor::fromRgbF(0.36f, 0.62f, 1.0f);
    case RuntimeKind::Next:
        return QColor::fromRgbF(0.82f, 0.84f, 0.90f);
    case RuntimeKind::Vite:
        return QColor::fromRgbF(0.67f, 0.45f, 1.0f);
    case RuntimeKind::Node:
        return green();
    case RuntimeKind::Bun:
        return QColor::fromRgbF(1.0f, 0.58f, 0.78f);
    }
    return green();
}
inline QColor withOpacity(QColor c, qreal o)
{
    c.setAlphaF(float(o));
    return c;
}
} // namespace KitLooks

namespace KitLooks {
inline QColor runtimeAccent(const QString& k)
{
    return runtimeAccentOf(RuntimeKinds::fromRawValue(k).value_or(RuntimeKind::Node));
}
} // namespace KitLooks
