#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqml.h>

// The short display form of a command line: the last "&&" piece without its shell wrapping and environment
// set-up ("sh", "env", "-c", "-u NAME", NAME=value in front of the real command), absolute and home paths
// shortened to their last component. Pure and cheap: views call it while they draw.
QString compactCommandText(const QString& text);

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
