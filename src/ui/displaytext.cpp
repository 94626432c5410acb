#include "displaytext.h"

#include "discovery/charactercut.h"
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

} // namespace

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
