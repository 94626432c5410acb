#include "app/porthivesettings.h"

#include "base/asyncwork.h"
#include "base/oneshotsignal.h"
#include "platform/desktop/loginitemservice.h"
#include "platform/desktop/platformtexts.h"
#include "platform/desktop/workspace.h"
#include "platform/storage/licensesfile.h"
#include "platform/storage/userdefaults.h"
#include "platform/updates/bundleinfo.h"
#include "telemetry/telemetryclient.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUrl>

#include <optional>

using namespace Qt::StringLiterals;

PorthiveSettings::PorthiveSettings(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Q_ASSERT(m_services.defaults && m_services.loginItems && m_services.workspace);
    m_groupAgentBrowserSessions = m_services.defaults->boolValue(groupAgentBrowserSessionsKey).value_or(true);
    m_analyticsConsent = AnalyticsConsentPreferences(*m_services.defaults).load();
}

PorthiveSettings::~PorthiveSettings() = default;

std::unique_ptr<PorthiveSettings> PorthiveSettings::makeStandard(Workspace& workspace)
{
    Services services;
    services.defaults = std::make_shared<SettingsUserDefaults>();
    services.loginItems = std::make_shared<XdgAutostartLoginItem>(XdgAutostartLoginItem::standardOptions(), workspace);
    services.workspace = &workspace;
    services.licensesFile = [] {
        return locateLicensesFile(QCoreApplication::applicationDirPath());
    };
    services.websiteHost = BundleInfo::main().value(u"PorthiveWebsiteHost"_s).value_or(QString());
    return std::make_unique<PorthiveSettings>(std::move(services));
}

QString PorthiveSettings::approvalMessageText() const
{
    return PlatformTexts::loginItemApprovalMessage();
}

QString PorthiveSettings::openLoginItemsText() const
{
    return PlatformTexts::openLoginItemSettings();
}

QString PorthiveSettings::revealInFileManagerText() const
{
    return PlatformTexts::revealInFileManager();
}

PorthiveSettings::LaunchAtLoginStatus PorthiveSettings::statusFromService(int serviceStatus)
{
    switch (serviceStatus) {
    case LoginItemServiceStatus::notRegistered:
        return LaunchAtLoginStatus::NotRegistered;
    case LoginItemServiceStatus::enabled:
        return LaunchAtLoginStatus::Enabled;
    case LoginItemServiceStatus::requiresApproval:
        return LaunchAtLoginStatus::RequiresApproval;
    case LoginItemServiceStatus::notFound:
        return LaunchAtLoginStatus::NotFound;
    default:
        return LaunchAtLoginStatus::Unknown;
    }
}

QString PorthiveSettings::reportValue(LaunchAtLoginStatus status)
{
    switch (status) {
    case LaunchAtLoginStatus::Enabled:
        return u"enabled"_s;
    case LaunchAtLoginStatus::RequiresApproval:
        return u"requires_approval"_s;
    case LaunchAtLoginStatus::NotFound:
        return u"not_found"_s;
    case LaunchAtLoginStatus::NotRegistered:
        return u"not_registered"_s;
    case LaunchAtLoginStatus::Unknown:
        return u"unknown"_s;
    }
    Q_UNREACHABLE();
    return {};
}

PorthiveSettings::LaunchAtLoginStatus PorthiveSettings::currentLaunchAtLoginStatus(const LoginItemService& loginItems)
{
    return statusFromService(loginItems.status());
}

QCoro::Task<PorthiveSettings::LaunchAtLoginStatus>
PorthiveSettings::queryLaunchAtLoginStatus(std::shared_ptr<LoginItemService> loginItems)
{
    auto read = AsyncWork::runOn(QThreadPool::globalInstance(),
                                 [loginItems] { return currentLaunchAtLoginStatus(*loginItems); });
    co_return co_await read;
}

QCoro::Task<> PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(std::shared_ptr<UserDefaults> defaults,
                                                                     std::shared_ptr<LoginItemService> loginItems)
{
    if (defaults->boolValue(launchAtLoginPreferenceSetKey) == true)
        co_return;
    auto query = queryLaunchAtLoginStatus(loginItems);
    const LaunchAtLoginStatus status = co_await query;
    if (status == LaunchAtLoginStatus::Enabled || status == LaunchAtLoginStatus::RequiresApproval) {
        defaults->setValue(launchAtLoginPreferenceSetKey, true);
        co_return;
    }
    try {
        loginItems->registerItem();
    } catch (const std::exception& error) {
        // The key stays unset, so the next start tries again.
        sharedTelemetryClient().captureError(error, TelemetryOperation::LaunchAtLoginDefaultEnable,
                                             telemetryContext({{u"target_state"_s, u"enabled"_s}}));
        co_return;
    }
    defaults->setValue(launchAtLoginPreferenceSetKey, true);
}

void PorthiveSettings::setLaunchAtLoginEnabled(bool enabled)
{
    if (enabled == m_launchAtLoginEnabled)
        return;
    // A decision of the user's ends the first-run default for good, whatever comes of it.
    m_services.defaults->setValue(launchAtLoginPreferenceSetKey, true);
    setLaunchAtLoginEnabledShown(enabled);
    setLaunchAtLoginMessage(QString());

    const quint64 generation = ++m_updateGeneration;
    m_changePending = true;
    // Queued, so a settings object gone before the change starts is never touched.
    QMetaObject::invokeMethod(
        this, [this, enabled, generation] { applyLaunchAtLoginChange(enabled, generation); }, Qt::QueuedConnection);
}

QCoro::Task<> PorthiveSettings::applyLaunchAtLoginChange(bool enabled, quint64 generation)
{
    QPointer<PorthiveSettings> self(this);
    const std::shared_ptr<LoginItemService> loginItems = m_services.loginItems;

    // The service is changed in the order the switch was flipped: a removal ends on a worker thread, and one
    // that ended after a newer registration would take the entry away again.
    const std::shared_ptr<OneShotSignal> previous = std::exchange(m_lastServiceCall, std::make_shared<OneShotSignal>());
    const std::shared_ptr<OneShotSignal> called = m_lastServiceCall;
    if (previous) {
        auto turn = untilFired(previous.get());
        co_await turn;
        if (!self) {
            called->fire();
            co_return;
        }
    }

    std::optional<LoginItemError> failure;
    if (enabled) {
        try {
            loginItems->registerItem();
        } catch (const LoginItemError& error) {
            failure = error;
        }
    } else {
        auto removal = loginItems->unregisterItem();
        failure = co_await removal;
    }
    called->fire();
    if (!self)
        co_return;

    auto query = queryLaunchAtLoginStatus(loginItems);
    const LaunchAtLoginStatus status = co_await query;
    // A newer change replaced this one: its outcome, failure included, is dropped.
    if (!self || generation != m_updateGeneration)
        co_return;
    m_changePending = false;

    if (failure) {
        sharedTelemetryClient().captureError(
            *failure, TelemetryOperation::LaunchAtLoginUpdate,
            telemetryContext({{u"target_state"_s, enabled ? u"enabled"_s : u"disabled"_s},
                              {u"actual_status"_s, reportValue(status)}}));
        storeStatus(status);
        setLaunchAtLoginMessage(launchAtLoginFailedMessage);
        co_return;
    }
    storeStatus(status);
    if (status == LaunchAtLoginStatus::RequiresApproval && enabled)
        setLaunchAtLoginMessage(approvalMessageText());
}

void PorthiveSettings::refreshLaunchAtLoginStatus()
{
    const quint64 generation = ++m_refreshGeneration;
    QMetaObject::invokeMethod(
        this, [this, generation] { runStatusRefresh(generation); }, Qt::QueuedConnection);
}

QCoro::Task<> PorthiveSettings::runStatusRefresh(quint64 generation)
{
    QPointer<PorthiveSettings> self(this);
    const quint64 changesBefore = m_updateGeneration;
    auto query = queryLaunchAtLoginStatus(m_services.loginItems);
    const LaunchAtLoginStatus status = co_await query;
    if (!self || generation != m_refreshGeneration)
        co_return;
    // Until a change has read the service after its own call, the switch shows what the user chose; a status
    // read before that call is older than the change and must not show instead.
    if (m_changePending || changesBefore != m_updateGeneration)
        co_return;
    storeStatus(status);
}

void PorthiveSettings::storeStatus(LaunchAtLoginStatus status)
{
    if (status != m_launchAtLoginStatus) {
        m_launchAtLoginStatus = status;
        Q_EMIT launchAtLoginStatusChanged();
    }
    setLaunchAtLoginEnabledShown(status == LaunchAtLoginStatus::Enabled);
}

void PorthiveSettings::setLaunchAtLoginEnabledShown(bool enabled)
{
    if (enabled == m_launchAtLoginEnabled)
        return;
    m_launchAtLoginEnabled = enabled;
    Q_EMIT launchAtLoginEnabledChanged();
}

void PorthiveSettings::setLaunchAtLoginMessage(const QString& message)
{
    if (message == m_launchAtLoginMessage)
        return;
    m_launchAtLoginMessage = message;
    Q_EMIT launchAtLoginMessageChanged();
}

void PorthiveSettings::setGroupAgentBrowserSessions(bool group)
{
    if (group == m_groupAgentBrowserSessions)
        return;
    m_groupAgentBrowserSessions = group;
    Q_EMIT groupAgentBrowserSessionsChanged();
}

void PorthiveSettings::updateGroupAgentBrowserSessions(bool group)
{
    if (group == m_groupAgentBrowserSessions)
        return;
    setGroupAgentBrowserSessions(group);
    m_services.defaults->setValue(groupAgentBrowserSessionsKey, group);
}

void PorthiveSettings::revealLicensesFile()
{
    const QString path = m_services.licensesFile ? m_services.licensesFile() : QString();
    if (path.isEmpty()) {
        setLaunchAtLoginMessage(licensesMissingMessage);
        return;
    }
    m_services.workspace->revealPath(path);
}

void PorthiveSettings::openLoginItemSettings()
{
    m_services.loginItems->openSystemSettings();
}

QUrl PorthiveSettings::legalPageURL(const QString& host, const QString& path)
{
    static const QStringList pages = {u"/privacy"_s, u"/terms"_s, u"/eula"_s, u"/imprint"_s};
    if (!pages.contains(path))
        return {};
    QUrl url;
    url.setScheme(u"https"_s);
    url.setHost(host, QUrl::StrictMode);
    url.setPath(path);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    return url;
}

void PorthiveSettings::openLegalPage(const QString& path)
{
    const QUrl url = legalPageURL(m_services.websiteHost, path);
    if (!url.isEmpty())
        m_services.workspace->openURL(url);
}
