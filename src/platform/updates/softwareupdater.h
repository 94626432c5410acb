#pragma once

#include <QObject>

// The update framework behind the window's "Check for Updates" button.
class SoftwareUpdater : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // False while a check may not start (one is running).
    virtual bool canCheckForUpdates() const = 0;
    // Prepares the updater; called once, before the first check.
    virtual void startUpdater() = 0;
    // Checks the feed and shows the outcome in the updater's own window.
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
};
