#pragma once

#include <QString>

// Shortens a text for a one-line display: a text of more than `limit` user-perceived characters (grapheme
// clusters, so a combining mark, an emoji with its skin tone or a flag is one character and is never split)
// becomes its first `limit` - 3 characters followed by "…". Shorter texts come back unchanged.
QString cutToCharacters(const QString& text, qsizetype limit);
