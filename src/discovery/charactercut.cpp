#include "discovery/charactercut.h"

#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

QString cutToCharacters(const QString& text, qsizetype limit)
{
    const qsizetype kept = qMax<qsizetype>(limit - 3, 0);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    qsizetype keptEnd = 0;
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        ++count;
        if (count == kept)
            keptEnd = at;
        if (count > limit)
            return text.left(keptEnd) + u"\u2026"_s;
    }
    return text;
}
