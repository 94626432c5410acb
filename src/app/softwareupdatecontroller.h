#pragma once

#include <QObject>

#include <functional>
#include <memory>

class SoftwareUpdater;
class Workspace;

// Connects the footer's "Check for Updates" button to the updater, which is made on the first check only, so
// that start-up never touches it. Mirrors the updater's flag that tells whether a check may start.
class SoftwareUpdateController final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    using UpdaterFactory = std::function<std::unique_ptr<SoftwareUpdater>()>;

    explicit SoftwareUpdateController(UpdaterFactory makeUpdater, QObject* parent = nullptr);
    ~SoftwareUpdateController() override;

    // The appcast updater of this build, showing its outcome in a window of its own.
    static UpdaterFactory standardUpdater(Workspace& workspace);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool hasUpdater() const { return m_updater != nullptr; }

    // Makes and starts the updater on the first call; the same one afterwards.
    SoftwareUpdater& startUpdaterIfNeeded();
    // The button's action.
    Q_INVOKABLE void checkForUpdates();

Q_SIGNALS:
    void canCheckForUpdatesChanged();

private:
    void setCanCheckForUpdates(bool canCheck);

    UpdaterFactory m_makeUpdater;
    bool m_canCheckForUpdates = true;
    std::unique_ptr<SoftwareUpdater> m_updater;
};
