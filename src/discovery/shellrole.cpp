#include "discovery/shellrole.h"

#include "discovery/launchenvironment.h"

using namespace Qt::StringLiterals;

ShellRun shellRun(const QString& executable, const QStringList& words)
{
    using Role = ShellRun::Role;
    if (!LaunchEnvironment::isShellName(executable))
        return {};
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (word == u"--"_s || word == u"-"_s) {
            if (i + 1 < words.size())
                return {Role::Script, i + 1};
            break;
        }
        if (word.startsWith(u"--"_s)) {
            // The long options that take a value.
            if (word == u"--rcfile"_s || word == u"--init-file"_s || word == u"--emulate"_s)
                ++i;
            continue;
        }
        if (word.size() > 1 && (word.startsWith(u'-') || word.startsWith(u'+'))) {
            const QStringView letters = QStringView(word).sliced(1);
            // A command string, even where the shell is also told to be interactive (a login shell's `-lic`).
            if (letters.contains(u'c'))
                return {Role::CommandString};
            // Commands from standard input that no terminal gives: a script piped in.
            if (letters.contains(u's') && !letters.contains(u'i'))
                return {Role::CommandString};
            // Each of -o, +o, -O and +O names an option in the next word.
            i += letters.count(u'o') + letters.count(u'O');
            continue;
        }
        return {Role::Script, i};
    }
    return {Role::Interactive};
}
