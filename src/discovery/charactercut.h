#pragma once

#include <QString>

// How many UTF-16 units a shortened text may take per character of its limit: room for emoji sequences and
// accented letters, while a character made of thousands of combining marks stays bounded.
inline constexpr qsizetype cutUnitsPerCharacter = 8;

// Shortens a text for a one-line display. A text of more than `limit` user-perceived characters (grapheme
// clusters, so a combining mark, an emoji with its skin tone or a flag is one character), or of more than `limit` ×
// cutUnitsPerCharacter UTF-16 units, becomes its first characters followed by "…": at most `limit` - 3 of them and,
// with the "…", at most that many units. A character is never split, unless it alone is longer than all those
// units: then as much of it as fits is kept, ending after a whole code point and not after a joiner. Shorter texts
// come back unchanged.
QString cutToCharacters(const QString& text, qsizetype limit);
