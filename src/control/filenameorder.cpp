#include "control/filenameorder.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <optional>

namespace {

struct CachedCollator
{
    QString localeName;
    QCollator collator;
};

// Building a collator is costly and a sort compares often; the default locale may change (tests do).
const QCollator& textCollator()
{
    thread_local std::optional<CachedCollator> cache;
    const QLocale locale;
    if (!cache || cache->localeName != locale.name()) {
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(false);
        cache.emplace(CachedCollator{locale.name(), std::move(collator)});
    }
    return cache->collator;
}

QStringView takeRun(QStringView text, qsizetype& position, bool digits)
{
    const qsizetype start = position;
    while (position < text.size() && text.at(position).isDigit() == digits)
        ++position;
    return text.mid(start, position - start);
}

QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits.at(i).digitValue() == 0)
        ++i;
    return digits.mid(i);
}

int sign(qsizetype value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

} // namespace

int compareFileNames(QStringView a, QStringView b)
{
    const QCollator& collator = textCollator();
    qsizetype i = 0;
    qsizetype j = 0;
    // Decides only when everything else is equal: "7" before "007".
    int zerosTie = 0;
    while (i < a.size() && j < b.size()) {
        const bool aDigits = a.at(i).isDigit();
        const bool bDigits = b.at(j).isDigit();
        const QStringView runA = takeRun(a, i, aDigits);
        const QStringView runB = takeRun(b, j, bDigits);
        if (aDigits && bDigits) {
            const QStringView valueA = withoutLeadingZeros(runA);
            const QStringView valueB = withoutLeadingZeros(runB);
            if (valueA.size() != valueB.size())
                return sign(valueA.size() - valueB.size());
            for (qsizetype k = 0; k < valueA.size(); ++k) {
                const int difference = valueA.at(k).digitValue() - valueB.at(k).digitValue();
                if (difference != 0)
                    return sign(difference);
            }
            if (zerosTie == 0)
                zerosTie = sign(runA.size() - runB.size());
            continue;
        }
        const int order = collator.compare(runA, runB);
        if (order != 0)
            return sign(order);
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return zerosTie;
}
