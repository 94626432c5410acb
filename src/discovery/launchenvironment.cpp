#include "discovery/launchenvironment.h"

#include "discovery/charactercut.h"
#include "discovery/launchcommand.h"
#include "discovery/pathtext.h"
#include "telemetry/redaction.h"

#include <QHash>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace LaunchEnvironment {

namespace {

using Entries = QHash<QByteArray, QByteArray>;

// The first entry of a name counts, as for getenv.
Entries entriesOf(const QList<QByteArray>& environment)
{
    Entries entries;
    for (const QByteArray& entry : environment) {
        const qsizetype equals = entry.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray name = entry.first(equals);
        if (!entries.contains(name))
            entries.insert(name, entry.sliced(equals + 1));
    }
    return entries;
}

bool isAssignableName(QByteArrayView name)
{
    if (name.isEmpty() || (name.front() >= '0' && name.front() <= '9'))
        return false;
    for (const char c : name) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

// What every shell sets, and what a terminal or multiplexer says about itself: a relaunch runs in neither, so
// these are never the user's to give.
bool isSessionVariable(QByteArrayView name)
{
    static const QList<QByteArray> shell{"_", "PWD", "OLDPWD", "SHLVL", "COLUMNS", "LINES", "PATH"};
    static const QList<QByteArray> terminal{"TERM", "COLORTERM", "TERM_PROGRAM", "TERM_PROGRAM_VERSION", "TMUX"};
    static const QList<QByteArray> pane{"TMUX_PANE", "STY", "WINDOW", "WINDOWID", "VTE_VERSION"};
    return shell.contains(name) || terminal.contains(name) || pane.contains(name);
}

// What given() keeps of a process's names, and what is set again from the settings file.
bool isGivenName(QByteArrayView name)
{
    return name != markerName().toUtf8() && isAssignableName(name) && !isSessionVariable(name);
}

std::optional<QString> text(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

// The names the launch's own marker lists, where the marker is the launch's.
std::optional<QList<QByteArray>> markedNames(const Entries& entries, const Launcher& launcher)
{
    const auto marker = entries.constFind(markerName().toUtf8());
    if (marker == entries.cend())
        return std::nullopt;
    const qsizetype colon = marker->indexOf(':');
    if (colon < 0)
        return std::nullopt;
    bool ok = false;
    const qint32 shell = marker->first(colon).toInt(&ok);
    if (!ok || shell <= 1 || (shell != launcher.pid && shell != launcher.parentPid))
        return std::nullopt;
    return marker->sliced(colon + 1).split(',');
}

QString carrierName(const QString& name)
{
    return u"PORTHIVE_GIVEN_"_s + name;
}

} // namespace

QString markerName()
{
    return u"PORTHIVE_LAUNCH_ENVIRONMENT"_s;
}

std::optional<QString> value(const QList<QByteArray>& environment, const QString& name)
{
    const QByteArray prefix = name.toUtf8() + '=';
    for (const QByteArray& entry : environment) {
        if (entry.startsWith(prefix))
            return text(entry.sliced(prefix.size()));
    }
    return std::nullopt;
}

bool isShellName(const QString& name)
{
    static const QStringList shells{u"sh"_s,   u"bash"_s,  u"zsh"_s, u"fish"_s, u"dash"_s, u"ksh"_s,
                                    u"mksh"_s, u"ksh93"_s, u"ash"_s, u"yash"_s, u"tcsh"_s, u"csh"_s};
    QString bare = lastPathComponent(name);
    if (bare.startsWith(u'-'))
        bare.remove(0, 1);
    return shells.contains(bare);
}

std::optional<Variables> given(const Launcher& launcher)
{
    if (!launcher.environment)
        return Variables{};
    const Entries entries = entriesOf(*launcher.environment);

    QList<QByteArray> names;
    if (const std::optional<QList<QByteArray>> marked = markedNames(entries, launcher)) {
        names = *marked;
    } else {
        const Entries login = launcher.loginEnvironment ? entriesOf(*launcher.loginEnvironment) : Entries();
        const Entries own = entriesOf(launcher.ownEnvironment);
        const Entries shell = launcher.shellEnvironment ? entriesOf(*launcher.shellEnvironment) : Entries();
        const auto has = [](const Entries& environment, const auto& entry) {
            const auto found = environment.constFind(entry.key());
            return found != environment.cend() && *found == entry.value();
        };
        for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
            if (!has(login, entry) && !has(own, entry) && !has(shell, entry))
                names.append(entry.key());
        }
    }

    Variables variables;
    for (const QByteArray& name : std::as_const(names)) {
        if (!isGivenName(name))
            continue;
        const auto value = entries.constFind(name);
        if (value == entries.cend())
            continue;
        std::optional<QString> decoded = text(*value);
        if (!decoded)
            return std::nullopt;
        variables.insert(QString::fromLatin1(name), std::move(*decoded));
    }
    return variables;
}

QString assignmentText(const Variables& variables)
{
    QString assignments;
    for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable)
        assignments += variable.key() + u'=' + shellCommandLine({variable.value()}) + u' ';
    return assignments;
}

QString shownAssignments(const Variables& variables)
{
    QString shown;
    for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable) {
        const bool secret = Redaction::namesSecret(variable.key()) || Redaction::looksSecret(variable.value());
        shown +=
            variable.key() + u'=' +
            (secret ? Redaction::placeholder : shellCommandLine({cutToCharacters(variable.value(), shownValueLimit)})) +
            u' ';
    }
    return shown;
}

bool isSettable(const QString& name, const QString& value)
{
    return QStringView(name).isValidUtf16() && isGivenName(name.toUtf8()) && QStringView(value).isValidUtf16() &&
           !value.contains(QChar(0));
}

QStringList carriers(const Variables& variables)
{
    QStringList entries;
    for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable) {
        if (isSettable(variable.key(), variable.value()))
            entries.append(carrierName(variable.key()) + u'=' + variable.value());
    }
    return entries;
}

QString exportText(const Variables& variables)
{
    QStringList names;
    for (auto variable = variables.cbegin(); variable != variables.cend(); ++variable) {
        if (isSettable(variable.key(), variable.value()))
            names.append(variable.key());
    }
    // "$$" is the shell's own id: the launch is that shell or its child, and a process that inherited the marker
    // from elsewhere is neither.
    QString text = u"export "_s + markerName() + u"=\"$$:"_s + names.join(u',') + u'"';
    QStringList carried;
    for (const QString& name : std::as_const(names)) {
        text += u' ' + name + u"=\"$"_s + carrierName(name) + u'"';
        carried.append(carrierName(name));
    }
    text += u" && "_s;
    if (!carried.isEmpty())
        text += u"unset "_s + carried.join(u' ') + u" && "_s;
    return text;
}

} // namespace LaunchEnvironment
