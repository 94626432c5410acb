#include "discovery/launchcommand.h"

#include "discovery/pathtext.h"
#include "platform/storage/smallfile.h"

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

std::optional<QStringList> quotedWords(QStringView text)
{
    // What npm quotes before it hands an argument to the shell; unquoted, it is not npm's text.
    static constexpr QStringView quotedByNpm = u"\t\n\v\f\r \"#$&'()*;<>?\\`|~";
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\'') {
            const qsizetype close = text.indexOf(u'\'', i + 1);
            if (close < 0)
                return std::nullopt;
            word += text.sliced(i + 1, close - i - 1);
            i = close;
        } else if (c == u'\\') {
            if (i + 1 >= text.size() || text.at(i + 1) == u'\n')
                return std::nullopt;
            word += text.at(++i);
        } else if (quotedByNpm.contains(c)) {
            return std::nullopt;
        } else {
            word += c;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

std::optional<QStringList> npmCommand(const QStringList& shellArguments,
                                      const std::function<std::optional<QString>(const QString&)>& npmVariable)
{
    if (shellArguments.size() != 3 || shellArguments.at(1) != u"-c"_s)
        return std::nullopt;
    const QString& text = shellArguments.at(2);
    const std::optional<QString> agent = npmVariable(u"npm_config_user_agent"_s);
    const std::optional<QString> command = npmVariable(u"npm_command"_s);
    const std::optional<QString> script = npmVariable(u"npm_lifecycle_script"_s);
    if (!agent || !agent->startsWith(u"npm/"_s) || !command || !script)
        return std::nullopt;

    if (*command == u"exec"_s) {
        // npm exec writes the command and its arguments, each quoted as needed.
        const std::optional<QStringList> words = quotedWords(text);
        if (!words || words->isEmpty())
            return std::nullopt;
        return QStringList{u"npm"_s, u"exec"_s, u"--"_s} + *words;
    }

    // "run" (older npm says "run-script") runs the script the event names; the others run their own script.
    const bool run = *command == u"run"_s || *command == u"run-script"_s;
    static const QStringList ownScriptCommands{u"start"_s, u"test"_s, u"stop"_s, u"restart"_s};
    const std::optional<QString> event = npmVariable(u"npm_lifecycle_event"_s);
    if (!event || event->isEmpty() || (!run && (!ownScriptCommands.contains(*command) || *command != *event)))
        return std::nullopt;
    // The script's own text, then a space and each of the user's arguments.
    if (!text.startsWith(*script))
        return std::nullopt;
    const QStringView rest = QStringView(text).sliced(script->size());
    if (!rest.isEmpty() && rest.front() != u' ')
        return std::nullopt;
    const std::optional<QStringList> arguments = quotedWords(rest);
    if (!arguments)
        return std::nullopt;
    QStringList replay = run ? QStringList{u"npm"_s, u"run"_s, *event} : QStringList{u"npm"_s, *command};
    if (!arguments->isEmpty())
        replay += QStringList{u"--"_s} + *arguments;
    return replay;
}

} // namespace LaunchCommand
