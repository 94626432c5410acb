#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QLocalServer;

// One running copy per user: the first start holds a lock and listens on a local socket in the user's runtime
// folder; a later start (autostart and a manual start, say) asks it to show its window and ends.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    // `folder` is the user's runtime folder; `name` names the lock and the socket in it.
    SingleInstance(QString folder, QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The runtime folder ($XDG_RUNTIME_DIR, or Qt's private fallback) and the main bundle's identifier.
    static std::unique_ptr<SingleInstance> forThisUser();

    // True when this process is now the running instance (it then listens for later starts). False when another
    // process is: call activateRunningInstance().
    bool claim();
    // Asks the running instance to show its window; false when it did not answer within `timeout`.
    bool activateRunningInstance(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    QString socketPath() const;
    QString lockPath() const;

Q_SIGNALS:
    // A later start asked for the window.
    void activationRequested();

private:
    void acceptConnections();

    QString m_folder;
    QString m_name;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
};
