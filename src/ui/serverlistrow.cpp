#include "serverlistrow.h"

#include "control/serverstore.h"

using namespace Qt::StringLiterals;

namespace {

const QString runningHeaderKey = u"running-section"_s;

// Gives a repeated key a suffix that no identity carries, so every row's key is unique.
QString uniqueKey(const QString& key, QHash<QString, int>& seen)
{
    const int repeats = seen[key]++;
    return repeats == 0 ? key : key + u'\u0001' + QString::number(repeats);
}

} // namespace

QList<ServerListRow> makeListRows(const MenuContentSnapshot& snapshot, const ServerStore& store)
{
    QList<ServerListRow> rows;
    QHash<QString, int> seen;
    const auto append = [&rows, &seen](ServerListRow row) {
        row.key = uniqueKey(row.key, seen);
        rows.append(std::move(row));
    };

    if (!snapshot.runningItems.isEmpty()) {
        ServerListRow header;
        header.type = ServerListRow::Type::Header;
        header.key = runningHeaderKey;
        header.title = u"Running"_s;
        header.count = snapshot.runningCount;
        append(std::move(header));
    }
    for (qsizetype i = 0; i < snapshot.runningItems.size(); ++i) {
        const RunningItem& item = snapshot.runningItems.at(i);
        ServerListRow row;
        row.key = item.id();
        row.showsDivider = i > 0;
        row.staggerIndex = int(i);
        row.servers = item.servers;
        if (item.kind == RunningItem::Kind::Server) {
            row.type = ServerListRow::Type::Server;
            row.serverFacts = ServerRowFacts::of(item.servers.constFirst(), store.pendingServerActions(),
                                                 store.logSessionsByProjectPath(), store.logPreviewsByProjectPath());
        } else {
            row.type = ServerListRow::Type::Group;
        }
        append(std::move(row));
    }

    const QSet<QString> ambiguous = MenuContent::ambiguousFolderNames(snapshot);
    for (qsizetype b = 0; b < snapshot.savedBuckets.size(); ++b) {
        const SavedBucketPresentation& section = snapshot.savedBuckets.at(b);
        ServerListRow header;
        header.type = ServerListRow::Type::Header;
        header.key = section.bucket.label;
        header.title = section.bucket.label;
        header.count = int(section.bucket.projects.size());
        header.secondaryAccent = true;
        append(std::move(header));

        const QList<RememberedProject> shown = section.shownProjects();
        for (qsizetype j = 0; j < shown.size(); ++j) {
            ServerListRow row;
            row.type = ServerListRow::Type::Saved;
            row.key = shown.at(j).projectPath;
            row.showsDivider = j > 0;
            row.staggerIndex = MenuContent::staggerIndex(snapshot, int(b), int(j));
            row.project = shown.at(j);
            row.savedFacts = SavedRowFacts::of(shown.at(j), store.pendingProjectActions(), store.projectErrors(),
                                               store.logSessionsByProjectPath(), store.logPreviewsByProjectPath());
            row.showsDisambiguation = ambiguous.contains(SavedRowLogic::title(shown.at(j)));
            append(std::move(row));
        }
        if (section.hasDisclosure()) {
            ServerListRow row;
            row.type = ServerListRow::Type::Disclosure;
            row.key = section.disclosureID();
            row.bucketLabel = section.bucket.label;
            row.hiddenCount = section.hiddenCount();
            row.isExpanded = section.isExpanded;
            append(std::move(row));
        }
    }
    return rows;
}
