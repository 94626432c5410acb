#include "platform/desktop/desktopentry.h"

using namespace Qt::StringLiterals;

namespace DesktopEntry {

namespace {

bool isReserved(QChar c)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    return reserved.contains(c);
}

bool escapedInQuotes(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

} // namespace

QString quoteExecArgument(const QString& argument)
{
    QString doubled = argument;
    doubled.replace(u'%', u"%%"_s);
    const bool needsQuotes = doubled.isEmpty() || std::any_of(doubled.cbegin(), doubled.cend(), isReserved);
    if (!needsQuotes)
        return doubled;
    QString quoted = u"\""_s;
    for (QChar c : std::as_const(doubled)) {
        if (escapedInQuotes(c))
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

QString execValue(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& argument : arguments)
        quoted.append(quoteExecArgument(argument));
    return quoted.join(u' ');
}

std::optional<QStringList> parseExecValue(const QString& value)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (inQuotes) {
            if (c == u'\\' && i + 1 < value.size() && escapedInQuotes(value.at(i + 1))) {
                current += value.at(++i);
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
            continue;
        }
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == u'"')
            inQuotes = true;
        else
            current += c;
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);

    // Field codes stand for files and addresses the launcher would pass; an autostart passes none.
    QStringList result;
    for (const QString& argument : std::as_const(arguments)) {
        QString text;
        bool onlyFieldCodes = !argument.isEmpty();
        for (qsizetype i = 0; i < argument.size(); ++i) {
            if (argument.at(i) == u'%' && i + 1 < argument.size()) {
                const QChar code = argument.at(++i);
                if (code == u'%') {
                    text += u'%';
                    onlyFieldCodes = false;
                }
                continue;
            }
            text += argument.at(i);
            onlyFieldCodes = false;
        }
        if (!onlyFieldCodes)
            result.append(text);
    }
    return result;
}

QString escapeValue(const QString& value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += u"\\\\"_s;
            break;
        case u'\n':
            escaped += u"\\n"_s;
            break;
        case u'\t':
            escaped += u"\\t"_s;
            break;
        case u'\r':
            escaped += u"\\r"_s;
            break;
        default:
            escaped += c;
        }
    }
    // Leading spaces would be taken for the blank around "=".
    qsizetype leading = 0;
    while (leading < escaped.size() && escaped.at(leading) == u' ')
        ++leading;
    return QString(u"\\s"_s).repeated(leading) + escaped.mid(leading);
}

QString unescapeValue(const QString& value)
{
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 >= value.size()) {
            text += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case u's':
            text += u' ';
            break;
        case u'n':
            text += u'\n';
            break;
        case u't':
            text += u'\t';
            break;
        case u'r':
            text += u'\r';
            break;
        case u'\\':
            text += u'\\';
            break;
        default:
            // Not a string escape; the Exec quoting rules read it.
            text += c;
            text += next;
        }
    }
    return text;
}

QHash<QString, QString> readGroup(const QByteArray& contents)
{
    QHash<QString, QString> keys;
    bool inGroup = false;
    const QList<QByteArray> lines = contents.split('\n');
    for (const QByteArray& rawLine : lines) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u"[Desktop Entry]"_s;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        // The first occurrence counts, as in the reference readers.
        if (!keys.contains(key))
            keys.insert(key, unescapeValue(line.mid(equals + 1).trimmed()));
    }
    return keys;
}

std::optional<bool> booleanValue(const QString& value)
{
    // As GLib reads them, which is what the desktops that honour the autostart keys use.
    if (value == u"true"_s || value == u"1"_s)
        return true;
    if (value == u"false"_s || value == u"0"_s)
        return false;
    return std::nullopt;
}

} // namespace DesktopEntry
