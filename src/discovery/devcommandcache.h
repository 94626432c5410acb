#pragma once

#include "platform/storage/smallfile.h"

#include <QHash>
#include <QString>

#include <optional>

class Clock;

// The dev command of the project folders scans ask for, read again only when the folder or its package.json may
// have changed since (a lock file comes or goes with a change of the folder). Their change times tick coarsely, so
// what was read within a moment of a change is read again until the change is older. Not thread-safe: one scan at
// a time.
class DevCommandCache
{
public:
    // Far beyond the tick of any file system's change time.
    static constexpr qint64 settleSeconds = 2;

    // The clock must outlive the cache; a null clock is the system clock.
    explicit DevCommandCache(const Clock* clock = nullptr);

    // What projectDevCommand gives for the folder; looked at once per scan.
    std::optional<QString> devCommand(const QString& folder);
    // Ends a scan: forgets the folders it did not ask for.
    void endScan();

private:
    struct Entry
    {
        std::optional<FileStamp> folder;
        std::optional<FileStamp> manifest;
        std::optional<QString> devCommand;
        // Both stamps were over settleSeconds old when taken: a later change gives other stamps.
        bool settled = false;
        bool asked = false;
    };
    const Clock* m_clock;
    QHash<QString, Entry> m_entries;
};
