#include "base/apperror.h"
#include "discovery/commandrunner.h"
#include "platform/storage/userdefaults.h"
#include "platform/system/systeminfo.h"
#include "platform/updates/bundleinfo.h"
#include "support/awaittask.h"
#include "support/describederror.h"
#include "support/recordinganalyticsclient.h"
#include "support/testhome.h"
#include "telemetry/analyticsevent.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(AnalyticsEvent)
Q_DECLARE_METATYPE(AnalyticsMode)
Q_DECLARE_METATYPE(RefreshFailureCategory)
Q_DECLARE_METATYPE(CommandRunnerError::Kind)

namespace {

const AnalyticsEnvironment environment{u"1.4.0"_s, u"42"_s, u"Debian 12"_s, u"x86_64"_s, u"en"_s};

AnalyticsValue str(const QString& text)
{
    return AnalyticsValue::string(text);
}

AnalyticsValue num(qint64 n)
{
    return AnalyticsValue::integer(n);
}

AnalyticsValue flag(bool b)
{
    return AnalyticsValue::boolean(b);
}

AnalyticsProperties baseProperties(AnalyticsMode mode)
{
    AnalyticsProperties properties{
        {u"$geoip_disable"_s, flag(true)},
        {u"$process_person_profile"_s, flag(false)},
        {u"analytics_mode"_s, str(AnalyticsModes::text(mode))},
    };
    if (mode == AnalyticsMode::Extended) {
        properties.insert(u"app_version"_s, str(u"1.4.0"_s));
        properties.insert(u"app_build"_s, str(u"42"_s));
        properties.insert(u"os_version"_s, str(u"Debian 12"_s));
        properties.insert(u"architecture"_s, str(u"x86_64"_s));
        properties.insert(u"locale_language"_s, str(u"en"_s));
    }
    return properties;
}

AnalyticsProperties with(AnalyticsProperties base, const AnalyticsProperties& extra)
{
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        base.insert(it.key(), it.value());
    return base;
}

QString propertiesText(const AnalyticsProperties& properties)
{
    QStringList parts;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        parts.append(it.key() + u'=' + it.value().debugText());
    return parts.join(u", "_s);
}

} // namespace

class TestAnalyticsEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void consentLoad_data();
    void consentLoad();
    void consentIsNeverWritten();
    void payload_data();
    void payload();
    void eventNames();
    void jsonOfValues();
    void failureCategory_data();
    void failureCategory();
    void failureCategoryOfPlainExceptions();
    void failureCategoryOfRunnerErrors_data();
    void failureCategoryOfRunnerErrors();
    void failureCategoryOfRealLaunchFailures_data();
    void failureCategoryOfRealLaunchFailures();
    void environmentFromBundle();
    void languageCode_data();
    void languageCode();
    void osVersionForm_data();
    void osVersionForm();
    void osVersionOfThisMachine();
};

void TestAnalyticsEvents::consentLoad_data()
{
    QTest::addColumn<QVariant>("anonymous");
    QTest::addColumn<QVariant>("extended");
    QTest::addColumn<bool>("expectAnonymous");
    QTest::addColumn<bool>("expectExtended");
    QTest::addColumn<AnalyticsMode>("mode");

    const QVariant absent;
    QTest::newRow("nothing stored") << absent << absent << false << false << AnalyticsMode::Off;
    QTest::newRow("anonymous only") << QVariant(true) << absent << true << false << AnalyticsMode::Anonymous;
    QTest::newRow("both") << QVariant(true) << QVariant(true) << true << true << AnalyticsMode::Extended;
    QTest::newRow("extended without anonymous") << absent << QVariant(true) << false << false << AnalyticsMode::Off;
    QTest::newRow("anonymous off, extended on")
        << QVariant(false) << QVariant(true) << false << false << AnalyticsMode::Off;
    QTest::newRow("anonymous as text") << QVariant(u"true"_s) << absent << false << false << AnalyticsMode::Off;
    QTest::newRow("anonymous as number") << QVariant(1) << absent << false << false << AnalyticsMode::Off;
    QTest::newRow("extended as text") << QVariant(true) << QVariant(u"true"_s) << true << false
                                      << AnalyticsMode::Anonymous;
}

void TestAnalyticsEvents::consentLoad()
{
    QFETCH(QVariant, anonymous);
    QFETCH(QVariant, extended);
    QFETCH(bool, expectAnonymous);
    QFETCH(bool, expectExtended);
    QFETCH(AnalyticsMode, mode);

    // Through the file-backed store, so types survive as the real preferences keep them.
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/consent-"_s +
                         QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".json"_s;
    QFile::remove(path);
    {
        SettingsUserDefaults writer(path);
        if (anonymous.isValid())
            writer.setValue(AnalyticsConsentPreferences::anonymousKey, anonymous);
        if (extended.isValid())
            writer.setValue(AnalyticsConsentPreferences::extendedKey, extended);
    }
    SettingsUserDefaults defaults(path);
    const AnalyticsConsent consent = AnalyticsConsentPreferences(defaults).load();
    QCOMPARE(consent, (AnalyticsConsent{expectAnonymous, expectExtended}));
    QCOMPARE(AnalyticsModes::fromConsent(consent), mode);
}

void TestAnalyticsEvents::consentIsNeverWritten()
{
    MemoryUserDefaults defaults;
    defaults.setValue(AnalyticsConsentPreferences::extendedKey, true);
    QCOMPARE(AnalyticsConsentPreferences(defaults).load(), (AnalyticsConsent{false, false}));
    QVERIFY(!defaults.contains(AnalyticsConsentPreferences::anonymousKey));
    QCOMPARE(defaults.value(AnalyticsConsentPreferences::extendedKey), QVariant(true));
}

void TestAnalyticsEvents::payload_data()
{
    QTest::addColumn<AnalyticsMode>("mode");
    QTest::addColumn<AnalyticsEvent>("event");
    QTest::addColumn<AnalyticsProperties>("expected");

    using A = AnalyticsMode;
    QTest::newRow("launched, anonymous") << A::Anonymous << AnalyticsEvent::appLaunched()
                                         << baseProperties(A::Anonymous);
    QTest::newRow("launched, extended") << A::Extended << AnalyticsEvent::appLaunched() << baseProperties(A::Extended);
    QTest::newRow("settings opened, off") << A::Off << AnalyticsEvent::settingsOpened() << baseProperties(A::Off);

    const AnalyticsProperties openVite{{u"action"_s, str(u"open"_s)},
                                       {u"runtime_kind"_s, str(u"vite"_s)},
                                       {u"has_project_path"_s, flag(true)},
                                       {u"has_http_status"_s, flag(true)}};
    const auto openVite200 =
        AnalyticsEvent::serverActionRequested(ServerAnalyticsAction::Open, RuntimeKind::Vite, true, 200);
    QTest::newRow("action with status, anonymous: no class")
        << A::Anonymous << openVite200 << with(baseProperties(A::Anonymous), openVite);
    QTest::newRow("action with status, extended: class")
        << A::Extended << openVite200
        << with(baseProperties(A::Extended), with(openVite, {{u"http_status_class"_s, str(u"2xx"_s)}}));
    QTest::newRow("404 gives 4xx") << A::Extended
                                   << AnalyticsEvent::serverActionRequested(ServerAnalyticsAction::Restart,
                                                                            RuntimeKind::Next, false, 404)
                                   << with(baseProperties(A::Extended), {{u"action"_s, str(u"restart"_s)},
                                                                         {u"runtime_kind"_s, str(u"next"_s)},
                                                                         {u"has_project_path"_s, flag(false)},
                                                                         {u"has_http_status"_s, flag(true)},
                                                                         {u"http_status_class"_s, str(u"4xx"_s)}});
    QTest::newRow("action without status, extended")
        << A::Extended
        << AnalyticsEvent::serverActionRequested(ServerAnalyticsAction::ForceTerminate, RuntimeKind::AgentBrowser,
                                                 false, std::nullopt)
        << with(baseProperties(A::Extended), {{u"action"_s, str(u"force_terminate"_s)},
                                              {u"runtime_kind"_s, str(u"agentBrowser"_s)},
                                              {u"has_project_path"_s, flag(false)},
                                              {u"has_http_status"_s, flag(false)}});

    const AnalyticsProperties zeroCounts{
        {u"runtime_agentBrowser_count"_s, num(0)}, {u"runtime_next_count"_s, num(0)}, {u"runtime_vite_count"_s, num(1)},
        {u"runtime_node_count"_s, num(2)},         {u"runtime_bun_count"_s, num(0)},
    };
    const auto completed =
        AnalyticsEvent::serverRefreshCompleted(3, 5, {{RuntimeKind::Node, 2}, {RuntimeKind::Vite, 1}});
    const AnalyticsProperties completedProperties =
        with(zeroCounts, {{u"running_count"_s, num(3)}, {u"saved_count"_s, num(5)}});
    QTest::newRow("refresh completed, absent kinds are 0, anonymous")
        << A::Anonymous << completed << with(baseProperties(A::Anonymous), completedProperties);
    QTest::newRow("refresh completed, extended")
        << A::Extended << completed << with(baseProperties(A::Extended), completedProperties);

    QTest::newRow("refresh failed") << A::Anonymous
                                    << AnalyticsEvent::serverRefreshFailed(true, RefreshFailureCategory::Timeout)
                                    << with(baseProperties(A::Anonymous), {{u"had_cached_servers"_s, flag(true)},
                                                                           {u"error_category"_s, str(u"timeout"_s)}});
    QTest::newRow("consent changed") << A::Extended << AnalyticsEvent::analyticsConsentChanged({true, false})
                                     << with(baseProperties(A::Extended), {{u"anonymous_enabled"_s, flag(true)},
                                                                           {u"extended_enabled"_s, flag(false)}});
    QTest::newRow("project action") << A::Anonymous
                                    << AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::RevealProject,
                                                                              RuntimeKind::Bun)
                                    << with(baseProperties(A::Anonymous), {{u"action"_s, str(u"reveal_project"_s)},
                                                                           {u"runtime_kind"_s, str(u"bun"_s)}});
}

void TestAnalyticsEvents::payload()
{
    QFETCH(AnalyticsMode, mode);
    QFETCH(AnalyticsEvent, event);
    QFETCH(AnalyticsProperties, expected);
    const CapturePayload payload = makeCapturePayload(mode, environment, event);
    QCOMPARE(payload.eventName, event.name());
    QCOMPARE(propertiesText(payload.properties), propertiesText(expected));
}

void TestAnalyticsEvents::eventNames()
{
    const QList<std::pair<AnalyticsEvent, QString>> cases{
        {AnalyticsEvent::analyticsConsentChanged({}), u"porthive_analytics_consent_changed"_s},
        {AnalyticsEvent::serverRefreshCompleted(0, 0, {}), u"porthive_server_refresh_completed"_s},
        {AnalyticsEvent::serverRefreshFailed(false, RefreshFailureCategory::Unknown),
         u"porthive_server_refresh_failed"_s},
        {AnalyticsEvent::serverActionRequested(ServerAnalyticsAction::Pause, RuntimeKind::Node, true, {}),
         u"porthive_server_action_requested"_s},
        {AnalyticsEvent::projectActionRequested(ProjectAnalyticsAction::Remove, RuntimeKind::Node),
         u"porthive_project_action_requested"_s},
        {AnalyticsEvent::appLaunched(), u"porthive_app_launched"_s},
        {AnalyticsEvent::settingsOpened(), u"porthive_settings_opened"_s},
    };
    for (const auto& [event, name] : cases)
        QCOMPARE(event.name(), name);
    QCOMPARE(AnalyticsTexts::text(ServerAnalyticsAction::RevealProject), u"reveal_project"_s);
    QCOMPARE(AnalyticsTexts::text(ServerAnalyticsAction::Resume), u"resume"_s);
    QCOMPARE(AnalyticsTexts::text(ProjectAnalyticsAction::Start), u"start"_s);
    QCOMPARE(AnalyticsTexts::text(RefreshFailureCategory::PermissionDenied), u"permission_denied"_s);
    QCOMPARE(AnalyticsTexts::text(RefreshFailureCategory::CommandUnavailable), u"command_unavailable"_s);
}

void TestAnalyticsEvents::jsonOfValues()
{
    QCOMPARE(AnalyticsValue::string(u"x"_s).toJson(), QJsonValue(u"x"_s));
    QCOMPARE(AnalyticsValue::integer(7).toJson(), QJsonValue(7));
    QCOMPARE(AnalyticsValue::boolean(false).toJson(), QJsonValue(false));
    // The kinds stay apart: a Boolean is no integer and "1" is no number.
    QVERIFY(AnalyticsValue::integer(1) != AnalyticsValue::boolean(true));
    QVERIFY(AnalyticsValue::string(u"1"_s) != AnalyticsValue::integer(1));
}

void TestAnalyticsEvents::failureCategory_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<RefreshFailureCategory>("category");
    using C = RefreshFailureCategory;
    QTest::newRow("runner time-out") << u"/bin/ps timed out"_s << C::Timeout;
    QTest::newRow("timeout word") << u"Timeout while reading"_s << C::Timeout;
    QTest::newRow("command not found") << u"Command not found"_s << C::CommandUnavailable;
    QTest::newRow("launch failed, missing file") << u"execve: No such file or directory"_s << C::CommandUnavailable;
    QTest::newRow("non-zero exit naming a permission problem")
        << u"/usr/bin/lsof exited 1: lsof: Permission denied\n"_s << C::PermissionDenied;
    QTest::newRow("operation not permitted") << u"Operation not permitted"_s << C::PermissionDenied;
    QTest::newRow("permission wins over time-out") << u"permission check timed out"_s << C::PermissionDenied;
    QTest::newRow("command wins over time-out") << u"command timed out"_s << C::CommandUnavailable;
    QTest::newRow("plain non-zero exit") << u"/bin/ps exited 2: bad\n"_s << C::Unknown;
    QTest::newRow("empty") << QString() << C::Unknown;
}

void TestAnalyticsEvents::failureCategory()
{
    QFETCH(QString, description);
    QFETCH(RefreshFailureCategory, category);
    QCOMPARE(refreshFailureCategory(DescribedError(description)), category);
}

void TestAnalyticsEvents::failureCategoryOfPlainExceptions()
{
    QCOMPARE(refreshFailureCategory(std::runtime_error("socket listing timed out")), RefreshFailureCategory::Timeout);
    QCOMPARE(refreshFailureCategory(SystemError(EACCES)), RefreshFailureCategory::PermissionDenied);
    QCOMPARE(refreshFailureCategory(SystemError(ENOENT)), RefreshFailureCategory::CommandUnavailable);
}

void TestAnalyticsEvents::failureCategoryOfRunnerErrors_data()
{
    QTest::addColumn<CommandRunnerError::Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("standardError");
    QTest::addColumn<RefreshFailureCategory>("category");
    using C = RefreshFailureCategory;
    using K = CommandRunnerError::Kind;
    QTest::newRow("process listing timed out") << K::TimedOut << u"/bin/ps"_s << QString() << C::Timeout;
    QTest::newRow("socket listing timed out") << K::TimedOut << u"/usr/sbin/lsof"_s << QString() << C::Timeout;
    QTest::newRow("missing tool") << K::LaunchFailed << u"execvp: No such file or directory"_s << QString()
                                  << C::CommandUnavailable;
    QTest::newRow("tool not executable") << K::LaunchFailed << u"execvp: Permission denied"_s << QString()
                                         << C::PermissionDenied;
    QTest::newRow("exit naming a permission problem")
        << K::Failed << u"/usr/sbin/lsof"_s << u"lsof: WARNING: can't stat() fuse: Permission denied\n"_s
        << C::PermissionDenied;
    QTest::newRow("exit, operation not permitted")
        << K::Failed << u"/bin/ps"_s << u"ps: Operation not permitted\n"_s << C::PermissionDenied;
    QTest::newRow("exit, plain") << K::Failed << u"/bin/ps"_s << u"ps: bad option\n"_s << C::Unknown;
    QTest::newRow("exit, nothing on stderr") << K::Failed << u"/usr/sbin/lsof"_s << QString() << C::Unknown;
}

void TestAnalyticsEvents::failureCategoryOfRunnerErrors()
{
    QFETCH(CommandRunnerError::Kind, kind);
    QFETCH(QString, text);
    QFETCH(QString, standardError);
    QFETCH(RefreshFailureCategory, category);
    const CommandRunnerError error =
        kind == CommandRunnerError::Kind::LaunchFailed ? CommandRunnerError::launchFailed(text)
        : kind == CommandRunnerError::Kind::TimedOut   ? CommandRunnerError::timedOut(text)
                                                       : CommandRunnerError::failed(text, 1, standardError);
    // As the store sees it: caught as any exception.
    try {
        throw error;
    } catch (const std::exception& caught) {
        QCOMPARE(refreshFailureCategory(caught), category);
    }
}

void TestAnalyticsEvents::failureCategoryOfRealLaunchFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<RefreshFailureCategory>("category");
    QTest::newRow("missing") << u"/nonexistent/porthive-tool"_s << RefreshFailureCategory::CommandUnavailable;
    QTest::newRow("not executable") << QString() << RefreshFailureCategory::PermissionDenied;
}

void TestAnalyticsEvents::failureCategoryOfRealLaunchFailures()
{
    QFETCH(QString, path);
    QFETCH(RefreshFailureCategory, category);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (path.isEmpty()) {
        path = dir.filePath(u"plain"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
    }
    // The platform's own launch-error text, as the runner passes it on.
    try {
        awaitTask(CommandRunner().run(path, {}, std::chrono::seconds(10)));
        QFAIL("the tool started");
    } catch (const CommandRunnerError& error) {
        QCOMPARE(error.kind(), CommandRunnerError::Kind::LaunchFailed);
        const std::exception& caught = error;
        QVERIFY2(refreshFailureCategory(caught) == category, qPrintable(error.description()));
    }
}

void TestAnalyticsEvents::environmentFromBundle()
{
    const BundleInfo bundle({{u"CFBundleShortVersionString"_s, u"2.1.0"_s}, {u"CFBundleVersion"_s, u"210"_s}});
    const AnalyticsEnvironment env = AnalyticsEnvironment::current(bundle, QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(env.appVersion, u"2.1.0"_s);
    QCOMPARE(env.appBuild, u"210"_s);
    QCOMPARE(env.localeLanguage, u"de"_s);
    QCOMPARE(env.osVersion, SystemInfo::osVersion());
    // Qt says "x86_64" and "arm64" as well for the two processors the product is built for.
    QCOMPARE(env.architecture, QSysInfo::buildCpuArchitecture());

    const AnalyticsEnvironment bare = AnalyticsEnvironment::current(BundleInfo(), QLocale::c());
    QCOMPARE(bare.appVersion, u"unknown"_s);
    QCOMPARE(bare.appBuild, u"unknown"_s);
    QCOMPARE(bare.localeLanguage, u"unknown"_s);
}

void TestAnalyticsEvents::languageCode_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("code");
    QTest::newRow("english") << u"en_US"_s << u"en"_s;
    QTest::newRow("german") << u"de_DE"_s << u"de"_s;
    QTest::newRow("japanese") << u"ja_JP"_s << u"ja"_s;
    QTest::newRow("C") << u"C"_s << u"unknown"_s;
}

void TestAnalyticsEvents::languageCode()
{
    QFETCH(QString, locale);
    QFETCH(QString, code);
    QCOMPARE(SystemInfo::languageCode(QLocale(locale)), code);
}

void TestAnalyticsEvents::osVersionForm_data()
{
    QTest::addColumn<QString>("osRelease");
    QTest::addColumn<QString>("kernel");
    QTest::addColumn<QString>("expected");
    QTest::newRow("debian") << u"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
                               u"VERSION_ID=\"12\"\nID=debian\n"_s
                            << u"6.1.0-18-amd64"_s << u"Debian 12"_s;
    QTest::newRow("ubuntu keeps its zero")
        << u"NAME=\"Ubuntu\"\nVERSION_ID=\"22.04\"\n"_s << u"6.5.0"_s << u"Ubuntu 22.04"_s;
    QTest::newRow("patch dropped") << u"NAME=Fedora Linux\nVERSION_ID=39.1.5\n"_s << QString() << u"Fedora 39.1"_s;
    QTest::newRow("single quotes") << u"NAME='Alpine Linux'\nVERSION_ID='3.19.1'\n"_s << QString() << u"Alpine 3.19"_s;
    QTest::newRow("rolling, no version") << u"NAME=\"Arch Linux\"\nID=arch\n"_s << u"6.7.4-arch1-1"_s << u"Arch"_s;
    QTest::newRow("no os-release") << QString() << u"6.1.0-18-amd64"_s << u"Linux 6.1"_s;
    QTest::newRow("NAME is not PRETTY_NAME") << u"PRETTY_NAME=\"X 1\"\n"_s << u"5.10.2"_s << u"Linux 5.10"_s;
}

void TestAnalyticsEvents::osVersionForm()
{
    QFETCH(QString, osRelease);
    QFETCH(QString, kernel);
    QFETCH(QString, expected);
    QCOMPARE(SystemInfo::linuxOSVersion(osRelease, kernel), expected);
}

void TestAnalyticsEvents::osVersionOfThisMachine()
{
    QCOMPARE(SystemInfo::formatOSVersion(u"macOS"_s, u"14.5.1"_s), u"macOS 14.5"_s);
    QFile osRelease(u"/etc/os-release"_s);
    if (!osRelease.open(QIODevice::ReadOnly))
        QSKIP("no /etc/os-release");
    QCOMPARE(SystemInfo::osVersion(),
             SystemInfo::linuxOSVersion(QString::fromUtf8(osRelease.readAll()), QSysInfo::kernelVersion()));
    QVERIFY(!SystemInfo::osVersion().isEmpty());
}

PORTHIVE_TEST_MAIN(TestAnalyticsEvents)
#include "tst_analyticsevents.moc"
