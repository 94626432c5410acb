#pragma once

#include "telemetry/analyticsconsent.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class LoginItemService;
class OneShotSignal;
class UserDefaults;
class Workspace;

// The application's preferences: launch at login (the switch, the service's last status and one line of
// feedback), the grouping of agent-browser sessions, and the analytics consent read at start. Lives on the GUI
// thread; the service's status is read on a worker thread and awaited.
class PorthiveSettings final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool launchAtLoginEnabled READ launchAtLoginEnabled NOTIFY launchAtLoginEnabledChanged)
    Q_PROPERTY(LaunchAtLoginStatus launchAtLoginStatus READ launchAtLoginStatus NOTIFY launchAtLoginStatusChanged)
    // Empty when there is nothing to say.
    Q_PROPERTY(QString launchAtLoginMessage READ launchAtLoginMessage NOTIFY launchAtLoginMessageChanged)
    Q_PROPERTY(bool groupAgentBrowserSessions READ groupAgentBrowserSessions WRITE setGroupAgentBrowserSessions NOTIFY
                   groupAgentBrowserSessionsChanged)
    // Texts that name the desktop's own tools.
    Q_PROPERTY(QString approvalMessageText READ approvalMessageText CONSTANT)
    Q_PROPERTY(QString openLoginItemsText READ openLoginItemsText CONSTANT)
    Q_PROPERTY(QString revealInFileManagerText READ revealInFileManagerText CONSTANT)

public:
    enum class LaunchAtLoginStatus
    {
        Enabled,
        RequiresApproval,
        NotFound,
        NotRegistered,
        Unknown
    };
    Q_ENUM(LaunchAtLoginStatus)

    static inline const QString launchAtLoginPreferenceSetKey = QStringLiteral("PorthiveLaunchAtLoginPreferenceSet");
    static inline const QString groupAgentBrowserSessionsKey = QStringLiteral("PorthiveGroupAgentBrowserSessions");
    static inline const QString launchAtLoginFailedMessage = QStringLiteral("Launch at login could not be updated.");
    static inline const QString licensesMissingMessage =
        QStringLiteral("Licenses file is missing from the app bundle.");

    struct Services
    {
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<LoginItemService> loginItems;
        // Not owned; outlives the settings.
        Workspace* workspace = nullptr;
        // The licences notice file; empty when the application ships none.
        std::function<QString()> licensesFile;
        // The product web site's host for the legal pages.
        QString websiteHost;
    };

    explicit PorthiveSettings(Services services, QObject* parent = nullptr);
    ~PorthiveSettings() override;

    // The application's settings: the standard user defaults, the XDG autostart entry, the shipped notices.
    static std::unique_ptr<PorthiveSettings> makeStandard(Workspace& workspace);

    bool launchAtLoginEnabled() const { return m_launchAtLoginEnabled; }
    LaunchAtLoginStatus launchAtLoginStatus() const { return m_launchAtLoginStatus; }
    QString launchAtLoginMessage() const { return m_launchAtLoginMessage; }
    bool groupAgentBrowserSessions() const { return m_groupAgentBrowserSessions; }
    void setGroupAgentBrowserSessions(bool group);
    AnalyticsConsent analyticsConsent() const { return m_analyticsConsent; }

    QString approvalMessageText() const;
    QString openLoginItemsText() const;
    QString revealInFileManagerText() const;

    // The launch-at-login switch: remembers that the user decided, shows `enabled` at once and changes the
    // registration in a task of its own; a newer change drops the outcome of an older one. The service is
    // changed in the order of the calls, so it ends as the last call asked.
    Q_INVOKABLE void setLaunchAtLoginEnabled(bool enabled);
    // Reads the service's status again (the settings page does each time it is shown). Its outcome is dropped
    // when a change comes before it ends, or is still under way.
    Q_INVOKABLE void refreshLaunchAtLoginStatus();
    // Shows the licences notice in the file manager, or says that it is missing.
    Q_INVOKABLE void revealLicensesFile();
    // The desktop's settings of programs started at login.
    Q_INVOKABLE void openLoginItemSettings();
    // One of the product web site's legal pages ("/privacy", "/terms", "/eula", "/imprint") in the browser.
    Q_INVOKABLE void openLegalPage(const QString& path);
    // The grouping switch: stores the new value in the user defaults too. An unchanged value writes nothing.
    Q_INVOKABLE void updateGroupAgentBrowserSessions(bool group);

    static LaunchAtLoginStatus statusFromService(int serviceStatus);
    // The service's status now; may touch the disk, so never called on the GUI thread.
    static LaunchAtLoginStatus currentLaunchAtLoginStatus(const LoginItemService& loginItems);
    // The status as error reports name it ("not_registered", ...).
    static QString reportValue(LaunchAtLoginStatus status);
    // The service's status, read on a worker thread.
    static QCoro::Task<LaunchAtLoginStatus> queryLaunchAtLoginStatus(std::shared_ptr<LoginItemService> loginItems);
    // Launch at login is on by default: registers once, on the first start, unless the service already has the
    // application enabled or waiting for approval. A failure is reported and tried again at the next start.
    static QCoro::Task<> enableLaunchAtLoginByDefaultIfNeeded(std::shared_ptr<UserDefaults> defaults,
                                                              std::shared_ptr<LoginItemService> loginItems);
    // The legal page's address on `host`; empty for any other path.
    static QUrl legalPageURL(const QString& host, const QString& path);

Q_SIGNALS:
    void launchAtLoginEnabledChanged();
    void launchAtLoginStatusChanged();
    void launchAtLoginMessageChanged();
    void groupAgentBrowserSessionsChanged();

private:
    QCoro::Task<> applyLaunchAtLoginChange(bool enabled, quint64 generation);
    QCoro::Task<> runStatusRefresh(quint64 generation);
    void storeStatus(LaunchAtLoginStatus status);
    void setLaunchAtLoginMessage(const QString& message);
    void setLaunchAtLoginEnabledShown(bool enabled);

    Services m_services;
    bool m_launchAtLoginEnabled = false;
    LaunchAtLoginStatus m_launchAtLoginStatus = LaunchAtLoginStatus::Unknown;
    QString m_launchAtLoginMessage;
    bool m_groupAgentBrowserSessions = true;
    AnalyticsConsent m_analyticsConsent;
    // A newer change or refresh replaces the current one, whose outcome is then dropped.
    quint64 m_updateGeneration = 0;
    quint64 m_refreshGeneration = 0;
    // The newest change has not yet stored what the service says after it.
    bool m_changePending = false;
    // Fires once the newest change's call to the service has ended; the next change waits for it.
    std::shared_ptr<OneShotSignal> m_lastServiceCall;
};
