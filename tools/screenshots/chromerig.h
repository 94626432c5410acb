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

// A store over fakes and a window context that records, for the window's scenes and Qt Quick tests.
// The store's refresh state is driven by hand: a held scan keeps it refreshing until it is finished.
class ChromeRig : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ServerStore* store READ store CONSTANT)
    Q_PROPERTY(WindowContext* context READ context CONSTANT)
    Q_PROPERTY(int dismissCount READ dismissCount NOTIFY recorded)
    Q_PROPERTY(int quitCount READ quitCount NOTIFY recorded)
    Q_PROPERTY(QStringList eventNames READ eventNames NOTIFY recorded)
    // While set, every scan stays open until finishScan.
    Q_PROPERTY(bool holdScans READ holdScans WRITE setHoldScans NOTIFY recorded)

public:
    explicit ChromeRig(QObject* parent = nullptr);
    ~ChromeRig() override;

    ServerStore* store() const { return m_rig->store.get(); }
    WindowContext* context() const { return m_context.get(); }
    int dismissCount() const { return m_dismissCount; }
    int quitCount() const { return m_quitCount; }
    QStringList eventNames() const;
    bool holdScans() const { return m_rig->detector->hold; }
    void setHoldScans(bool hold);

    // Lists `count` servers (node, vite, next... in turn), each of its own project, after one finished scan.
    Q_INVOKABLE void showServers(int count);
    // Saved projects: projects that ran and are no longer listed, seen today.
    Q_INVOKABLE void showSavedProjects(int count);
    // Starts a scan that stays open until finishScan.
    Q_INVOKABLE void startScan();
    // Answers the latest scan with the servers shown so far and stops holding scans.
    Q_INVOKABLE void finishScan();
    // The next scan fails with `message` (stale while servers are listed, failed otherwise).
    Q_INVOKABLE void failScan(const QString& message);
    // A LogSelection for the log page.
    Q_INVOKABLE QVariant logSelection(const QString& title) const;

Q_SIGNALS:
    void recorded();

private:
    class NullClipboard final : public Clipboard
    {
    public:
        void setPlainText(const QString&) override {}
    };

    void scanWith(const QList<LocalServer>& servers);
    void answerOpenScans();

    QTemporaryDir m_logs;
    std::unique_ptr<StoreRig> m_rig;
    NullClipboard m_clipboard;
    std::unique_ptr<WindowContext> m_context;
    QList<LocalServer> m_servers;
    int m_dismissCount = 0;
    int m_quitCount = 0;
};

// The settings object as the settings page reads it, holding whatever a scene sets.
class ChromeSettingsFake : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool launchAtLoginEnabled MEMBER launchAtLoginEnabled NOTIFY changed)
    // Enabled, RequiresApproval, NotFound, NotRegistered, Unknown.
    Q_PROPERTY(int launchAtLoginStatus MEMBER launchAtLoginStatus NOTIFY changed)
    Q_PROPERTY(QString launchAtLoginMessage MEMBER launchAtLoginMessage NOTIFY changed)
    Q_PROPERTY(bool groupAgentBrowserSessions MEMBER groupAgentBrowserSessions NOTIFY changed)
    Q_PROPERTY(QString approvalMessageText MEMBER approvalMessageText CONSTANT)
    Q_PROPERTY(QString openLoginItemsText MEMBER openLoginItemsText CONSTANT)

public:
    using QObject::QObject;

    Q_INVOKABLE void setLaunchAtLoginEnabled(bool enabled);
    Q_INVOKABLE void refreshLaunchAtLoginStatus() {}
    Q_INVOKABLE void revealLicensesFile() {}
    Q_INVOKABLE void openLoginItemSettings() {}
    Q_INVOKABLE void openLegalPage(const QString&) {}
    Q_INVOKABLE void updateGroupAgentBrowserSessions(bool group);

    bool launchAtLoginEnabled = false;
    int launchAtLoginStatus = 3;
    QString launchAtLoginMessage;
    bool groupAgentBrowserSessions = true;
    QString approvalMessageText = QStringLiteral("Allow Porthive in your desktop's startup applications.");
    QString openLoginItemsText = QStringLiteral("Open Startup Settings");

Q_SIGNALS:
    void changed();
};

// The update controller as the footer reads it.
class ChromeUpdaterFake : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool canCheckForUpdates MEMBER canCheckForUpdates NOTIFY changed)

public:
    using QObject::QObject;

    Q_INVOKABLE void checkForUpdates() {}

    bool canCheckForUpdates = true;

Q_SIGNALS:
    void changed();
};
