#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Reading and writing freedesktop.org desktop entry files (the format of XDG autostart entries).
namespace DesktopEntry {

// One argument as the Exec key writes it: quoted when it holds a reserved character, percent signs doubled.
QString quoteExecArgument(const QString& argument);
// The Exec value for a program and its arguments, before the string escapes of the file format.
QString execValue(const QStringList& arguments);
// The arguments of an Exec value (string escapes already undone), field codes dropped; nothing when a quote is
// left open.
std::optional<QStringList> parseExecValue(const QString& value);

// A value of type string as it is written in the file: backslash, line breaks and tabs escaped.
QString escapeValue(const QString& value);
QString unescapeValue(const QString& value);

// The keys of the [Desktop Entry] group, values unescaped; locale variants ("Name[de]") keep their suffix.
QHash<QString, QString> readGroup(const QByteArray& contents);
// A Boolean value ("true" or "false", or "1" or "0"); nothing for anything else.
std::optional<bool> booleanValue(const QString& value);

} // namespace DesktopEntry
