#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QLocalServer;

// One running copy per user: the first start holds a lock and listens on a local socket in the user's runtime
// folder; a later start (autostart and a manual start, say) asks it to show its window and ends.
//
// The lock is the kernel's lock on the lock file, which ends with the process that holds it: a file left behind
// by a crash, an empty one or one naming another host blocks nobody.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultAnswerTimeout{2000};

    enum class Activation
    {
        // The running instance showed its window.
        Shown,
        // The instance that held the lock ended meanwhile: claim again.
        Gone,
        // A live instance holds the lock but did not answer; errorString() says why.
        NoAnswer,
    };

    // `folder` is the user's runtime folder; `name` names the lock and the socket in it.
    SingleInstance(QString folder, QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The runtime folder ($XDG_RUNTIME_DIR, or Qt's private fallback) and the main bundle's identifier.
    static std::unique_ptr<SingleInstance> forThisUser();

    // True when this process is now the running instance; also when no lock could be used at all, which must
    // not keep the application from starting (errorString() then says what does not work). False when a live
    // process holds the lock: call activateRunningInstance().
    bool claim();
    // Asks the running instance to show its window, within `timeout` in all.
    Activation activateRunningInstance(std::chrono::milliseconds timeout = defaultAnswerTimeout);

    // What did not work in the last claim() or activateRunningInstance(), as a sentence; empty when all did.
    QString errorString() const { return m_error; }

    QString socketPath() const;
    QString lockPath() const;

Q_SIGNALS:
    // A later start asked for the window.
    void activationRequested();

private:
    bool lockIsHeldElsewhere() const;
    QString holderDescription() const;
    void listen();
    void acceptConnections();

    QString m_folder;
    QString m_name;
    int m_lockFile = -1;
    QLocalServer* m_server = nullptr;
    QString m_error;
};
