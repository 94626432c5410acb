#include "app/porthivesettings.h"
#include "platform/desktop/platformtexts.h"
#include "support/fakeloginitemservice.h"
#include "support/recordingtelemetryclient.h"
#include "support/recordinguserdefaults.h"
#include "support/recordingworkspace.h"
#include "support/testhome.h"

#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

using namespace Qt::StringLiterals;
using Status = PorthiveSettings::LaunchAtLoginStatus;

Q_DECLARE_METATYPE(QList<bool>)

namespace {

const QString preferenceSetKey = PorthiveSettings::launchAtLoginPreferenceSetKey;

} // namespace

class TestPorthiveSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void statusMapping_data();
    void statusMapping();
    void initialState();
    void groupingPreference_data();
    void groupingPreference();
    void analyticsConsentIsLoaded();

    void settingTheShownValueDoesNothing();
    void switchingOnRegisters();
    void switchingOnWhereApprovalIsNeeded();
    void switchingOffWhileApprovalIsPendingGivesNoMessage();
    void failedRemovalSnapsBackAndReports();
    void failureWithAStatusOutsideTheTableReportsUnknown();
    void newerChangeDropsTheOlderOutcome();
    void lateRemovalCannotUndoANewerChange_data();
    void lateRemovalCannotUndoANewerChange();
    void offThenQuicklyOnKeepsTheAutostartEntry();
    void statusReadBeforeAChangeIsNotShownAfterIt();
    void refreshReadsTheService();
    void secondRefreshDropsTheFirst();
    void refreshAndChangeDoNotCancelEachOther();
    void settingsGoneBeforeTheChangeStarts();

    void firstRunDefault_data();
    void firstRunDefault();
    void failedFirstRunDefaultIsReportedAndRetried();
    void switchDuringTheFirstRunDefault();

    void groupingSwitchStoresOnlyChanges();
    void legalPages_data();
    void legalPages();
    void licensesFile();
    void openingTheLoginItemSettings();
    void platformTexts();

private:
    PorthiveSettings& makeSettings();

    std::shared_ptr<RecordingUserDefaults> m_defaults;
    std::shared_ptr<FakeLoginItemService> m_service;
    RecordingWorkspace m_workspace;
    RecordingTelemetryClient* m_telemetry = nullptr;
    QString m_licensesFile;
    std::unique_ptr<PorthiveSettings> m_settings;
};

void TestPorthiveSettings::init()
{
    m_defaults = std::make_shared<RecordingUserDefaults>();
    m_service = std::make_shared<FakeLoginItemService>();
    m_workspace = RecordingWorkspace();
    m_telemetry = RecordingTelemetryClient::installShared();
    m_licensesFile.clear();
}

void TestPorthiveSettings::cleanup()
{
    m_service->holdRemoval = false;
    m_service->releaseRemovals();
    if (m_service->holdStatus) {
        m_service->holdStatus = false;
        m_service->releaseStatus(16);
    }
    m_settings.reset();
    // Lets tasks still queued or waiting run out before the next test's fakes replace these.
    QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
    QCoreApplication::processEvents();
}

PorthiveSettings& TestPorthiveSettings::makeSettings()
{
    PorthiveSettings::Services services;
    services.defaults = m_defaults;
    services.loginItems = m_service;
    services.workspace = &m_workspace;
    services.licensesFile = [this] {
        return m_licensesFile;
    };
    services.websiteHost = u"porthive.test"_s;
    m_settings = std::make_unique<PorthiveSettings>(std::move(services));
    return *m_settings;
}

void TestPorthiveSettings::statusMapping_data()
{
    QTest::addColumn<int>("serviceStatus");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("reportValue");
    QTest::newRow("not registered") << 0 << Status::NotRegistered << u"not_registered"_s;
    QTest::newRow("enabled") << 1 << Status::Enabled << u"enabled"_s;
    QTest::newRow("requires approval") << 2 << Status::RequiresApproval << u"requires_approval"_s;
    QTest::newRow("not found") << 3 << Status::NotFound << u"not_found"_s;
    QTest::newRow("outside the table") << 4 << Status::Unknown << u"unknown"_s;
    QTest::newRow("unreadable") << LoginItemServiceStatus::unreadable << Status::Unknown << u"unknown"_s;
}

void TestPorthiveSettings::statusMapping()
{
    QFETCH(int, serviceStatus);
    QFETCH(Status, status);
    QFETCH(QString, reportValue);
    QCOMPARE(PorthiveSettings::statusFromService(serviceStatus), status);
    QCOMPARE(PorthiveSettings::reportValue(status), reportValue);
}

void TestPorthiveSettings::initialState()
{
    m_service->serviceStatus = LoginItemServiceStatus::enabled;
    PorthiveSettings& settings = makeSettings();
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QCOMPARE(settings.launchAtLoginStatus(), Status::Unknown);
    QCOMPARE(settings.launchAtLoginMessage(), QString());
    QCoreApplication::processEvents();
    // The constructor touches no login-item state.
    QCOMPARE(m_service->statusCalls(), 0);
    QCOMPARE(m_service->calls(), QStringList());
}

void TestPorthiveSettings::groupingPreference_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("grouping");
    QTest::newRow("absent") << QVariant() << true;
    QTest::newRow("false") << QVariant(false) << false;
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("text") << QVariant(u"false"_s) << true;
    QTest::newRow("number") << QVariant(0) << true;
}

void TestPorthiveSettings::groupingPreference()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, grouping);
    if (stored.isValid())
        m_defaults->setValue(PorthiveSettings::groupAgentBrowserSessionsKey, stored);
    QCOMPARE(makeSettings().groupAgentBrowserSessions(), grouping);
}

void TestPorthiveSettings::analyticsConsentIsLoaded()
{
    m_defaults->setValue(AnalyticsConsentPreferences::anonymousKey, true);
    m_defaults->setValue(AnalyticsConsentPreferences::extendedKey, true);
    QCOMPARE(makeSettings().analyticsConsent(), (AnalyticsConsent{true, true}));
}

void TestPorthiveSettings::settingTheShownValueDoesNothing()
{
    PorthiveSettings& settings = makeSettings();
    QSignalSpy changes(&settings, &PorthiveSettings::launchAtLoginEnabledChanged);
    QVERIFY(changes.isValid());
    settings.setLaunchAtLoginEnabled(false);
    QCoreApplication::processEvents();
    QCOMPARE(m_defaults->writes.size(), 0);
    QCOMPARE(m_service->calls(), QStringList());
    QCOMPARE(m_service->statusCalls(), 0);
    QCOMPARE(changes.count(), 0);
}

void TestPorthiveSettings::switchingOnRegisters()
{
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    // The switch shows the choice at once and the decision is stored before the service is asked.
    QCOMPARE(settings.launchAtLoginEnabled(), true);
    QCOMPARE(m_defaults->writesOf(preferenceSetKey), QVariantList{true});
    QCOMPARE(m_service->calls(), QStringList());

    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QCOMPARE(settings.launchAtLoginEnabled(), true);
    QCOMPARE(settings.launchAtLoginMessage(), QString());
    QCOMPARE(m_service->calls(), QStringList{u"register"_s});
    QCOMPARE(m_telemetry->errors.size(), 0);
}

void TestPorthiveSettings::switchingOnWhereApprovalIsNeeded()
{
    m_service->statusAfterRegister = LoginItemServiceStatus::requiresApproval;
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::RequiresApproval);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QCOMPARE(settings.launchAtLoginMessage(), PlatformTexts::loginItemApprovalMessage());
    QCOMPARE(m_telemetry->errors.size(), 0);
}

void TestPorthiveSettings::switchingOffWhileApprovalIsPendingGivesNoMessage()
{
    m_service->serviceStatus = LoginItemServiceStatus::requiresApproval;
    m_service->statusAfterRegister = LoginItemServiceStatus::requiresApproval;
    m_service->statusAfterUnregister = LoginItemServiceStatus::requiresApproval;
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    settings.setLaunchAtLoginEnabled(false);
    QTRY_COMPARE(m_service->calls(), (QStringList{u"register"_s, u"unregister"_s}));
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::RequiresApproval);
    QTRY_COMPARE(m_service->statusCalls(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QCOMPARE(settings.launchAtLoginMessage(), QString());
}

void TestPorthiveSettings::failedRemovalSnapsBackAndReports()
{
    m_service->serviceStatus = LoginItemServiceStatus::enabled;
    m_service->unregisterFailure = u"Permission denied"_s;
    PorthiveSettings& settings = makeSettings();
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(settings.launchAtLoginEnabled(), true);

    settings.setLaunchAtLoginEnabled(false);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QTRY_COMPARE(settings.launchAtLoginMessage(), PorthiveSettings::launchAtLoginFailedMessage);
    QCOMPARE(settings.launchAtLoginEnabled(), true);
    QCOMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QCOMPARE(m_telemetry->errors.size(), 1);
    const RecordingTelemetryClient::Error& report = m_telemetry->errors.constFirst();
    QCOMPARE(report.operation, TelemetryOperation::LaunchAtLoginUpdate);
    QCOMPARE(report.typeName, u"LoginItemError"_s);
    QCOMPARE(report.properties,
             (TelemetryProperties{{u"target_state"_s, u"disabled"_s}, {u"actual_status"_s, u"enabled"_s}}));
}

void TestPorthiveSettings::failureWithAStatusOutsideTheTableReportsUnknown()
{
    m_service->serviceStatus = 42;
    m_service->registerFailure = u"refused"_s;
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    QTRY_COMPARE(m_telemetry->errors.size(), 1);
    QCOMPARE(m_telemetry->errors.constFirst().properties,
             (TelemetryProperties{{u"target_state"_s, u"enabled"_s}, {u"actual_status"_s, u"unknown"_s}}));
    QCOMPARE(settings.launchAtLoginStatus(), Status::Unknown);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QCOMPARE(settings.launchAtLoginMessage(), PorthiveSettings::launchAtLoginFailedMessage);
}

void TestPorthiveSettings::newerChangeDropsTheOlderOutcome()
{
    // The first change's registration fails while its status read is held; the user switches off meanwhile.
    m_service->registerFailure = u"refused"_s;
    m_service->holdStatus = true;
    PorthiveSettings& settings = makeSettings();
    QSignalSpy statuses(&settings, &PorthiveSettings::launchAtLoginStatusChanged);
    QSignalSpy messages(&settings, &PorthiveSettings::launchAtLoginMessageChanged);
    QVERIFY(statuses.isValid() && messages.isValid());

    settings.setLaunchAtLoginEnabled(true);
    QTRY_COMPARE(m_service->statusCalls(), 1);
    settings.setLaunchAtLoginEnabled(false);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    QTRY_COMPARE(m_service->statusCalls(), 2);
    QCOMPARE(m_service->calls(), (QStringList{u"register"_s, u"unregister"_s}));

    m_service->releaseStatus(2);
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::NotRegistered);
    QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
    QCoreApplication::processEvents();
    // Nothing of the first change was stored, shown or reported.
    QCOMPARE(m_telemetry->errors.size(), 0);
    QCOMPARE(messages.count(), 0);
    QCOMPARE(statuses.count(), 1);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
}

void TestPorthiveSettings::lateRemovalCannotUndoANewerChange_data()
{
    QTest::addColumn<QList<bool>>("switches");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<Status>("status");
    QTest::newRow("off, on") << QList<bool>{false, true} << QStringList{u"unregister"_s, u"register"_s}
                             << Status::Enabled;
    QTest::newRow("off, on, off") << QList<bool>{false, true, false}
                                  << QStringList{u"unregister"_s, u"register"_s, u"unregister"_s}
                                  << Status::NotRegistered;
    QTest::newRow("off, on, off, on") << QList<bool>{false, true, false, true}
                                      << QStringList{u"unregister"_s, u"register"_s, u"unregister"_s, u"register"_s}
                                      << Status::Enabled;
}

void TestPorthiveSettings::lateRemovalCannotUndoANewerChange()
{
    QFETCH(QList<bool>, switches);
    QFETCH(QStringList, calls);
    QFETCH(Status, status);
    m_service->serviceStatus = LoginItemServiceStatus::enabled;
    PorthiveSettings& settings = makeSettings();
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(settings.launchAtLoginEnabled(), true);

    // The first removal ends only after the user has flipped the switch on (and maybe off) again.
    m_service->holdRemoval = true;
    settings.setLaunchAtLoginEnabled(switches.constFirst());
    QTRY_COMPARE(m_service->heldRemovals(), 1);
    m_service->holdRemoval = false;
    for (const bool value : switches.mid(1))
        settings.setLaunchAtLoginEnabled(value);
    QCoreApplication::processEvents();
    // The later changes wait for the removal to end.
    QCOMPARE(m_service->calls(), QStringList{u"unregister"_s});
    QCOMPARE(settings.launchAtLoginEnabled(), switches.constLast());

    m_service->releaseRemovals();
    QTRY_COMPARE(m_service->calls(), calls);
    QTRY_COMPARE(settings.launchAtLoginStatus(), status);
    QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
    QCoreApplication::processEvents();
    // The service and the switch end as the last flip asked.
    QCOMPARE(settings.launchAtLoginStatus(), status);
    QCOMPARE(PorthiveSettings::statusFromService(m_service->serviceStatus), status);
    QCOMPARE(settings.launchAtLoginEnabled(), switches.constLast());
    QCOMPARE(settings.launchAtLoginMessage(), QString());
    QCOMPARE(m_telemetry->errors.size(), 0);
}

void TestPorthiveSettings::offThenQuicklyOnKeepsTheAutostartEntry()
{
    auto autostart = std::make_shared<XdgAutostartLoginItem>(XdgAutostartLoginItem::standardOptions(), m_workspace);
    QVERIFY(autostart->entryPath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + u'/'));
    autostart->registerItem();
    PorthiveSettings::Services services;
    services.defaults = m_defaults;
    services.loginItems = autostart;
    services.workspace = &m_workspace;
    PorthiveSettings settings(std::move(services));
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);

    // With every worker of the pool busy, the removal waits there while the user switches on again.
    QThreadPool* pool = QThreadPool::globalInstance();
    const int workers = pool->maxThreadCount();
    QSemaphore busy;
    for (int i = 0; i < workers; ++i)
        pool->start([&busy] { busy.acquire(); });
    settings.setLaunchAtLoginEnabled(false);
    QCoreApplication::processEvents();
    settings.setLaunchAtLoginEnabled(true);
    QCoreApplication::processEvents();
    busy.release(workers);

    QTRY_VERIFY(pool->activeThreadCount() == 0 && settings.launchAtLoginStatus() == Status::Enabled);
    QCoreApplication::processEvents();
    QVERIFY(QFile::exists(autostart->entryPath()));
    QCOMPARE(autostart->status(), LoginItemServiceStatus::enabled);
    QCOMPARE(settings.launchAtLoginEnabled(), true);
    QCOMPARE(settings.launchAtLoginMessage(), QString());
}

void TestPorthiveSettings::statusReadBeforeAChangeIsNotShownAfterIt()
{
    // A refresh reads "not registered" and is held; the user switches on and that change ends first.
    m_service->holdStatus = true;
    PorthiveSettings& settings = makeSettings();
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(m_service->statusCalls(), 1);
    m_service->holdStatus = false;
    settings.setLaunchAtLoginEnabled(true);
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);

    m_service->releaseStatus();
    QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
    QCoreApplication::processEvents();
    QCOMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QCOMPARE(settings.launchAtLoginEnabled(), true);
}

void TestPorthiveSettings::refreshReadsTheService()
{
    m_service->serviceStatus = LoginItemServiceStatus::notFound;
    PorthiveSettings& settings = makeSettings();
    settings.revealLicensesFile();
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::NotFound);
    QCOMPARE(settings.launchAtLoginEnabled(), false);
    // A refresh leaves the message alone.
    QCOMPARE(settings.launchAtLoginMessage(), PorthiveSettings::licensesMissingMessage);

    m_service->serviceStatus = LoginItemServiceStatus::enabled;
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QCOMPARE(settings.launchAtLoginEnabled(), true);
}

void TestPorthiveSettings::secondRefreshDropsTheFirst()
{
    m_service->holdStatus = true;
    PorthiveSettings& settings = makeSettings();
    QList<Status> stored;
    connect(&settings, &PorthiveSettings::launchAtLoginStatusChanged, this,
            [&] { stored.append(settings.launchAtLoginStatus()); });

    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(m_service->statusCalls(), 1);
    m_service->serviceStatus = LoginItemServiceStatus::enabled;
    settings.refreshLaunchAtLoginStatus();
    QTRY_COMPARE(m_service->statusCalls(), 2);

    m_service->releaseStatus(2);
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
    QCoreApplication::processEvents();
    QCOMPARE(stored, QList<Status>{Status::Enabled});
}

void TestPorthiveSettings::refreshAndChangeDoNotCancelEachOther()
{
    m_service->registerFailure = u"refused"_s;
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    settings.refreshLaunchAtLoginStatus();
    // The change's failure still arrives although a refresh started after it.
    QTRY_COMPARE(settings.launchAtLoginMessage(), PorthiveSettings::launchAtLoginFailedMessage);
    QTRY_COMPARE(m_service->statusCalls(), 2);
    QCOMPARE(m_telemetry->errors.size(), 1);
    QCOMPARE(settings.launchAtLoginStatus(), Status::NotRegistered);
}

void TestPorthiveSettings::settingsGoneBeforeTheChangeStarts()
{
    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(true);
    settings.refreshLaunchAtLoginStatus();
    m_settings.reset();
    QCoreApplication::processEvents();
    QCOMPARE(m_service->calls(), QStringList());
    QCOMPARE(m_service->statusCalls(), 0);
}

void TestPorthiveSettings::firstRunDefault_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("serviceStatus");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("statusReads");
    QTest::newRow("first start") << QVariant() << LoginItemServiceStatus::notRegistered << QStringList{u"register"_s}
                                 << 1;
    QTest::newRow("executable moved") << QVariant() << LoginItemServiceStatus::notFound << QStringList{u"register"_s}
                                      << 1;
    QTest::newRow("unreadable") << QVariant() << LoginItemServiceStatus::unreadable << QStringList{u"register"_s} << 1;
    QTest::newRow("already enabled") << QVariant() << LoginItemServiceStatus::enabled << QStringList() << 1;
    QTest::newRow("waiting for approval")
        << QVariant() << LoginItemServiceStatus::requiresApproval << QStringList() << 1;
    QTest::newRow("decided before") << QVariant(true) << LoginItemServiceStatus::notRegistered << QStringList() << 0;
    QTest::newRow("stored as text") << QVariant(u"true"_s) << LoginItemServiceStatus::notRegistered
                                    << QStringList{u"register"_s} << 1;
}

void TestPorthiveSettings::firstRunDefault()
{
    QFETCH(QVariant, stored);
    QFETCH(int, serviceStatus);
    QFETCH(QStringList, calls);
    QFETCH(int, statusReads);
    if (stored.isValid())
        m_defaults->setValue(preferenceSetKey, stored);
    m_defaults->writes.clear();
    m_service->serviceStatus = serviceStatus;

    bool done = false;
    [](std::shared_ptr<RecordingUserDefaults> defaults, std::shared_ptr<FakeLoginItemService> service,
       bool* done) -> QCoro::Task<> {
        auto run = PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(defaults, service);
        co_await run;
        *done = true;
    }(m_defaults, m_service, &done);
    QTRY_VERIFY(done);

    QCOMPARE(m_service->calls(), calls);
    QCOMPARE(m_service->statusCalls(), statusReads);
    QCOMPARE(m_defaults->boolValue(preferenceSetKey), std::optional<bool>(true));
    QCOMPARE(m_defaults->writesOf(preferenceSetKey).size(), statusReads);
    QCOMPARE(m_telemetry->errors.size(), 0);
}

void TestPorthiveSettings::failedFirstRunDefaultIsReportedAndRetried()
{
    m_service->registerFailure = u"refused"_s;
    for (int start = 1; start <= 2; ++start) {
        bool done = false;
        [](std::shared_ptr<RecordingUserDefaults> defaults, std::shared_ptr<FakeLoginItemService> service,
           bool* done) -> QCoro::Task<> {
            auto run = PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(defaults, service);
            co_await run;
            *done = true;
        }(m_defaults, m_service, &done);
        QTRY_VERIFY(done);
        QVERIFY(!m_defaults->contains(preferenceSetKey));
        QCOMPARE(m_service->calls().count(u"register"_s), start);
        QCOMPARE(m_telemetry->errors.size(), start);
        const RecordingTelemetryClient::Error& report = m_telemetry->errors.constLast();
        QCOMPARE(report.operation, TelemetryOperation::LaunchAtLoginDefaultEnable);
        QCOMPARE(report.properties, (TelemetryProperties{{u"target_state"_s, u"enabled"_s}}));
    }
}

void TestPorthiveSettings::switchDuringTheFirstRunDefault()
{
    m_service->holdStatus = true;
    bool done = false;
    [](std::shared_ptr<RecordingUserDefaults> defaults, std::shared_ptr<FakeLoginItemService> service,
       bool* done) -> QCoro::Task<> {
        auto run = PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(defaults, service);
        co_await run;
        *done = true;
    }(m_defaults, m_service, &done);
    QTRY_COMPARE(m_service->statusCalls(), 1);

    PorthiveSettings& settings = makeSettings();
    settings.setLaunchAtLoginEnabled(false == settings.launchAtLoginEnabled());
    QCOMPARE(m_defaults->boolValue(preferenceSetKey), std::optional<bool>(true));
    m_service->holdStatus = false;
    m_service->releaseStatus(2);
    QTRY_VERIFY(done);
    QTRY_COMPARE(settings.launchAtLoginStatus(), Status::Enabled);
    QCOMPARE(m_defaults->boolValue(preferenceSetKey), std::optional<bool>(true));
    QVERIFY(m_service->calls().contains(u"register"_s));
}

void TestPorthiveSettings::groupingSwitchStoresOnlyChanges()
{
    PorthiveSettings& settings = makeSettings();
    QSignalSpy changes(&settings, &PorthiveSettings::groupAgentBrowserSessionsChanged);
    QVERIFY(changes.isValid());
    settings.updateGroupAgentBrowserSessions(true);
    QCOMPARE(m_defaults->writes.size(), 0);
    QCOMPARE(changes.count(), 0);

    settings.updateGroupAgentBrowserSessions(false);
    QCOMPARE(settings.groupAgentBrowserSessions(), false);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(m_defaults->writesOf(PorthiveSettings::groupAgentBrowserSessionsKey), QVariantList{false});
    // A settings object made later reads it back.
    m_settings.reset();
    QCOMPARE(makeSettings().groupAgentBrowserSessions(), false);
}

void TestPorthiveSettings::legalPages_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QUrl>("opened");
    QTest::newRow("privacy") << u"porthive.test"_s << u"/privacy"_s << QUrl(u"https://porthive.test/privacy"_s);
    QTest::newRow("terms") << u"porthive.test"_s << u"/terms"_s << QUrl(u"https://porthive.test/terms"_s);
    QTest::newRow("eula") << u"porthive.test"_s << u"/eula"_s << QUrl(u"https://porthive.test/eula"_s);
    QTest::newRow("imprint") << u"porthive.test"_s << u"/imprint"_s << QUrl(u"https://porthive.test/imprint"_s);
    QTest::newRow("another page") << u"porthive.test"_s << u"/admin"_s << QUrl();
    QTest::newRow("a whole address") << u"porthive.test"_s << u"https://elsewhere.test/privacy"_s << QUrl();
    QTest::newRow("no host") << QString() << u"/privacy"_s << QUrl();
    QTest::newRow("host with a path") << u"porthive.test/x"_s << u"/privacy"_s << QUrl();
}

void TestPorthiveSettings::legalPages()
{
    QFETCH(QString, host);
    QFETCH(QString, path);
    QFETCH(QUrl, opened);
    QCOMPARE(PorthiveSettings::legalPageURL(host, path), opened);
    if (host == u"porthive.test"_s) {
        makeSettings().openLegalPage(path);
        QCOMPARE(m_workspace.openedURLs, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{opened});
    }
}

void TestPorthiveSettings::licensesFile()
{
    PorthiveSettings& settings = makeSettings();
    settings.revealLicensesFile();
    QCOMPARE(settings.launchAtLoginMessage(), u"Licenses file is missing from the app bundle."_s);
    QCOMPARE(m_workspace.revealedPaths, QStringList());

    m_licensesFile = u"/opt/porthive/share/porthive/LICENSES.md"_s;
    settings.revealLicensesFile();
    QCOMPARE(m_workspace.revealedPaths, QStringList{m_licensesFile});
}

void TestPorthiveSettings::openingTheLoginItemSettings()
{
    makeSettings().openLoginItemSettings();
    QCOMPARE(m_service->calls(), QStringList{u"openSettings"_s});
}

void TestPorthiveSettings::platformTexts()
{
    PorthiveSettings& settings = makeSettings();
    QCOMPARE(settings.property("approvalMessageText").toString(), PlatformTexts::loginItemApprovalMessage());
    QCOMPARE(settings.property("openLoginItemsText").toString(), PlatformTexts::openLoginItemSettings());
    QCOMPARE(settings.property("revealInFileManagerText").toString(), PlatformTexts::revealInFileManager());
#if !defined(Q_OS_MACOS)
    // The Linux wording names neither macOS nor Finder.
    for (const QString& text : {PlatformTexts::loginItemApprovalMessage(), PlatformTexts::openLoginItemSettings(),
                                PlatformTexts::revealInFileManager()}) {
        QVERIFY2(!text.contains(u"macOS"_s) && !text.contains(u"Finder"_s) && !text.contains(u"Login Items"_s),
                 qPrintable(text));
    }
#endif
}

PORTHIVE_TEST_MAIN(TestPorthiveSettings)
#include "tst_porthivesettings.moc"
