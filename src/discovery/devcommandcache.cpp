#include "discovery/devcommandcache.h"

#include "discovery/launchcommand.h"
#include "platform/clock.h"

using namespace Qt::StringLiterals;

DevCommandCache::DevCommandCache(const Clock* clock)
    : m_clock(clock ? clock : &SystemClock::shared())
{}

QHash<QString, std::optional<QString>> DevCommandCache::devCommands(const QStringList& folders)
{
    QHash<QString, std::optional<QString>> commands;
    QHash<QString, Entry> entries;
    for (const QString& folder : folders) {
        if (commands.contains(folder))
            continue;
        // Stamped before the read, so a change during it shows as a change next time.
        const qint64 now = m_clock->now().toSecsSinceEpoch();
        Entry entry{fileStamp(folder), fileStamp(folder + u"/package.json"_s), std::nullopt, false};
        // A change time ahead of the clock (a clock set back, a remote file system) is never settled.
        const auto settled = [now](const std::optional<FileStamp>& stamp) {
            return !stamp || stamp->changedSeconds + settleSeconds < now;
        };
        entry.settled = entry.folder && settled(entry.folder) && settled(entry.manifest);
        const auto known = m_entries.constFind(folder);
        const bool unchanged = known != m_entries.cend() && known->settled && known->folder == entry.folder &&
                               known->manifest == entry.manifest;
        entry.devCommand = unchanged ? known->devCommand : projectDevCommand(folder);
        commands.insert(folder, entry.devCommand);
        entries.insert(folder, std::move(entry));
    }
    m_entries = std::move(entries);
    return commands;
}
