#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The bytes of a regular file of at most `limit` bytes; absent when it is missing, unreadable, no regular file or
// larger. Opened without blocking and checked on the opened descriptor, so a named pipe or a device put in its
// place never hangs the caller. Blocking file work all the same: call it off the GUI thread.
std::optional<QByteArray> readSmallRegularFile(const QString& path, qint64 limit);

// Tells, without reading it, whether a file or folder may have changed since an earlier look: which file the path
// leads to (links followed) and when its inode last changed. The change time moves with every write, every entry
// added to, removed from or renamed in a folder and every attribute change, and no call can set it back. It ticks
// coarsely, though: a second change in the tick of the first leaves the same stamp.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    // By the real-time clock.
    qint64 changedSeconds = 0;
    qint64 changedNanoseconds = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Absent when the path leads nowhere or cannot be looked at.
std::optional<FileStamp> fileStamp(const QString& path);
