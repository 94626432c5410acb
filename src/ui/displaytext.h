#pragma once

#include "discovery/launchenvironment.h"

#include <QObject>
#include <QString>
#include <QtQml/qqml.h>

// The short display form of a command line: the last "&&" piece without its shell wrapping and environment
// set-up ("sh", "env", "-c", "-u NAME", NAME=value in front of the real command), absolute and home paths
// shortened to their last component. Pure and cheap: views call it while they draw.
QString compactCommandText(const QString& text);

// How many characters a shown outside text keeps: a long path or command still fits a tooltip line or two.
inline constexpr qsizetype shownTextLimit = 240;

// Text from other programs (page titles, command lines, paths, process summaries, error texts) as it is shown:
// without control characters (C0, DEL, C1) and without the characters that draw nothing (isHiddenCharacter: the
// bidirectional controls, zero-width spaces, soft hyphens, tags...; a joiner stays only where isNeededJoiner says
// it holds visible characters together), so nothing can reorder, hide or spoof what the user reads; a tab or line
// break (a run of them) becomes one space, so the text stays on one line; longer than `limit` characters (or
// their UTF-16 units), it is cut as cutToCharacters does. Only for showing: what is stored and run stays exact.
QString displaySafeText(const QString& text, qsizetype limit = shownTextLimit);
// The compact form of an outside command line, made safe the same way (cleaned before it is compacted, so a
// line break separates words as a space does).
QString displaySafeCommand(const QString& commandLine);

// A launch's command line as a row shows it: the given variables in front (`displayCommandLine` begins with them,
// as shownAssignments writes them), each value made safe to show, then the compact form of the command alone, so
// neither runs into the other.
QString displaySafeLaunch(const QString& displayCommandLine, const LaunchEnvironment::Variables& variables);

// `text` with a leading `home` folder replaced by "~": only when the home path is followed by "/" or ends the
// text, so a sibling folder ("/home/alice" under home "/home/al") stays as it is. A home of "/" or "" changes
// nothing.
QString abbreviatingHome(const QString& text, const QString& home);

// The text helpers for QML: every view shortens and abbreviates through these, never by hand.
class DisplayText : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static QString compactCommand(const QString& text) { return compactCommandText(text); }
    // More than `limit` user-perceived characters: the first `limit` - 3 and "…".
    Q_INVOKABLE static QString cut(const QString& text, int limit);
    // Abbreviates the user's home folder.
    Q_INVOKABLE static QString abbreviateHome(const QString& text);
};
