#pragma once

#include <QStringView>

// Characters that draw nothing of their own but can hide, reorder or spoof the text around them.

// A format character (general category Cf: zero-width spaces and joiners, the bidirectional controls, the soft
// hyphen, the byte-order mark, invisible operators, tags...) or an unassigned code point that text rendering must
// draw as nothing (the unassigned rest of the tag block, U+2065, U+FFF0 to U+FFF8).
bool isHiddenCharacter(char32_t c);

// Whether the zero-width joiner or non-joiner at `at` in `text` holds visible characters together: a joiner between
// two pictographs (an emoji sequence, modifiers and presentation selectors included), or either joiner between
// letters of one script whose shaping uses them (Arabic, Syriac, N'Ko, Mongolian and the Indic scripts). Anywhere
// else it only hides a word break or a difference, and is dropped from what is shown.
bool isNeededJoiner(QStringView text, qsizetype at);
