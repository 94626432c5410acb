#include "displaytext.h"

#include "discovery/charactercut.h"
#include "discovery/hiddencharacters.h"
#include "discovery/pathtext.h"

#include <QDir>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QString trimmedSpacesAndTabs(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) {
        return c == u' ' || c == u'\t';
    };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin).toString();
}

enum class Shown
{
    Kept,
    Dropped,
    Space
};

Shown shownAs(char32_t c)
{
    switch (c) {
    case u'\t':
    case u'\n':
    case 0x000B:
    case 0x000C:
    case u'\r':
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return Shown::Space;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return Shown::Dropped;
    // The bidirectional controls are format characters too.
    if (isHiddenCharacter(c))
        return Shown::Dropped;
    return Shown::Kept;
}

// The text as it is read, code point by code point: a lone surrogate is kept as it is (Qt draws it as a
// replacement character), a joiner only where it holds visible characters together.
QString withoutHiddenCharacters(const QString& text)
{
    QString result;
    bool changed = false;
    bool spaced = false;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = 1;
        char32_t c = text.at(at).unicode();
        if (text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
            length = 2;
        }
        Shown shown = shownAs(c);
        if (shown == Shown::Dropped && isNeededJoiner(text, at))
            shown = Shown::Kept;
        if (shown != Shown::Kept && !changed) {
            changed = true;
            result.reserve(text.size());
            result.append(QStringView(text).first(at));
        }
        switch (shown) {
        case Shown::Kept:
            if (changed)
                result.append(QStringView(text).sliced(at, length));
            spaced = false;
            break;
        case Shown::Space:
            if (!spaced)
                result.append(u' ');
            spaced = true;
            break;
        case Shown::Dropped:
            break;
        }
        at += length;
    }
    return changed ? result : text;
}

} // namespace

QString displaySafeText(const QString& text, qsizetype limit)
{
    return cutToCharacters(withoutHiddenCharacters(text), limit);
}

QString displaySafeCommand(const QString& commandLine)
{
    return cutToCharacters(compactCommandText(withoutHiddenCharacters(commandLine)), shownTextLimit);
}

QString displaySafeLaunch(const QString& displayCommandLine, const LaunchEnvironment::Variables& variables)
{
    const QString assignments = LaunchEnvironment::shownAssignments(variables);
    if (assignments.isEmpty() || !displayCommandLine.startsWith(assignments))
        return displaySafeCommand(displayCommandLine);
    // Without its trailing space, so a cut keeps the space before the command.
    return displaySafeText(assignments.chopped(1)) + u' ' +
           displaySafeCommand(displayCommandLine.sliced(assignments.size()));
}

QString compactCommandText(const QString& text)
{
    const qsizetype lastAnd = text.lastIndexOf(u"&&"_s);
    const QString segment =
        trimmedSpacesAndTabs(lastAnd < 0 ? QStringView(text) : QStringView(text).sliced(lastAnd + 2));
    const QStringList words = segment.split(u' ', Qt::SkipEmptyParts);

    QStringList kept;
    bool leading = true;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (leading) {
            if (word == u"sh"_s || word == u"env"_s || word == u"-c"_s)
                continue;
            if (word == u"-u"_s) {
                ++i; // its variable name goes too, when there is one
                continue;
            }
            if (!word.startsWith(u'-') && word.contains(u'='))
                continue;
            leading = false;
        }
        if (word.startsWith(u'/') || word.startsWith(u"~/"_s))
            kept.append(lastPathComponent(word));
        else
            kept.append(word);
    }
    const QString joined = kept.join(u' ');
    return joined.isEmpty() ? segment : joined;
}

QString abbreviatingHome(const QString& text, const QString& home)
{
    QStringView folder(home);
    while (folder.endsWith(u'/'))
        folder.chop(1);
    if (folder.isEmpty() || !text.startsWith(folder))
        return text;
    if (text.size() != folder.size() && text.at(folder.size()) != u'/')
        return text;
    return u'~' + text.mid(folder.size());
}

QString DisplayText::cut(const QString& text, int limit)
{
    return cutToCharacters(text, limit);
}

QString DisplayText::abbreviateHome(const QString& text)
{
    return abbreviatingHome(text, QDir::homePath());
}
