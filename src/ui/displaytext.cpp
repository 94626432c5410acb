#include "displaytext.h"

#include "discovery/charactercut.h"
#include "discovery/pathtext.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

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

Shown shownAs(char16_t c)
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
    case 0x061C: // Arabic letter mark
    case 0x200E: // left-to-right mark
    case 0x200F: // right-to-left mark
        return Shown::Dropped;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return Shown::Dropped;
    // Embeddings and overrides, then isolates.
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
        return Shown::Dropped;
    return Shown::Kept;
}

// Every character it removes or replaces lies in the BMP, so the text is read unit by unit and surrogate pairs
// pass through whole.
QString withoutMovingCharacters(const QString& text)
{
    const auto first =
        std::find_if(text.cbegin(), text.cend(), [](QChar c) { return shownAs(c.unicode()) != Shown::Kept; });
    if (first == text.cend())
        return text;

    QString result;
    result.reserve(text.size());
    result.append(QStringView(text.cbegin(), first));
    bool spaced = false;
    for (auto at = first; at != text.cend(); ++at) {
        switch (shownAs(at->unicode())) {
        case Shown::Kept:
            result.append(*at);
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
    }
    return result;
}

} // namespace

QString displaySafeText(const QString& text, qsizetype limit)
{
    return cutToCharacters(withoutMovingCharacters(text), limit);
}

QString displaySafeCommand(const QString& commandLine)
{
    return cutToCharacters(compactCommandText(withoutMovingCharacters(commandLine)), shownTextLimit);
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
