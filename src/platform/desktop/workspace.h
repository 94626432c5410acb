#pragma once

#include <QString>
#include <QUrl>

// The desktop's file browser and default browser.
class Workspace
{
public:
    virtual ~Workspace() = default;

    // Shows the item in its enclosing folder, selected where the file browser can. False when nothing
    // could be asked to show it.
    virtual bool revealPath(const QString& path) = 0;
    // Opens the address in the default application. False when the address was refused.
    virtual bool openURL(const QUrl& url) = 0;
};

// The desktop this program runs on. On Linux: the file manager's D-Bus interface, falling back to
// opening the enclosing folder with xdg-open; addresses go to xdg-open.
class SystemWorkspace final : public Workspace
{
public:
    bool revealPath(const QString& path) override;
    bool openURL(const QUrl& url) override;
};
