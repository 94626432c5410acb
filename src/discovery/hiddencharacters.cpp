#include "discovery/hiddencharacters.h"

#include <QChar>

namespace {

constexpr char16_t zeroWidthNonJoiner = 0x200C;
constexpr char16_t zeroWidthJoiner = 0x200D;

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

bool isLetter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
        return true;
    default:
        return false;
    }
}

bool isEmojiModifier(char32_t c)
{
    return c >= 0x1F3FB && c <= 0x1F3FF;
}

bool isPictograph(char32_t c)
{
    return QChar::category(c) == QChar::Symbol_Other;
}

bool usesJoiners(QChar::Script script)
{
    switch (script) {
    case QChar::Script_Arabic:
    case QChar::Script_Syriac:
    case QChar::Script_Nko:
    case QChar::Script_Mongolian:
    case QChar::Script_Devanagari:
    case QChar::Script_Bengali:
    case QChar::Script_Gurmukhi:
    case QChar::Script_Gujarati:
    case QChar::Script_Oriya:
    case QChar::Script_Tamil:
    case QChar::Script_Telugu:
    case QChar::Script_Kannada:
    case QChar::Script_Malayalam:
    case QChar::Script_Sinhala:
        return true;
    default:
        return false;
    }
}

// The code point that ends before `at`, and where it starts; 0 at the start of the text.
char32_t codePointBefore(QStringView text, qsizetype& at)
{
    if (at <= 0)
        return 0;
    --at;
    if (at > 0 && text.at(at).isLowSurrogate() && text.at(at - 1).isHighSurrogate()) {
        --at;
        return QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
    }
    return text.at(at).unicode();
}

// The code point that starts at `at`; 0 at the end of the text.
char32_t codePointAt(QStringView text, qsizetype at)
{
    if (at >= text.size())
        return 0;
    if (text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
    return text.at(at).unicode();
}

} // namespace

bool isHiddenCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Format:
        return true;
    case QChar::Other_NotAssigned:
        return c == 0x2065 || (c >= 0xFFF0 && c <= 0xFFF8) || (c >= 0xE0000 && c <= 0xE0FFF);
    default:
        return false;
    }
}

bool isNeededJoiner(QStringView text, qsizetype at)
{
    if (at < 0 || at >= text.size())
        return false;
    const char16_t joiner = text.at(at).unicode();
    if (joiner != zeroWidthJoiner && joiner != zeroWidthNonJoiner)
        return false;
    const char32_t after = codePointAt(text, at + 1);

    // The pictograph before the joiner, past its presentation selector, skin tone or keycap.
    qsizetype start = at;
    char32_t before = codePointBefore(text, start);
    while (before != 0 && (isMark(before) || isEmojiModifier(before)))
        before = codePointBefore(text, start);
    if (joiner == zeroWidthJoiner && isPictograph(before) && isPictograph(after))
        return true;

    // The letter or sign before the joiner: a virama belongs to its script, while a mark shared by every script
    // (an Arabic vowel sign, a combining accent) is passed over to the letter it sits on.
    start = at;
    before = codePointBefore(text, start);
    while (before != 0 && isMark(before) && QChar::script(before) == QChar::Script_Inherited)
        before = codePointBefore(text, start);
    const QChar::Script script = QChar::script(before);
    return usesJoiners(script) && (isLetter(before) || isMark(before)) && isLetter(after) &&
           QChar::script(after) == script;
}
