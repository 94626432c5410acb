#include "control/actionerror.h"
#include "platform/updates/bundleinfo.h"
#include "support/describederror.h"
#include "support/httpreceiver.h"
#include "support/testhome.h"
#include "telemetry/sentrysdk.h"
#include "telemetry/sentrytelemetryclient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr std::chrono::seconds generousFlush{30};

struct Envelope
{
    QJsonObject header;
    QJsonObject itemHeader;
    QByteArray payload;
    QJsonObject event;
};

QJsonObject parseObject(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "not JSON:" << json;
    return document.object();
}

Envelope parseEnvelope(const QByteArray& body)
{
    const QList<QByteArray> lines = body.split('\n');
    if (lines.size() < 3)
        return {};
    return Envelope{parseObject(lines.at(0)), parseObject(lines.at(1)), lines.at(2), parseObject(lines.at(2))};
}

SentryTelemetryConfiguration configurationFor(const HttpReceiver& receiver)
{
    return SentryTelemetryConfiguration{u"http://public123@127.0.0.1:"_s + QString::number(receiver.port()) + u"/42"_s,
                                        u"test"_s, u"com.vemo.porthive@1.2.3+45"_s, u"45"_s};
}

std::unique_ptr<SentryTelemetryClient> clientFor(const HttpReceiver& receiver)
{
    const SentryTelemetryConfiguration configuration = configurationFor(receiver);
    std::unique_ptr<SentrySdk> sdk = SentryTelemetryClient::startSdk(configuration);
    if (!sdk)
        return nullptr;
    return std::make_unique<SentryTelemetryClient>(configuration, std::move(sdk));
}

const QRegularExpression eventIdPattern(u"^[0-9a-f]{32}$"_s);

// Run by the child process: installs an enabled client, leaves a report on its way and quits once the parent
// has seen the request arrive (a line on standard input).
int reportAndQuit(const QString& dsn)
{
    SentryTelemetryClient::bootstrap(BundleInfo({{u"PorthiveSentryDSN"_s, dsn}}));
    if (!dynamic_cast<SentryTelemetryClient*>(&sharedTelemetryClient()))
        return 3;
    sharedTelemetryClient().captureMessage(u"Server URL could not be opened"_s, TelemetryOperation::ServerOpen, {});
    // The report travels on the client's own thread, so blocking this one does not hold it up.
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 4;
    input.readLine();
    return 0;
}

} // namespace

class TestSentryClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void capturedError();
    void capturedMessage();
    void clientEventKeepsStacksAndBreadcrumbs();
    void plantedSecretsNeverLeave_data();
    void plantedSecretsNeverLeave();
    void processActionFailureThroughSharedClient();
    void flushTimesOutWhenUnanswered();
    void flushWithNothingQueued();
    void disabledClientSendsNothing();
    void quitsWithReportStillOpen();
};

void TestSentryClient::cleanup()
{
    setSharedTelemetryClient(nullptr);
}

void TestSentryClient::capturedError()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);

    client->captureError(SystemError(EACCES), TelemetryOperation::ServerForceTerminate,
                         telemetryContext({{u"runtime_kind"_s, u"vite"_s}, {u"http_status"_s, u"200"_s}}));
    client->captureError(SystemError(EPERM), TelemetryOperation::ServerPause, {});
    QVERIFY(client->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 2);

    QList<ReceivedRequest> requests = receiver.requests();
    for (const ReceivedRequest& request : requests) {
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, u"/api/42/envelope/"_s);
        QCOMPARE(request.header("X-Sentry-Auth"),
                 QByteArray("Sentry sentry_version=7, sentry_client=porthive.telemetry/1.0, sentry_key=public123"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/x-sentry-envelope"));
    }
    std::sort(requests.begin(), requests.end(), [](const ReceivedRequest& a, const ReceivedRequest& b) {
        return parseEnvelope(a.body).event.value(u"tags"_s).toObject().value(u"operation"_s).toString() <
               parseEnvelope(b.body).event.value(u"tags"_s).toObject().value(u"operation"_s).toString();
    });

    const Envelope envelope = parseEnvelope(requests.at(0).body);
    QCOMPARE(envelope.itemHeader.value(u"type"_s).toString(), u"event"_s);
    QCOMPARE(envelope.itemHeader.value(u"length"_s).toInteger(), envelope.payload.size());
    const QJsonObject& event = envelope.event;
    const QString eventID = event.value(u"event_id"_s).toString();
    QVERIFY2(eventIdPattern.match(eventID).hasMatch(), qPrintable(eventID));
    QCOMPARE(envelope.header.value(u"event_id"_s).toString(), eventID);
    QVERIFY(parseEnvelope(requests.at(1).body).event.value(u"event_id"_s).toString() != eventID);

    QCOMPARE(event.value(u"level"_s).toString(), u"error"_s);
    QCOMPARE(event.value(u"release"_s).toString(), u"com.vemo.porthive@1.2.3+45"_s);
    QCOMPARE(event.value(u"dist"_s).toString(), u"45"_s);
    QCOMPARE(event.value(u"environment"_s).toString(), u"test"_s);
    const QJsonArray exceptions = event.value(u"exception"_s).toObject().value(u"values"_s).toArray();
    QCOMPARE(exceptions.size(), 1);
    QCOMPARE(exceptions.at(0).toObject().value(u"type"_s).toString(), u"POSIXError"_s);
    QCOMPARE(exceptions.at(0).toObject().value(u"value"_s).toString(), SystemError(EACCES).description());
    QCOMPARE(event.value(u"tags"_s).toObject(),
             (QJsonObject{{u"operation"_s, u"server.force_terminate"_s}, {u"app"_s, u"porthive"_s}}));
    QCOMPARE(event.value(u"extra"_s).toObject(), (QJsonObject{{u"operation"_s, u"server.force_terminate"_s},
                                                              {u"runtime_kind"_s, u"vite"_s},
                                                              {u"http_status"_s, u"200"_s}}));
    QCOMPARE(event.value(u"user"_s).toObject(), (QJsonObject{{u"ip_address"_s, u""_s}}));
    for (const QString& absent : {u"threads"_s, u"stacktrace"_s, u"debug_meta"_s, u"breadcrumbs"_s, u"request"_s,
                                  u"server_name"_s, u"fingerprint"_s, u"message"_s}) {
        QVERIFY2(!event.contains(absent), qPrintable(absent));
    }
}

void TestSentryClient::capturedMessage()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);

    client->captureMessage(u"Server URL could not be opened"_s, TelemetryOperation::ServerOpen,
                           {{u"runtime_kind"_s, u"node"_s}, {u"active_connection_count"_s, u"2"_s}});
    QVERIFY(client->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 1);

    const QJsonObject event = parseEnvelope(receiver.requests().at(0).body).event;
    QCOMPARE(event.value(u"level"_s).toString(), u"warning"_s);
    QCOMPARE(event.value(u"message"_s).toObject(),
             (QJsonObject{{u"formatted"_s, u"Server URL could not be opened"_s}}));
    QCOMPARE(event.value(u"fingerprint"_s).toArray(), (QJsonArray{u"porthive"_s, u"server.open"_s}));
    QCOMPARE(event.value(u"tags"_s).toObject(),
             (QJsonObject{{u"app"_s, u"porthive"_s}, {u"operation"_s, u"server.open"_s}}));
    QCOMPARE(event.value(u"extra"_s).toObject(), (QJsonObject{{u"operation"_s, u"server.open"_s},
                                                              {u"runtime_kind"_s, u"node"_s},
                                                              {u"active_connection_count"_s, u"2"_s}}));
    QCOMPARE(event.value(u"release"_s).toString(), u"com.vemo.porthive@1.2.3+45"_s);
    QCOMPARE(event.value(u"environment"_s).toString(), u"test"_s);
    QVERIFY(!event.contains(u"exception"_s));
}

void TestSentryClient::clientEventKeepsStacksAndBreadcrumbs()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);

    // The smoke breadcrumb is kept and rides along with later events; the flush finds nothing to send.
    client->sendSmokeTest();
    QCOMPARE(receiver.requestCount(), 0);

    SentryEvent crash;
    crash.level = SentryLevel::Fatal;
    crash.tags = {{u"signal"_s, u"SIGSEGV"_s}};
    crash.message = SentryMessage{u"crashed near /Users/ada/app"_s, {}, {}};
    crash.threads = QJsonArray{QJsonObject{{u"id"_s, 1}, {u"crashed"_s, true}}};
    crash.stacktrace = QJsonObject{{u"frames"_s, QJsonArray{QJsonObject{{u"function"_s, u"main"_s}}}}};
    crash.debugMeta = QJsonObject{{u"images"_s, QJsonArray{QJsonObject{{u"type"_s, u"elf"_s}}}}};
    crash.request = QJsonObject{{u"url"_s, u"http://10.0.0.2/"_s}};
    crash.serverName = u"ada-laptop"_s;
    crash.user = SentryUser{u"501"_s, {}, {}, u"10.0.0.2"_s};
    client->sdk().capture(crash);
    // A report of this product's own loses the breadcrumbs again.
    client->captureMessage(u"Process action failed"_s, TelemetryOperation::ServerRestart, {});
    QVERIFY(client->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 2);

    QJsonObject crashEvent;
    QJsonObject ownEvent;
    for (const ReceivedRequest& request : receiver.requests()) {
        const QJsonObject event = parseEnvelope(request.body).event;
        (event.value(u"level"_s).toString() == u"fatal"_s ? crashEvent : ownEvent) = event;
    }
    QCOMPARE(crashEvent.value(u"threads"_s).toObject().value(u"values"_s).toArray(), crash.threads);
    QCOMPARE(crashEvent.value(u"stacktrace"_s).toObject(), crash.stacktrace);
    QCOMPARE(crashEvent.value(u"debug_meta"_s).toObject(), crash.debugMeta);
    const QJsonArray breadcrumbs = crashEvent.value(u"breadcrumbs"_s).toObject().value(u"values"_s).toArray();
    QCOMPARE(breadcrumbs.size(), 1);
    const QJsonObject smoke = breadcrumbs.at(0).toObject();
    QCOMPARE(smoke.value(u"level"_s).toString(), u"info"_s);
    QCOMPARE(smoke.value(u"category"_s).toString(), u"diagnostic"_s);
    QCOMPARE(smoke.value(u"message"_s).toString(), u"porthive.sentry.smoke"_s);
    QCOMPARE(smoke.value(u"data"_s).toObject(), (QJsonObject{{u"app"_s, u"porthive"_s},
                                                             {u"operation"_s, u"sentry.smoke"_s},
                                                             {u"release"_s, u"com.vemo.porthive@1.2.3+45"_s}}));
    // Still scrubbed: texts redacted, nothing that names the machine or the user.
    QCOMPARE(crashEvent.value(u"message"_s).toObject().value(u"formatted"_s).toString(), u"crashed near <path>"_s);
    QCOMPARE(crashEvent.value(u"user"_s).toObject(), (QJsonObject{{u"ip_address"_s, u""_s}}));
    QVERIFY(!crashEvent.contains(u"request"_s));
    QVERIFY(!crashEvent.contains(u"server_name"_s));
    QCOMPARE(crashEvent.value(u"release"_s).toString(), u"com.vemo.porthive@1.2.3+45"_s);

    QVERIFY(!ownEvent.isEmpty());
    QVERIFY(!ownEvent.contains(u"breadcrumbs"_s));
    QVERIFY(!ownEvent.contains(u"threads"_s));
}

void TestSentryClient::plantedSecretsNeverLeave_data()
{
    QTest::addColumn<QString>("surface");
    QTest::newRow("message") << u"message"_s;
    QTest::newRow("extra") << u"extra"_s;
    QTest::newRow("exception value") << u"exception"_s;
    QTest::newRow("tag of a client event") << u"tag"_s;
}

void TestSentryClient::plantedSecretsNeverLeave()
{
    QFETCH(QString, surface);
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);

    // Passed in unredacted on purpose: the last scrub before sending must still catch all three.
    const QString planted = u"api_key=s3cr3tvalue open http://127.0.0.1:5173/app cwd /Users/ada/project"_s;
    if (surface == u"message"_s) {
        client->captureMessage(planted, TelemetryOperation::ServerOpen, {});
    } else if (surface == u"extra"_s) {
        client->captureMessage(u"Server URL could not be opened"_s, TelemetryOperation::ServerOpen,
                               {{u"actual_status"_s, planted}});
    } else if (surface == u"exception"_s) {
        client->captureError(DescribedError(planted), TelemetryOperation::DetectorRefresh, {});
    } else {
        SentryEvent event;
        event.tags = {{u"detail"_s, planted}};
        client->sdk().capture(event);
    }
    QVERIFY(client->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 1);

    const QByteArray body = receiver.requests().at(0).body;
    for (const char* secret : {"s3cr3tvalue", "127.0.0.1:5173", "/Users/ada", "http://"})
        QVERIFY2(!body.contains(secret), secret);
    QVERIFY(body.contains("api_key=<redacted> open <url> cwd <path>"));
}

void TestSentryClient::processActionFailureThroughSharedClient()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    SentryTelemetryClient::bootstrap(BundleInfo({{u"PorthiveSentryDSN"_s, configurationFor(receiver).dsn},
                                                 {u"CFBundleShortVersionString"_s, u"1.2.3"_s},
                                                 {u"CFBundleVersion"_s, u"45"_s}}));
    auto* client = dynamic_cast<SentryTelemetryClient*>(&sharedTelemetryClient());
    QVERIFY(client);

    const ServerLogSession session{QUuid::createUuid(), u"/srv/app"_s, QUrl(u"file:///srv/x.log"_s), {}};
    reportProcessActionFailure(ActionError::launchFailed(7, u"npm ERR! missing script: dev"_s, session),
                               TelemetryOperation::ProjectStart);
    QVERIFY(client->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 1);

    const QByteArray body = receiver.requests().at(0).body;
    QVERIFY(!body.contains("missing script"));
    const QJsonObject event = parseEnvelope(body).event;
    QCOMPARE(event.value(u"message"_s).toObject().value(u"formatted"_s).toString(), u"Process action failed"_s);
    QCOMPARE(event.value(u"extra"_s).toObject(), (QJsonObject{{u"operation"_s, u"project.start"_s},
                                                              {u"failure_category"_s, u"launch_failed"_s},
                                                              {u"exit_code"_s, u"7"_s}}));
    QCOMPARE(event.value(u"fingerprint"_s).toArray(), (QJsonArray{u"porthive"_s, u"project.start"_s}));
    QCOMPARE(event.value(u"release"_s).toString(), u"com.vemo.porthive@1.2.3+45"_s);
    QCOMPARE(event.value(u"environment"_s).toString(), u"development"_s);
}

void TestSentryClient::flushTimesOutWhenUnanswered()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);

    client->captureMessage(u"Server URL could not be opened"_s, TelemetryOperation::ServerOpen, {});
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), 1, 30000);
    // The receiver has the event but never answers: the flush gives up at its time-out.
    QVERIFY(!client->sdk().flush(std::chrono::milliseconds(200)));
    // Destroying the client with the request still open stops its thread cleanly.
}

void TestSentryClient::flushWithNothingQueued()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    const auto client = clientFor(receiver);
    QVERIFY(client);
    QVERIFY(client->sdk().flush(std::chrono::milliseconds(0)));
}

void TestSentryClient::disabledClientSendsNothing()
{
    HttpReceiver receiver;
    QVERIFY(receiver.isListening());
    const QString address = u"127.0.0.1:"_s + QString::number(receiver.port());

    // Both point at the receiver, neither can be used: one has no key, the other is not http.
    const QStringList unusable{u"http://"_s + address + u"/42"_s, u"ftp://public123@"_s + address + u"/42"_s};
    for (const QString& dsn : unusable) {
        SentryTelemetryClient::bootstrap(BundleInfo({{u"PorthiveSentryDSN"_s, dsn}}));
        TelemetryClient& shared = sharedTelemetryClient();
        QVERIFY(dynamic_cast<DisabledTelemetryClient*>(&shared));
        shared.sendSmokeTest();
        shared.captureMessage(u"Server URL could not be opened"_s, TelemetryOperation::ServerOpen, {});
        shared.captureError(SystemError(EPERM), TelemetryOperation::ServerPause, {});
        reportProcessActionFailure(ActionError::missingProjectPath(), TelemetryOperation::ServerRestart);
    }

    // An enabled client's report arrives alone.
    const auto enabled = clientFor(receiver);
    QVERIFY(enabled);
    enabled->captureMessage(u"marker"_s, TelemetryOperation::ProjectReveal, {});
    QVERIFY(enabled->sdk().flush(generousFlush));
    QCOMPARE(receiver.requestCount(), 1);
    QCOMPARE(parseEnvelope(receiver.requests().at(0).body).event.value(u"message"_s).toObject().value(u"formatted"_s),
             QJsonValue(u"marker"_s));
}

void TestSentryClient::quitsWithReportStillOpen()
{
    HttpReceiver receiver(HttpReceiver::Mode::Hold);
    QVERIFY(receiver.isListening());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PORTHIVE_SENTRY_CHILD_DSN"_s, configurationFor(receiver).dsn);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted(60000));
    // The receiver never answers, so the request is still open when the child quits.
    QTRY_COMPARE_WITH_TIMEOUT(receiver.requestCount(), 1, 30000);
    child.write("quit\n");
    child.closeWriteChannel();
    QVERIFY(child.waitForFinished(60000));
    const QByteArray errors = child.readAllStandardError();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, errors.constData());
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(errors.isEmpty(), errors.constData());
    QTRY_COMPARE_WITH_TIMEOUT(receiver.droppedConnections(), 1, 30000);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("PORTHIVE_SENTRY_CHILD_DSN"))
        return reportAndQuit(qEnvironmentVariable("PORTHIVE_SENTRY_CHILD_DSN"));
    TestSentryClient tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_sentryclient.moc"
