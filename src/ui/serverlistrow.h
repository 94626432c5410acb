#pragma once

#include "menucontent.h"
#include "savedrowlogic.h"
#include "serverrowlogic.h"

#include <QList>
#include <QString>

class ServerStore;

// One row of the window's list: a section header, a server, the agent-browser group, a saved project or a
// section's disclosure row. Rows are identified by `key`.
struct ServerListRow
{
    enum class Type
    {
        Header,
        Server,
        Group,
        Saved,
        Disclosure
    };

    Type type = Type::Header;
    QString key;
    bool showsDivider = false;
    int staggerIndex = 0;

    // Header
    QString title;
    int count = 0;
    bool secondaryAccent = false;

    // Server (one) and group (all sessions)
    QList<LocalServer> servers;
    ServerRowFacts serverFacts;

    // Saved project
    RememberedProject project;
    SavedRowFacts savedFacts;
    bool showsDisambiguation = false;

    // Disclosure
    QString bucketLabel;
    int hiddenCount = 0;
    bool isExpanded = false;

    friend bool operator==(const ServerListRow&, const ServerListRow&) = default;
};

// The rows of a snapshot, in display order, with the store's marks and logs for each. Keys are the animation
// identities ("Running" for the running section's header); a repeated key gets a suffix so keys stay unique.
QList<ServerListRow> makeListRows(const MenuContentSnapshot& snapshot, const ServerStore& store);
