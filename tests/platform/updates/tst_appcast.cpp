#include "platform/updates/appcastupdater.h"
#include "platform/updates/bundleinfo.h"
#include "support/awaittask.h"
#include "support/recordingworkspace.h"
#include "support/testhome.h"

#include <QAbstractHttpServer>
#include <QApplication>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Kind = UpdateCheckResult::Kind;

Q_DECLARE_METATYPE(Appcast::Item)

namespace {

// An appcast feed on 127.0.0.1: each path answers as the test says; a held path never answers.
class FeedServer final : public QAbstractHttpServer
{
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray location;
        bool hold = false;
    };

    FeedServer() { m_port = listen(QHostAddress::LocalHost, 0); }

    quint16 port() const { return m_port; }
    QUrl url(const QString& path) const { return QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_port).arg(path)); }
    void answer(const QString& path, Answer answer) { m_answers.insert(path, std::move(answer)); }
    int requestCount() const { return m_requests; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        ++m_requests;
        const Answer answer = m_answers.value(request.url().path(), Answer{404, "not here", {}, false});
        if (answer.hold)
            return true;
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.writeStatusLine(QHttpServerResponder::StatusCode(answer.status));
        responder.writeHeader("Content-Type", "application/rss+xml");
        responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
        if (!answer.location.isEmpty())
            responder.writeHeader("Location", answer.location);
        responder.writeBody(answer.body);
        return true;
    }

    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

private:
    quint16 m_port = 0;
    QHash<QString, Answer> m_answers;
    int m_requests = 0;
};

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
           "<channel><title>Porthive</title>\n" +
           items + "</channel></rss>\n";
}

QByteArray item(const QByteArray& version, const QByteArray& shortVersion, const QByteArray& os = {},
                const QByteArray& link = "https://porthive.test/download")
{
    QByteArray text = "<item><title>Porthive " + shortVersion + "</title>";
    if (!version.isEmpty())
        text += "<sparkle:version>" + version + "</sparkle:version>";
    if (!shortVersion.isEmpty())
        text += "<sparkle:shortVersionString>" + shortVersion + "</sparkle:shortVersionString>";
    text += "<link>" + link + "</link>";
    text += "<enclosure url=\"https://porthive.test/porthive-" + shortVersion + ".tar.gz\" length=\"1\"";
    if (!os.isEmpty())
        text += " sparkle:os=\"" + os + "\"";
    text += " type=\"application/octet-stream\"/></item>\n";
    return text;
}

class RecordingPresenter final : public UpdateResultPresenting
{
public:
    explicit RecordingPresenter(QList<UpdateCheckResult>& results)
        : m_results(results)
    {}
    void present(const UpdateCheckResult& result) override { m_results.append(result); }

private:
    QList<UpdateCheckResult>& m_results;
};

} // namespace

namespace QTest {
template<>
char* toString(const UpdateCheckResult& result)
{
    return qstrdup(qPrintable(u"%1 | %2 | %3"_s.arg(result.title(), result.detail(), result.downloadURL.toString())));
}
} // namespace QTest

class TestAppcast : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void versionOrder_data();
    void versionOrder();
    void readingItems();
    void unreadableFeeds_data();
    void unreadableFeeds();
    void newestUpdate_data();
    void newestUpdate();
    void downloadAddressIsHttpsOnly();

    void fetchFailures_data();
    void fetchFailures();
    void fetchGivesUpAfterItsTimeLimit();

    void checks_data();
    void checks();
    void noFeedConfigured();
    void cannotCheckWhileACheckRuns();
    void configurationFromTheBundle_data();
    void configurationFromTheBundle();
    void resultWindowOffersTheDownload();
    void resultWindowTexts_data();
    void resultWindowTexts();

private:
    std::unique_ptr<AppcastUpdater> makeUpdater(std::optional<QUrl> feedURL, AppcastFetcher fetcher = AppcastFetcher());

    std::unique_ptr<FeedServer> m_server;
    QList<UpdateCheckResult> m_results;
};

void TestAppcast::init()
{
    m_server = std::make_unique<FeedServer>();
    QVERIFY(m_server->port() != 0);
    m_results.clear();
}

std::unique_ptr<AppcastUpdater> TestAppcast::makeUpdater(std::optional<QUrl> feedURL, AppcastFetcher fetcher)
{
    AppcastUpdaterConfiguration configuration;
    configuration.feedURL = std::move(feedURL);
    configuration.build = {u"12"_s, u"1.4.0"_s};
    configuration.operatingSystem = u"linux"_s;
    return std::make_unique<AppcastUpdater>(configuration, std::make_unique<RecordingPresenter>(m_results), fetcher);
}

void TestAppcast::versionOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("order");
    QTest::newRow("digit runs by value") << u"1.10"_s << u"1.9"_s << 1;
    QTest::newRow("release after beta") << u"1.0"_s << u"1.0b1"_s << 1;
    QTest::newRow("betas by number") << u"1.0b2"_s << u"1.0b10"_s << -1;
    QTest::newRow("release candidate after beta") << u"1.0rc1"_s << u"1.0b5"_s << 1;
    QTest::newRow("more parts") << u"1.0.1"_s << u"1.0"_s << 1;
    QTest::newRow("equal") << u"2.3.4"_s << u"2.3.4"_s << 0;
    QTest::newRow("leading zeros") << u"1.05"_s << u"1.5"_s << 0;
    QTest::newRow("longer than 64 bits") << u"100000000000000000000"_s << u"99999999999999999999"_s << 1;
    QTest::newRow("build numbers") << u"12"_s << u"9"_s << 1;
    QTest::newRow("number after separator") << u"1.0.1"_s << u"1..1"_s << 1;
    QTest::newRow("empty") << QString() << u"1"_s << -1;
}

void TestAppcast::versionOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, order);
    QCOMPARE(Appcast::compareVersions(a, b), order);
    QCOMPARE(Appcast::compareVersions(b, a), -order);
}

void TestAppcast::readingItems()
{
    const QByteArray bytes = feed(
        item("13", "1.5.0", "linux") +
        // Versions given on the enclosure, as older feeds do; a namespace prefix of the feed's own choosing.
        "<item xmlns:sp=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><link>https://porthive.test/</link>"
        "<enclosure url=\"https://porthive.test/a.dmg\" sp:version=\"11\" sp:shortVersionString=\"1.3\" "
        "sp:os=\"macos\"/></item>"
        "<item><title>no versions</title></item>");
    const QList<Appcast::Item> items = Appcast::parseFeed(bytes);
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(0),
             (Appcast::Item{u"13"_s, u"1.5.0"_s, u"linux"_s, QUrl(u"https://porthive.test/porthive-1.5.0.tar.gz"_s),
                            QUrl(u"https://porthive.test/download"_s)}));
    QCOMPARE(items.at(1), (Appcast::Item{u"11"_s, u"1.3"_s, u"macos"_s, QUrl(u"https://porthive.test/a.dmg"_s),
                                         QUrl(u"https://porthive.test/"_s)}));
    QCOMPARE(items.at(2), Appcast::Item{});
}

void TestAppcast::unreadableFeeds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("html") << QByteArray("<!DOCTYPE html><html><body>Not found</body></html>");
    QTest::newRow("json") << QByteArray("{\"version\": \"2.0\"}");
    QTest::newRow("cut short") << feed(item("13", "1.5.0")).left(150);
    QTest::newRow("undeclared prefix") << QByteArray("<rss><channel><item><sparkle:version>2</sparkle:version>"
                                                     "</item></channel></rss>");
}

void TestAppcast::unreadableFeeds()
{
    QFETCH(QByteArray, bytes);
    try {
        Appcast::parseFeed(bytes);
        QFAIL("the feed was read");
    } catch (const AppcastError& error) {
        QCOMPARE(error.kind(), AppcastError::Kind::Unreadable);
    }
}

void TestAppcast::newestUpdate_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QString>("version");
    QTest::newRow("newer") << item("13", "1.5.0") << u"1.5.0"_s;
    QTest::newRow("same") << item("12", "1.4.0") << QString();
    QTest::newRow("older") << item("11", "1.3.9") << QString();
    QTest::newRow("for another system") << item("13", "1.5.0", "macos") << QString();
    QTest::newRow("for this system") << item("13", "1.5.0", "Linux") << u"1.5.0"_s;
    QTest::newRow("newest of several") << item("13", "1.5.0") + item("20", "2.0.0") + item("14", "1.6.0") << u"2.0.0"_s;
    QTest::newRow("newest for this system")
        << item("20", "2.0.0", "macos") + item("14", "1.6.0", "linux") << u"1.6.0"_s;
    QTest::newRow("short version only") << item("", "1.10.0") << u"1.10.0"_s;
    QTest::newRow("short version only, same") << item("", "1.4.0") << QString();
    QTest::newRow("build number only") << item("13", "") << u"13"_s;
    QTest::newRow("no versions") << QByteArray("<item><link>https://porthive.test/</link></item>") << QString();
}

void TestAppcast::newestUpdate()
{
    QFETCH(QByteArray, items);
    QFETCH(QString, version);
    const std::optional<Appcast::Item> update =
        Appcast::newestUpdate(Appcast::parseFeed(feed(items)), {u"12"_s, u"1.4.0"_s}, u"linux"_s);
    QCOMPARE(update ? update->displayVersion() : QString(), version);
}

void TestAppcast::downloadAddressIsHttpsOnly()
{
    Appcast::Item update;
    update.enclosureURL = QUrl(u"http://porthive.test/a.tar.gz"_s);
    update.link = QUrl(u"https://porthive.test/download"_s);
    QCOMPARE(update.downloadURL(), update.link);
    update.enclosureURL = QUrl(u"https://porthive.test/a.tar.gz"_s);
    QCOMPARE(update.downloadURL(), update.enclosureURL);
    update.enclosureURL = QUrl(u"javascript:alert(1)"_s);
    update.link = QUrl(u"file:///etc/passwd"_s);
    QCOMPARE(update.downloadURL(), QUrl());
}

void TestAppcast::fetchFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<AppcastError::Kind>("kind");
    QTest::addColumn<QString>("description");
    QTest::newRow("not found") << 404 << QByteArray("missing") << QByteArray() << AppcastError::Kind::HttpStatus
                               << u"The update feed answered with HTTP status 404."_s;
    QTest::newRow("server error") << 500 << QByteArray("oops") << QByteArray() << AppcastError::Kind::HttpStatus
                                  << u"The update feed answered with HTTP status 500."_s;
    QTest::newRow("redirect to plain http")
        << 302 << QByteArray() << QByteArray("http://127.0.0.1:9/feed.xml") << AppcastError::Kind::InsecureRedirect
        << u"The update feed redirected to an address that is not HTTPS."_s;
    QTest::newRow("too large") << 200 << QByteArray(5000, 'x') << QByteArray() << AppcastError::Kind::TooLarge
                               << u"The update feed is too large."_s;
}

void TestAppcast::fetchFailures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, location);
    QFETCH(AppcastError::Kind, kind);
    QFETCH(QString, description);
    m_server->answer(u"/feed.xml"_s, {status, body, location, false});
    QNetworkAccessManager network;
    const AppcastFetcher fetcher(30s, 1000);
    const TaskOutcome<QByteArray> outcome = waitForOutcome(fetcher.fetch(&network, m_server->url(u"/feed.xml"_s)));
    const std::optional<AppcastError> error = outcome.errorAs<AppcastError>();
    QVERIFY(error.has_value());
    QCOMPARE(error->kind(), kind);
    QCOMPARE(error->description(), description);

    // A feed within the limit comes back whole.
    m_server->answer(u"/small.xml"_s, {200, QByteArray(1000, 'y'), {}, false});
    QCOMPARE(awaitTask(fetcher.fetch(&network, m_server->url(u"/small.xml"_s))), QByteArray(1000, 'y'));
}

void TestAppcast::fetchGivesUpAfterItsTimeLimit()
{
    m_server->answer(u"/feed.xml"_s, {200, {}, {}, true});
    QNetworkAccessManager network;
    const AppcastFetcher fetcher(300ms);
    const TaskOutcome<QByteArray> outcome = waitForOutcome(fetcher.fetch(&network, m_server->url(u"/feed.xml"_s)));
    QCOMPARE(outcome.errorAs<AppcastError>()->kind(), AppcastError::Kind::TimedOut);

    // Nothing listening.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const QUrl nowhere(u"http://127.0.0.1:%1/feed.xml"_s.arg(closed.serverPort()));
    closed.close();
    const TaskOutcome<QByteArray> refused = waitForOutcome(fetcher.fetch(&network, nowhere));
    QCOMPARE(refused.errorAs<AppcastError>()->kind(), AppcastError::Kind::Unreachable);
}

void TestAppcast::checks_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<UpdateCheckResult>("result");
    QTest::newRow("newer") << 200 << feed(item("11", "1.3.0") + item("13", "1.5.0"))
                           << UpdateCheckResult{Kind::UpdateAvailable,
                                                u"1.5.0"_s,
                                                QUrl(u"https://porthive.test/porthive-1.5.0.tar.gz"_s),
                                                {}};
    QTest::newRow("same") << 200 << feed(item("12", "1.4.0")) << UpdateCheckResult{Kind::UpToDate, u"1.4.0"_s, {}, {}};
    QTest::newRow("other system") << 200 << feed(item("13", "1.5.0", "macos"))
                                  << UpdateCheckResult{Kind::UpToDate, u"1.4.0"_s, {}, {}};
    QTest::newRow("empty feed") << 200 << feed({}) << UpdateCheckResult{Kind::UpToDate, u"1.4.0"_s, {}, {}};
    QTest::newRow("404") << 404 << QByteArray("missing")
                         << UpdateCheckResult{
                                Kind::Failed, {}, {}, u"The update feed answered with HTTP status 404."_s};
    QTest::newRow("not XML") << 200 << QByteArray("<html><body>maintenance</body></html>")
                             << UpdateCheckResult{Kind::Failed, {}, {}, u"The update feed could not be read."_s};
}

void TestAppcast::checks()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(UpdateCheckResult, result);
    m_server->answer(u"/appcast.xml"_s, {status, body, {}, false});
    const std::unique_ptr<AppcastUpdater> updater = makeUpdater(m_server->url(u"/appcast.xml"_s));
    updater->startUpdater();
    updater->checkForUpdates();
    QTRY_COMPARE(m_results.size(), 1);
    QCOMPARE(m_results.constFirst(), result);
    QVERIFY(updater->canCheckForUpdates());
}

void TestAppcast::noFeedConfigured()
{
    const std::unique_ptr<AppcastUpdater> updater = makeUpdater(std::nullopt);
    updater->startUpdater();
    updater->checkForUpdates();
    QTRY_COMPARE(m_results.size(), 1);
    QCOMPARE(m_results.constFirst().kind, Kind::NotConfigured);
    QCOMPARE(m_results.constFirst().title(), u"Update checks are not configured in this build."_s);
    QCOMPARE(m_server->requestCount(), 0);
}

void TestAppcast::cannotCheckWhileACheckRuns()
{
    m_server->answer(u"/appcast.xml"_s, {200, {}, {}, true});
    const std::unique_ptr<AppcastUpdater> updater = makeUpdater(m_server->url(u"/appcast.xml"_s), AppcastFetcher(1s));
    QSignalSpy flags(updater.get(), &SoftwareUpdater::canCheckForUpdatesChanged);
    QVERIFY(flags.isValid());
    updater->startUpdater();
    updater->checkForUpdates();
    QCOMPARE(updater->canCheckForUpdates(), false);
    QCOMPARE(flags.count(), 1);
    // A second press while the first check runs starts nothing.
    updater->checkForUpdates();
    QTRY_COMPARE(m_results.size(), 1);
    QCOMPARE(m_results.constFirst().failure, u"The update feed did not answer in time."_s);
    QCOMPARE(updater->canCheckForUpdates(), true);
    QCOMPARE(flags.count(), 2);
    QCOMPARE(m_server->requestCount(), 1);
}

void TestAppcast::configurationFromTheBundle_data()
{
    QTest::addColumn<std::optional<QString>>("configured");
    QTest::addColumn<std::optional<QUrl>>("feed");
    QTest::newRow("absent") << std::optional<QString>() << std::optional<QUrl>();
    QTest::newRow("empty") << std::optional<QString>(QString()) << std::optional<QUrl>();
    QTest::newRow("https") << std::optional<QString>(u" https://porthive.test/appcast.xml "_s)
                           << std::optional<QUrl>(QUrl(u"https://porthive.test/appcast.xml"_s));
    QTest::newRow("plain http") << std::optional<QString>(u"http://porthive.test/appcast.xml"_s)
                                << std::optional<QUrl>();
    QTest::newRow("not an address") << std::optional<QString>(u"$(APPCAST_URL)"_s) << std::optional<QUrl>();
}

void TestAppcast::configurationFromTheBundle()
{
    QFETCH(std::optional<QString>, configured);
    QFETCH(std::optional<QUrl>, feed);
    BundleInfo::Values values{{u"CFBundleVersion"_s, u"7"_s}, {u"CFBundleShortVersionString"_s, u"0.3.0"_s}};
    if (configured)
        values.insert(u"PorthiveAppcastURL"_s, *configured);
    const AppcastUpdaterConfiguration configuration = AppcastUpdaterConfiguration::fromBundle(BundleInfo(values));
    QCOMPARE(configuration.feedURL, feed);
    QCOMPARE(configuration.build, (Appcast::BuildVersion{u"7"_s, u"0.3.0"_s}));
    QCOMPARE(configuration.operatingSystem, u"linux"_s);
}

void TestAppcast::resultWindowOffersTheDownload()
{
    RecordingWorkspace workspace;
    UpdateResultWindow window(workspace);
    window.present({Kind::UpdateAvailable, u"1.5.0"_s, QUrl(u"https://porthive.test/download"_s), {}});
    QMessageBox* box = window.window();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), u"Version 1.5.0 is available."_s);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QPushButton* download = nullptr;
    const QList<QAbstractButton*> buttons = box->buttons();
    for (QAbstractButton* button : buttons) {
        if (button->text() == u"Download"_s)
            download = qobject_cast<QPushButton*>(button);
    }
    QVERIFY(download);
    download->click();
    QCOMPARE(workspace.openedURLs, QList<QUrl>{QUrl(u"https://porthive.test/download"_s)});

    // A newer result replaces the window.
    window.present({Kind::UpToDate, u"1.5.0"_s, {}, {}});
    QTRY_VERIFY(window.window() && window.window()->isVisible());
    QCOMPARE(window.window()->text(), u"Porthive is up to date."_s);
    QCOMPARE(window.window()->buttons().size(), 1);
}

void TestAppcast::resultWindowTexts_data()
{
    QTest::addColumn<UpdateCheckResult>("result");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("detail");
    QTest::newRow("not configured") << UpdateCheckResult{} << u"Update checks are not configured in this build."_s
                                    << QString();
    QTest::newRow("up to date") << UpdateCheckResult{Kind::UpToDate, u"1.4.0"_s, {}, {}} << u"Porthive is up to date."_s
                                << u"Version 1.4.0 is the newest version."_s;
    QTest::newRow("available without an https address")
        << UpdateCheckResult{Kind::UpdateAvailable, u"2.0"_s, {}, {}} << u"Version 2.0 is available."_s
        << u"The update feed gives no secure download address."_s;
    QTest::newRow("failed") << UpdateCheckResult{Kind::Failed, {}, {}, u"The update feed could not be read."_s}
                            << u"Could not check for updates."_s << u"The update feed could not be read."_s;
}

void TestAppcast::resultWindowTexts()
{
    QFETCH(UpdateCheckResult, result);
    QFETCH(QString, title);
    QFETCH(QString, detail);
    QCOMPARE(result.title(), title);
    QCOMPARE(result.detail(), detail);
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QApplication app(argc, argv);
    TestAppcast test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appcast.moc"
