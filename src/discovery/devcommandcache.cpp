#include "discovery/devcommandcache.h"

#include "discovery/launchcommand.h"
#include "platform/system/clock.h"

using namespace Qt::StringLiterals;

DevCommandCache::DevCommandCache(const Clock* clock)
    : m_clock(clock ? clock : &SystemClock::shared())
{}

std::optional<QString> DevCommandCache::devCommand(const QString& folder)
{
    Entry& entry = m_entries[folder];
    if (entry.asked)
        return entry.devCommand;
    entry.asked = true;
    // Stamped before the read, so a change during it shows as a change next time.
    const qint64 now = m_clock->now().toSecsSinceEpoch();
    std::optional<FileStamp> folderStamp = fileStamp(folder);
    std::optional<FileStamp> manifestStamp = fileStamp(folder + u"/package.json"_s);
    // A change time ahead of the clock (a clock set back, a remote file system) is never settled.
    const auto settled = [now](const std::optional<FileStamp>& stamp) {
        return !stamp || stamp->changedSeconds + settleSeconds < now;
    };
    const bool unchanged = entry.settled && entry.folder == folderStamp && entry.manifest == manifestStamp;
    if (!unchanged)
        entry.devCommand = projectDevCommand(folder);
    entry.settled = folderStamp && settled(folderStamp) && settled(manifestStamp);
    entry.folder = std::move(folderStamp);
    entry.manifest = std::move(manifestStamp);
    return entry.devCommand;
}

void DevCommandCache::endScan()
{
    m_entries.removeIf([](QHash<QString, Entry>::iterator entry) { return !std::exchange(entry->asked, false); });
}
