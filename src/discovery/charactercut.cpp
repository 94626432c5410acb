#include "discovery/charactercut.h"

#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

QString cutToCharacters(const QString& text, qsizetype limit)
{
    const qsizetype keptCharacters = qMax<qsizetype>(limit - 3, 0);
    const qsizetype unitLimit = qMax<qsizetype>(limit, 0) * cutUnitsPerCharacter;
    // Room for the "…".
    const qsizetype keptUnits = qMax<qsizetype>(unitLimit - 1, 0);
    const bool tooManyUnits = text.size() > unitLimit;
    // A boundary depends only on what comes before it and the code point after, so a long text is read only as far
    // as a character starting within the limit must reach to tell whether it is longer than the whole room.
    const qsizetype examined = tooManyUnits ? qMin(text.size(), 2 * unitLimit + 2) : text.size();

    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData(), examined);
    qsizetype count = 0;
    qsizetype keptEnd = 0;
    qsizetype previous = 0;
    bool full = false;
    bool longCharacter = false;
    bool tooManyCharacters = false;
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        ++count;
        if (!full) {
            if (count <= keptCharacters && at <= keptUnits) {
                keptEnd = at;
            } else {
                full = true;
                longCharacter = count <= keptCharacters && at - previous > unitLimit;
                if (tooManyUnits)
                    break;
            }
        }
        if (count > limit) {
            tooManyCharacters = true;
            break;
        }
        previous = at;
    }
    if (!tooManyCharacters && !tooManyUnits)
        return text;

    if (longCharacter) {
        // A character longer than the whole room: as much of it as fits, after a whole code point and not after
        // a joiner.
        keptEnd = keptUnits;
        if (text.at(keptEnd - 1).isHighSurrogate())
            --keptEnd;
        while (keptEnd > previous && (text.at(keptEnd - 1) == QChar(0x200D) || text.at(keptEnd - 1) == QChar(0x200C)))
            --keptEnd;
    }
    return text.left(keptEnd) + u"\u2026"_s;
}
