#include "platform/storage/userdefaults.h"
#include "platform/updates/bundleinfo.h"
#include "support/httpreceiver.h"
#include "support/recordinganalyticsclient.h"
#include "support/testhome.h"
#include "telemetry/analyticsclient.h"
#include "telemetry/posthogdirecttransport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(AnalyticsConsent)

namespace {

class RecordingTransport final : public PostHogDirectTransporting
{
public:
    void send(const PostHogCaptureRequest& request) override { sent.append(request); }
    void cancelAll() override { ++cancels; }

    QList<PostHogCaptureRequest> sent;
    int cancels = 0;
};

// Remembers which keys were touched and how.
class SpyDefaults final : public UserDefaults
{
public:
    QVariant value(const QString& key) const override
    {
        log.append(u"read "_s + key);
        return m_store.value(key);
    }
    bool contains(const QString& key) const override
    {
        log.append(u"read "_s + key);
        return m_store.contains(key);
    }
    void setValue(const QString& key, const QVariant& value) override
    {
        log.append(u"write "_s + key);
        m_store.setValue(key, value);
    }
    void remove(const QString& key) override
    {
        log.append(u"remove "_s + key);
        m_store.remove(key);
    }

    mutable QStringList log;

private:
    MemoryUserDefaults m_store;
};

const AnalyticsConsent off{false, false};
const AnalyticsConsent anonymous{true, false};
const AnalyticsConsent extended{true, true};

const AnalyticsEnvironment environment{u"1.4.0"_s, u"42"_s, u"Debian 12"_s, u"x86_64"_s, u"en"_s};

const QRegularExpression upperUuid(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);

struct Harness
{
    std::shared_ptr<UserDefaults> defaults;
    RecordingTransport* transport = nullptr;
    std::unique_ptr<PostHogAnalyticsClient> client;
};

Harness makeHarness(std::shared_ptr<UserDefaults> defaults = std::make_shared<MemoryUserDefaults>())
{
    auto transport = std::make_unique<RecordingTransport>();
    Harness harness{defaults, transport.get(), nullptr};
    harness.client = std::make_unique<PostHogAnalyticsClient>(
        AnalyticsConfiguration{u"phc_token"_s, QUrl(u"https://capture.example.test"_s)}, environment,
        std::move(transport), std::move(defaults));
    return harness;
}

QString storedInstallID(const UserDefaults& defaults)
{
    return defaults.stringValue(PostHogAnalyticsClient::installIDKey).value_or(QString());
}

QJsonObject jsonBody(const ReceivedRequest& request)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "body is no JSON:" << request.body;
    return document.object();
}

} // namespace

class TestAnalyticsClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuration_data();
    void configuration();
    void captureUrl_data();
    void captureUrl();
    void wireFormat_data();
    void wireFormat();
    void hostPathReachesReceiver();
    void nothingSentWithoutConsent();
    void consentChange_data();
    void consentChange();
    void consentChangeCancelsRunningRequests();
    void keepingConsentCancelsNothing();
    void cancelledRepliesAreReleased();
    void anonymousIdentities();
    void installIDAcrossLaunches();
    void emptyInstallIDIsReplaced();
};

void TestAnalyticsClient::configuration_data()
{
    QTest::addColumn<QVariant>("token");
    QTest::addColumn<QVariant>("host");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("expectedToken");
    QTest::addColumn<QString>("expectedHost");

    const QVariant absent;
    const QVariant https(u"https://eu.capture.example.test"_s);
    QTest::newRow("both absent") << absent << absent << false << QString() << QString();
    QTest::newRow("token absent") << absent << https << false << QString() << QString();
    QTest::newRow("host absent") << QVariant(u"phc_1"_s) << absent << false << QString() << QString();
    QTest::newRow("blank token") << QVariant(u" \t\n "_s) << https << false << QString() << QString();
    QTest::newRow("empty host") << QVariant(u"phc_1"_s) << QVariant(QString()) << false << QString() << QString();
    QTest::newRow("unexpanded host") << QVariant(u"phc_1"_s) << QVariant(u"$(POSTHOG_HOST)"_s) << false << QString()
                                     << QString();
    QTest::newRow("http host") << QVariant(u"phc_1"_s) << QVariant(u"http://eu.capture.example.test"_s) << false
                               << QString() << QString();
    QTest::newRow("loopback http host") << QVariant(u"phc_1"_s) << QVariant(u"http://127.0.0.1:8000"_s) << false
                                        << QString() << QString();
    QTest::newRow("upper-case scheme") << QVariant(u"phc_1"_s) << QVariant(u"HTTPS://eu.capture.example.test"_s)
                                       << false << QString() << QString();
    QTest::newRow("other scheme") << QVariant(u"phc_1"_s) << QVariant(u"ftp://eu.capture.example.test"_s) << false
                                  << QString() << QString();
    QTest::newRow("no host part") << QVariant(u"phc_1"_s) << QVariant(u"https:///i"_s) << false << QString()
                                  << QString();
    QTest::newRow("trimmed") << QVariant(u"  phc_1 \n"_s) << QVariant(u" https://eu.capture.example.test\n"_s) << true
                             << u"phc_1"_s << u"https://eu.capture.example.test"_s;
    QTest::newRow("path kept") << QVariant(u"phc_1"_s) << QVariant(u"https://example.test/relay/"_s) << true
                               << u"phc_1"_s << u"https://example.test/relay/"_s;
}

void TestAnalyticsClient::configuration()
{
    QFETCH(QVariant, token);
    QFETCH(QVariant, host);
    QFETCH(bool, configured);
    QFETCH(QString, expectedToken);
    QFETCH(QString, expectedHost);

    BundleInfo::Values values{{u"CFBundleShortVersionString"_s, u"1.0"_s}};
    if (token.isValid())
        values.insert(u"PorthivePostHogProjectToken"_s, token.toString());
    if (host.isValid())
        values.insert(u"PorthivePostHogHost"_s, host.toString());
    const BundleInfo bundle(values);

    const std::optional<AnalyticsConfiguration> configuration = AnalyticsConfiguration::fromBundle(bundle);
    QCOMPARE(configuration.has_value(), configured);
    if (configuration) {
        QCOMPARE(configuration->projectToken, expectedToken);
        QCOMPARE(configuration->host, QUrl(expectedHost));
    }
    const std::unique_ptr<AnalyticsCapturing> client =
        makeAnalyticsClient(bundle, std::make_shared<MemoryUserDefaults>());
    QCOMPARE(dynamic_cast<PostHogAnalyticsClient*>(client.get()) != nullptr, configured);
    QCOMPARE(dynamic_cast<NoopAnalyticsClient*>(client.get()) != nullptr, !configured);
}

void TestAnalyticsClient::captureUrl_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("url");
    QTest::newRow("bare host") << u"https://h.test"_s << u"https://h.test/i/v0/e/"_s;
    QTest::newRow("trailing slash") << u"https://h.test/"_s << u"https://h.test/i/v0/e/"_s;
    QTest::newRow("path") << u"https://h.test/relay"_s << u"https://h.test/relay/i/v0/e/"_s;
    QTest::newRow("path with slash") << u"https://h.test/relay/"_s << u"https://h.test/relay/i/v0/e/"_s;
    QTest::newRow("port kept") << u"https://h.test:8443"_s << u"https://h.test:8443/i/v0/e/"_s;
}

void TestAnalyticsClient::captureUrl()
{
    QFETCH(QString, host);
    QFETCH(QString, url);
    PostHogCaptureRequest request;
    request.host = QUrl(host);
    QCOMPARE(request.captureUrl(), QUrl(url));
}

void TestAnalyticsClient::wireFormat_data()
{
    QTest::addColumn<AnalyticsConsent>("consent");
    QTest::addColumn<QStringList>("propertyKeys");

    const QStringList base{u"$geoip_disable"_s, u"$process_person_profile"_s, u"analytics_mode"_s};
    const QStringList counts{u"running_count"_s,      u"saved_count"_s,        u"runtime_agentBrowser_count"_s,
                             u"runtime_next_count"_s, u"runtime_vite_count"_s, u"runtime_node_count"_s,
                             u"runtime_bun_count"_s};
    const QStringList environmentKeys{u"app_version"_s, u"app_build"_s, u"os_version"_s, u"architecture"_s,
                                      u"locale_language"_s};
    QTest::newRow("anonymous") << anonymous << base + counts;
    QTest::newRow("extended") << extended << base + environmentKeys + counts;
}

void TestAnalyticsClient::wireFormat()
{
    QFETCH(AnalyticsConsent, consent);
    QFETCH(QStringList, propertyKeys);

    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    PostHogAnalyticsClient client(AnalyticsConfiguration{u"phc_token"_s, receiver.baseUrl()}, environment,
                                  std::make_unique<URLSessionPostHogDirectTransport>(),
                                  std::make_shared<MemoryUserDefaults>());
    client.updateConsent(consent);
    client.capture(AnalyticsEvent::appLaunched());
    client.capture(AnalyticsEvent::serverRefreshCompleted(3, 1, {{RuntimeKind::Vite, 3}}));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), 2, 30000);

    QList<ReceivedRequest> requests = receiver.requests();
    std::sort(requests.begin(), requests.end(), [](const ReceivedRequest& a, const ReceivedRequest& b) {
        return jsonBody(a).value(u"event"_s).toString() < jsonBody(b).value(u"event"_s).toString();
    });
    for (const ReceivedRequest& request : requests) {
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, u"/i/v0/e/"_s);
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    }

    const QJsonObject launched = jsonBody(requests.at(0));
    QCOMPARE(launched.keys(), (QStringList{u"api_key"_s, u"distinct_id"_s, u"event"_s, u"properties"_s}));
    QCOMPARE(launched.value(u"api_key"_s).toString(), u"phc_token"_s);
    QCOMPARE(launched.value(u"event"_s).toString(), u"porthive_app_launched"_s);
    QVERIFY2(upperUuid.match(launched.value(u"distinct_id"_s).toString()).hasMatch(),
             qPrintable(launched.value(u"distinct_id"_s).toString()));
    const QJsonObject launchedProperties = launched.value(u"properties"_s).toObject();
    QCOMPARE(launchedProperties.value(u"$geoip_disable"_s), QJsonValue(true));
    QCOMPARE(launchedProperties.value(u"$process_person_profile"_s), QJsonValue(false));
    QCOMPARE(launchedProperties.value(u"analytics_mode"_s).toString(),
             AnalyticsModes::text(AnalyticsModes::fromConsent(consent)));
    QStringList launchedKeys = launchedProperties.keys();
    QStringList expectedLaunchedKeys = propertyKeys.mid(0, consent.extendedAnalyticsEnabled ? 8 : 3);
    launchedKeys.sort();
    expectedLaunchedKeys.sort();
    QCOMPARE(launchedKeys, expectedLaunchedKeys);
    if (consent.extendedAnalyticsEnabled) {
        QCOMPARE(launchedProperties.value(u"os_version"_s).toString(), u"Debian 12"_s);
        QCOMPARE(launchedProperties.value(u"app_build"_s).toString(), u"42"_s);
    }

    const QJsonObject completed = jsonBody(requests.at(1));
    QCOMPARE(completed.value(u"event"_s).toString(), u"porthive_server_refresh_completed"_s);
    const QJsonObject completedProperties = completed.value(u"properties"_s).toObject();
    QStringList completedKeys = completedProperties.keys();
    completedKeys.sort();
    propertyKeys.sort();
    QCOMPARE(completedKeys, propertyKeys);
    QCOMPARE(completedProperties.value(u"runtime_vite_count"_s), QJsonValue(3));
    QCOMPARE(completedProperties.value(u"runtime_node_count"_s), QJsonValue(0));
    QCOMPARE(completedProperties.value(u"runtime_agentBrowser_count"_s), QJsonValue(0));
    QCOMPARE(completedProperties.value(u"running_count"_s), QJsonValue(3));

    // Anonymous events never share an identity; extended ones always do.
    const bool sameIdentity = launched.value(u"distinct_id"_s) == completed.value(u"distinct_id"_s);
    QCOMPARE(sameIdentity, consent.extendedAnalyticsEnabled);
}

void TestAnalyticsClient::hostPathReachesReceiver()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    QUrl host = receiver.baseUrl();
    host.setPath(u"/relay/"_s);
    PostHogAnalyticsClient client(AnalyticsConfiguration{u"phc_token"_s, host}, environment,
                                  std::make_unique<URLSessionPostHogDirectTransport>(),
                                  std::make_shared<MemoryUserDefaults>());
    client.updateConsent(anonymous);
    client.capture(AnalyticsEvent::settingsOpened());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), 1, 30000);
    QCOMPARE(receiver.requests().at(0).path, u"/relay/i/v0/e/"_s);
}

void TestAnalyticsClient::nothingSentWithoutConsent()
{
    Harness h = makeHarness();
    QVERIFY(!h.client->isConfigured());
    // No consent yet counts as off, and the client is configured from then on.
    h.client->capture(AnalyticsEvent::appLaunched());
    QVERIFY(h.client->isConfigured());
    QVERIFY(h.transport->sent.isEmpty());

    h.client->updateConsent(off);
    h.client->capture(AnalyticsEvent::settingsOpened());
    QVERIFY(h.transport->sent.isEmpty());

    // The first consent was applied before, so this one is a change.
    h.client->updateConsent(anonymous);
    h.client->capture(AnalyticsEvent::settingsOpened());
    QCOMPARE(h.transport->sent.size(), 1);
    QCOMPARE(h.transport->sent.at(0).event, u"porthive_settings_opened"_s);
    QCOMPARE(h.transport->sent.at(0).apiKey, u"phc_token"_s);
    QCOMPARE(h.transport->cancels, 0);
}

void TestAnalyticsClient::consentChange_data()
{
    QTest::addColumn<AnalyticsConsent>("from");
    QTest::addColumn<AnalyticsConsent>("to");
    QTest::addColumn<int>("cancels");
    QTest::addColumn<bool>("installIDKept");

    QTest::newRow("extended to anonymous") << extended << anonymous << 1 << false;
    QTest::newRow("extended to off") << extended << off << 1 << false;
    QTest::newRow("extended stays") << extended << extended << 0 << true;
    QTest::newRow("extended switch without anonymous is off")
        << extended << AnalyticsConsent{false, true} << 1 << false;
    QTest::newRow("anonymous to off") << anonymous << off << 1 << false;
    QTest::newRow("anonymous to extended") << anonymous << extended << 0 << false;
    QTest::newRow("anonymous stays") << anonymous << anonymous << 0 << false;
    QTest::newRow("off to anonymous") << off << anonymous << 0 << false;
    QTest::newRow("off to extended") << off << extended << 0 << false;
}

void TestAnalyticsClient::consentChange()
{
    QFETCH(AnalyticsConsent, from);
    QFETCH(AnalyticsConsent, to);
    QFETCH(int, cancels);
    QFETCH(bool, installIDKept);

    Harness h = makeHarness();
    h.client->updateConsent(from);
    h.client->capture(AnalyticsEvent::appLaunched());
    h.client->updateConsent(to);
    QCOMPARE(h.transport->cancels, cancels);
    QCOMPARE(h.defaults->contains(PostHogAnalyticsClient::installIDKey), installIDKept);
}

void TestAnalyticsClient::consentChangeCancelsRunningRequests()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    auto transport = std::make_unique<URLSessionPostHogDirectTransport>();
    URLSessionPostHogDirectTransport* running = transport.get();
    auto defaults = std::make_shared<MemoryUserDefaults>();
    PostHogAnalyticsClient client(AnalyticsConfiguration{u"phc_token"_s, receiver.baseUrl()}, environment,
                                  std::move(transport), defaults);

    // More requests than Qt runs at once per host (six): the rest wait in its queue. Aborting one finishes it
    // on the spot, so a cancellation that walked its own list while the replies edit it would skip some.
    client.updateConsent(extended);
    for (int i = 0; i < 12; ++i)
        client.capture(AnalyticsEvent::settingsOpened());
    QVERIFY(defaults->contains(PostHogAnalyticsClient::installIDKey));
    QCOMPARE(running->pendingRequestCount(), 12);
    QTRY_VERIFY_WITH_TIMEOUT(receiver.requestCount() >= 6, 30000);

    // Leaving extended mode stops every request at once and forgets the install id.
    client.updateConsent(anonymous);
    QCOMPARE(running->pendingRequestCount(), 0);
    QVERIFY(!defaults->contains(PostHogAnalyticsClient::installIDKey));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.droppedConnections(), int(receiver.requestCount()), 30000);
    const qsizetype reached = receiver.requestCount();

    client.capture(AnalyticsEvent::settingsOpened());
    QCOMPARE(running->pendingRequestCount(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), reached + 1, 30000);

    client.updateConsent(off);
    QCOMPARE(running->pendingRequestCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.droppedConnections(), int(reached + 1), 30000);
    client.capture(AnalyticsEvent::settingsOpened());
    QCOMPARE(running->pendingRequestCount(), 0);
}

void TestAnalyticsClient::keepingConsentCancelsNothing()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    auto transport = std::make_unique<URLSessionPostHogDirectTransport>();
    URLSessionPostHogDirectTransport* running = transport.get();
    PostHogAnalyticsClient client(AnalyticsConfiguration{u"phc_token"_s, receiver.baseUrl()}, environment,
                                  std::move(transport), std::make_shared<MemoryUserDefaults>());
    client.updateConsent(anonymous);
    client.capture(AnalyticsEvent::appLaunched());
    client.capture(AnalyticsEvent::settingsOpened());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), 2, 30000);

    client.updateConsent(extended);
    client.updateConsent(extended);
    QCOMPARE(running->pendingRequestCount(), 2);
    QCOMPARE(receiver.droppedConnections(), 0);
}

void TestAnalyticsClient::cancelledRepliesAreReleased()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    QNetworkAccessManager network;
    {
        URLSessionPostHogDirectTransport transport(&network);
        PostHogCaptureRequest request{u"phc_token"_s, receiver.baseUrl(), u"porthive_settings_opened"_s, u"id"_s, {}};
        // Running ones and ones still waiting in Qt's per-host queue.
        for (int i = 0; i < 10; ++i)
            transport.send(request);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.requestCount() >= 6, 30000);
        transport.cancelAll();
        QCOMPARE(transport.pendingRequestCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(network.findChildren<QNetworkReply*>().size(), 0, 30000);

        // A transport that goes away with requests running leaves none behind in a manager that stays.
        for (int i = 0; i < 3; ++i)
            transport.send(request);
        QCOMPARE(network.findChildren<QNetworkReply*>().size(), 3);
    }
    QTRY_COMPARE_WITH_TIMEOUT(network.findChildren<QNetworkReply*>().size(), 0, 30000);
}

void TestAnalyticsClient::anonymousIdentities()
{
    auto spy = std::make_shared<SpyDefaults>();
    Harness h = makeHarness(spy);
    h.client->updateConsent(anonymous);
    h.client->capture(AnalyticsEvent::appLaunched());
    h.client->capture(AnalyticsEvent::appLaunched());
    QCOMPARE(h.transport->sent.size(), 2);
    const QString first = h.transport->sent.at(0).distinctID;
    const QString second = h.transport->sent.at(1).distinctID;
    QVERIFY2(upperUuid.match(first).hasMatch(), qPrintable(first));
    QVERIFY2(upperUuid.match(second).hasMatch(), qPrintable(second));
    QVERIFY(first != second);
    // The only touch is the removal of an id a former extended run may have left.
    QCOMPARE(spy->log, QStringList{u"remove PorthiveAnalyticsInstallID"_s});
}

void TestAnalyticsClient::installIDAcrossLaunches()
{
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/install-id.json"_s;
    const auto launch = [&path](const AnalyticsConsent& consent) {
        Harness h = makeHarness(std::make_shared<SettingsUserDefaults>(path));
        h.client->updateConsent(consent);
        h.client->capture(AnalyticsEvent::appLaunched());
        h.client->capture(AnalyticsEvent::settingsOpened());
        QStringList ids;
        for (const PostHogCaptureRequest& request : h.transport->sent)
            ids.append(request.distinctID);
        return ids;
    };

    const QStringList first = launch(extended);
    QCOMPARE(first.size(), 2);
    QVERIFY(upperUuid.match(first.at(0)).hasMatch());
    QCOMPARE(first.at(1), first.at(0));
    QCOMPARE(storedInstallID(SettingsUserDefaults(path)), first.at(0));

    // The id survives a restart.
    QCOMPARE(launch(extended), QStringList(2, first.at(0)));

    // A launch without extended mode ends it, even though its consent never changes while it runs.
    const QStringList anonymousIds = launch(anonymous);
    QVERIFY(!anonymousIds.contains(first.at(0)));
    QVERIFY(!SettingsUserDefaults(path).contains(PostHogAnalyticsClient::installIDKey));

    const QStringList later = launch(extended);
    QCOMPARE(later.at(1), later.at(0));
    QVERIFY(later.at(0) != first.at(0));

    // A launch whose client never hears of consent counts as off and forgets the id as well.
    {
        Harness h = makeHarness(std::make_shared<SettingsUserDefaults>(path));
        h.client->capture(AnalyticsEvent::appLaunched());
        QVERIFY(h.transport->sent.isEmpty());
    }
    QVERIFY(!SettingsUserDefaults(path).contains(PostHogAnalyticsClient::installIDKey));

    // Within one run: leaving extended mode forgets the id, returning makes a new one.
    Harness h = makeHarness(std::make_shared<SettingsUserDefaults>(path));
    h.client->updateConsent(extended);
    h.client->capture(AnalyticsEvent::appLaunched());
    const QString before = h.transport->sent.last().distinctID;
    h.client->updateConsent(anonymous);
    QVERIFY(!SettingsUserDefaults(path).contains(PostHogAnalyticsClient::installIDKey));
    h.client->updateConsent(extended);
    h.client->capture(AnalyticsEvent::appLaunched());
    QVERIFY(h.transport->sent.last().distinctID != before);
    QCOMPARE(storedInstallID(SettingsUserDefaults(path)), h.transport->sent.last().distinctID);
}

void TestAnalyticsClient::emptyInstallIDIsReplaced()
{
    auto defaults = std::make_shared<MemoryUserDefaults>();
    defaults->setValue(PostHogAnalyticsClient::installIDKey, QString());
    Harness h = makeHarness(defaults);
    h.client->updateConsent(extended);
    h.client->capture(AnalyticsEvent::appLaunched());
    const QString id = h.transport->sent.at(0).distinctID;
    QVERIFY(upperUuid.match(id).hasMatch());
    QCOMPARE(storedInstallID(*defaults), id);
}

PORTHIVE_TEST_MAIN(TestAnalyticsClient)
#include "tst_analyticsclient.moc"
