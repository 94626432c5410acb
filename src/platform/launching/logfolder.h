#pragma once

#include <QString>
#include <QStringList>

// Where a private folder lies: the platform's folder for it, taken as it is (a moved home or state folder may
// well be a link), and the folders below it that are the app's own.
struct PrivateFolderLocation
{
    QString base;
    QStringList components;

    QString path() const { return base + u'/' + components.join(u'/'); }
};

// The private folder that holds the captured output of launched servers.
QString privateLogFolder();
PrivateFolderLocation privateLogFolderLocation();
