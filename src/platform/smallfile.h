#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes of a regular file of at most `limit` bytes; absent when it is missing, unreadable, no regular file or
// larger. Opened without blocking and checked on the opened descriptor, so a named pipe or a device put in its
// place never hangs the caller. Blocking file work all the same: call it off the GUI thread.
std::optional<QByteArray> readSmallRegularFile(const QString& path, qint64 limit);
