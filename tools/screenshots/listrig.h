#pragma once

#include "control/serverstore.h"
#include "platform/desktop/clipboard.h"
#include "support/storerig.h"
#include "windowcontext.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QtQml/qqml.h>

#include <memory>

// A store over fakes and a recording window context for the list's scenes and Qt Quick tests. Servers and
// saved projects are described as maps; dates count back from the moment of the call, so the saved sections
// read as a user would see them today.
class ListRig : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ServerStore* store READ store CONSTANT)
    Q_PROPERTY(WindowContext* context READ context CONSTANT)
    // The process actions asked for, in order ("pause", "forceTerminate", "startProject", "revealPath", ...).
    Q_PROPERTY(QStringList operations READ operations NOTIFY recorded)
    Q_PROPERTY(QStringList openedURLs READ openedURLs NOTIFY recorded)
    // While set, scans (also the ones that follow an action) stay open until the next `scan`.
    Q_PROPERTY(bool holdScans READ holdScans WRITE setHoldScans NOTIFY recorded)
    // While set, starts and restarts wait until `releaseLaunches`.
    Q_PROPERTY(bool holdLaunches READ holdLaunches WRITE setHoldLaunches NOTIFY recorded)

public:
    explicit ListRig(QObject* parent = nullptr);
    ~ListRig() override;

    ServerStore* store() const { return m_rig->store.get(); }
    WindowContext* context() const { return m_context.get(); }
    QStringList operations() const { return m_rig->actions->operations(); }
    QStringList openedURLs() const;
    bool holdScans() const { return m_rig->detector->hold; }
    void setHoldScans(bool hold);
    bool holdLaunches() const { return m_rig->actions->holdLaunches; }
    void setHoldLaunches(bool hold);

    // Lists these servers after one finished scan (open scans are answered with them too). A server is a map
    // of pid, port, kind ("node" unless given), path (its project folder), title (page title), paused,
    // http (status), connections, clients, cwd (working folder), parent, executable, command and environment (the
    // variables given on the command line, a map of names to values).
    Q_INVOKABLE void scan(const QVariantList& servers);
    // Remembers projects that ran and stopped: maps of path, kind, command, environment and daysAgo (0: today).
    Q_INVOKABLE void remember(const QVariantList& projects);
    // The next start of the project fails with a launch that exited with `status`.
    Q_INVOKABLE void failStartsWith(int status);
    // Captures a log for the folder whose last line is `output`.
    Q_INVOKABLE void capture(const QString& projectPath, const QString& output);
    Q_INVOKABLE void releaseLaunches();
    // The store's actions, as another part of the window would call them.
    Q_INVOKABLE void pause(const QString& key);
    Q_INVOKABLE void restart(const QString& key);
    Q_INVOKABLE void start(const QString& projectPath);
    Q_INVOKABLE int count(const QString& operation) const { return m_rig->actions->count(operation); }
    // Scans held open now.
    Q_INVOKABLE int waitingScans() const { return m_rig->detector->waitingCount(); }

    static LocalServer serverFrom(const QVariantMap& description, const QDateTime& seen);

Q_SIGNALS:
    void recorded();

private:
    class NullClipboard final : public Clipboard
    {
    public:
        void setPlainText(const QString&) override {}
    };

    std::optional<LocalServer> listed(const QString& key) const;
    void scanWith(const QList<LocalServer>& servers);
    void answerOpenScans(const QList<LocalServer>& servers);

    QTemporaryDir m_logs;
    std::unique_ptr<StoreRig> m_rig;
    NullClipboard m_clipboard;
    std::unique_ptr<WindowContext> m_context;
    QList<LocalServer> m_servers;
    std::optional<int> m_failStatus;
};
