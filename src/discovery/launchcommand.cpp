#include "discovery/launchcommand.h"

#include "discovery/pathtext.h"
#include "platform/smallfile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace LaunchCommand {

namespace {

// Far beyond any real manifest.
constexpr qint64 manifestLimit = 1024 * 1024;

// No shell quoting: every run of white space separates words.
QStringList splitWords(const QString& text)
{
    QStringList words;
    QString current;
    for (const QChar c : text) {
        if (c.isSpace()) {
            if (!current.isEmpty())
                words.append(std::exchange(current, QString()));
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        words.append(current);
    return words;
}

QString trimQuotes(const QString& word)
{
    const auto isQuote = [](QChar c) {
        return c == u'"' || c == u'\'';
    };
    qsizetype begin = 0;
    qsizetype end = word.size();
    while (begin < end && isQuote(word.at(begin)))
        ++begin;
    while (end > begin && isQuote(word.at(end - 1)))
        --end;
    return word.mid(begin, end - begin);
}

bool isPackageManagerName(const QString& name)
{
    return name == u"pnpm"_s || name == u"npm"_s || name == u"yarn"_s || name == u"bun"_s;
}

bool entryExists(const QString& folder, const QString& name)
{
    const QFileInfo info(folder + u'/' + name);
    return info.exists() || info.isSymLink();
}

} // namespace

bool isReplayableCommandLine(const QString& commandLine)
{
    const QStringView trimmed = QStringView(commandLine).trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'('))
        return false;
    const auto space = std::find_if(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isSpace(); });
    const QString first = trimmed.first(space - trimmed.cbegin()).toString().toLower();
    if (first == u"run"_s || first == u"dev"_s || first.startsWith(u'-'))
        return false;
    return !trimmed.toString().toLower().contains(u"next-server"_s);
}

bool isPackageManagerDevVariant(const QString& commandLine)
{
    // No "dev:" script without a colon, and most lines have none.
    if (!commandLine.contains(u':'))
        return false;
    QStringList words = splitWords(commandLine);
    for (QString& word : words)
        word = trimQuotes(word);

    qsizetype index = -1;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (isPackageManagerName(lastPathComponent(words.at(i)).toLower())) {
            index = i;
            break;
        }
    }
    if (index < 0)
        return false;

    qsizetype next = index + 1;
    if (next < words.size() && words.at(next).toLower() == u"run"_s)
        ++next;
    if (next >= words.size())
        return false;
    const QString script = words.at(next).toLower();
    return script.startsWith(u"dev:"_s) && script.size() > 4;
}

std::optional<QString> projectDevCommand(const QString& projectPath)
{
    if (projectPath.isEmpty())
        return std::nullopt;
    // A regular file of sane size only: a named pipe or a huge file in a project folder must not hang the caller.
    const std::optional<QByteArray> bytes = readSmallRegularFile(projectPath + u"/package.json"_s, manifestLimit);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject manifest = document.object();
    const QJsonValue scripts = manifest.value(u"scripts"_s);
    if (!scripts.isObject() || !scripts.toObject().value(u"dev"_s).isString())
        return std::nullopt;

    const QString manager = detectPackageManager(manifest, projectPath);
    if (manager == u"npm"_s)
        return u"npm run dev"_s;
    if (manager == u"bun"_s)
        return u"bun run dev"_s;
    return manager + u" dev"_s;
}

QString detectPackageManager(const QJsonObject& manifest, const QString& projectPath)
{
    const QJsonValue declared = manifest.value(u"packageManager"_s);
    if (declared.isString()) {
        const QStringList pieces = declared.toString().split(u'@', Qt::SkipEmptyParts);
        if (!pieces.isEmpty() && isPackageManagerName(pieces.constFirst()))
            return pieces.constFirst();
    }
    if (entryExists(projectPath, u"pnpm-lock.yaml"_s))
        return u"pnpm"_s;
    if (entryExists(projectPath, u"bun.lock"_s) || entryExists(projectPath, u"bun.lockb"_s))
        return u"bun"_s;
    if (entryExists(projectPath, u"yarn.lock"_s))
        return u"yarn"_s;
    return u"npm"_s;
}

QString shellCommandLine(const QStringList& arguments)
{
    const auto isPlain = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               QStringView(u"_@%+=:,./-").contains(c);
    };
    QStringList words;
    words.reserve(arguments.size());
    for (const QString& argument : arguments) {
        // zsh expands a word that begins with "=" to a command's path.
        if (!argument.isEmpty() && !argument.startsWith(u'=') &&
            std::all_of(argument.cbegin(), argument.cend(), isPlain)) {
            words.append(argument);
            continue;
        }
        QString quoted = argument;
        quoted.replace(u'\'', u"'\\''"_s);
        words.append(u'\'' + quoted + u'\'');
    }
    return words.join(u' ');
}

} // namespace LaunchCommand
