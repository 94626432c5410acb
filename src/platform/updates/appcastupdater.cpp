#include "platform/updates/appcastupdater.h"

#include "platform/desktop/workspace.h"
#include "platform/updates/bundleinfo.h"

#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>

using namespace Qt::StringLiterals;

QString UpdateCheckResult::title() const
{
    switch (kind) {
    case Kind::NotConfigured:
        return u"Update checks are not configured in this build."_s;
    case Kind::UpToDate:
        return u"Porthive is up to date."_s;
    case Kind::UpdateAvailable:
        return u"Version %1 is available."_s.arg(version);
    case Kind::Failed:
        return u"Could not check for updates."_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString UpdateCheckResult::detail() const
{
    switch (kind) {
    case Kind::NotConfigured:
        return {};
    case Kind::UpToDate:
        return version.isEmpty() ? QString() : u"Version %1 is the newest version."_s.arg(version);
    case Kind::UpdateAvailable:
        return downloadURL.isEmpty() ? u"The update feed gives no secure download address."_s : QString();
    case Kind::Failed:
        return failure;
    }
    Q_UNREACHABLE();
    return {};
}

UpdateResultWindow::UpdateResultWindow(Workspace& workspace)
    : m_workspace(workspace)
{}

UpdateResultWindow::~UpdateResultWindow()
{
    delete m_window;
}

void UpdateResultWindow::present(const UpdateCheckResult& result)
{
    delete m_window;
    auto* box = new QMessageBox;
    m_window = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(u"Porthive"_s);
    box->setTextFormat(Qt::PlainText);
    box->setText(result.title());
    box->setInformativeText(result.detail());
    box->setIcon(result.kind == UpdateCheckResult::Kind::Failed ? QMessageBox::Warning : QMessageBox::Information);
    if (result.kind == UpdateCheckResult::Kind::UpdateAvailable && !result.downloadURL.isEmpty()) {
        QPushButton* download = box->addButton(u"Download"_s, QMessageBox::AcceptRole);
        const QUrl url = result.downloadURL;
        Workspace* workspace = &m_workspace;
        QObject::connect(download, &QPushButton::clicked, box, [workspace, url] { workspace->openURL(url); });
    }
    box->addButton(QMessageBox::Close);
    box->show();
    box->raise();
    box->activateWindow();
}

AppcastUpdaterConfiguration AppcastUpdaterConfiguration::fromBundle(const BundleInfo& bundle)
{
    AppcastUpdaterConfiguration configuration;
    const QUrl feed(bundle.value(u"PorthiveAppcastURL"_s).value_or(QString()).trimmed());
    // Only a feed that cannot be altered on the way is worth asking.
    if (feed.isValid() && feed.scheme() == u"https"_s && !feed.host().isEmpty())
        configuration.feedURL = feed;
    configuration.build = {bundle.value(u"CFBundleVersion"_s).value_or(QString()),
                           bundle.value(u"CFBundleShortVersionString"_s).value_or(QString())};
    return configuration;
}

AppcastUpdater::AppcastUpdater(AppcastUpdaterConfiguration configuration,
                               std::unique_ptr<UpdateResultPresenting> presenter, AppcastFetcher fetcher,
                               QObject* parent)
    : SoftwareUpdater(parent)
    , m_configuration(std::move(configuration))
    , m_presenter(std::move(presenter))
    , m_fetcher(fetcher)
{}

AppcastUpdater::~AppcastUpdater() = default;

void AppcastUpdater::startUpdater()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
}

void AppcastUpdater::setCanCheck(bool canCheck)
{
    if (m_canCheck == canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void AppcastUpdater::checkForUpdates()
{
    if (!m_canCheck)
        return;
    startUpdater();
    runCheck();
}

QCoro::Task<> AppcastUpdater::runCheck()
{
    setCanCheck(false);
    QPointer<AppcastUpdater> self(this);
    auto check = AppcastUpdater::check(m_network, m_fetcher, m_configuration);
    const UpdateCheckResult result = co_await check;
    if (!self)
        co_return;
    setCanCheck(true);
    m_presenter->present(result);
}

QCoro::Task<UpdateCheckResult> AppcastUpdater::check(QNetworkAccessManager* network, AppcastFetcher fetcher,
                                                     AppcastUpdaterConfiguration configuration)
{
    if (!configuration.feedURL)
        co_return UpdateCheckResult{};
    QByteArray feed;
    try {
        auto fetch = fetcher.fetch(network, *configuration.feedURL);
        feed = co_await fetch;
        const QList<Appcast::Item> items = Appcast::parseFeed(feed);
        const std::optional<Appcast::Item> update =
            Appcast::newestUpdate(items, configuration.build, configuration.operatingSystem);
        if (!update) {
            co_return UpdateCheckResult{UpdateCheckResult::Kind::UpToDate, configuration.build.shortVersion, {}, {}};
        }
        co_return UpdateCheckResult{
            UpdateCheckResult::Kind::UpdateAvailable, update->displayVersion(), update->downloadURL(), {}};
    } catch (const AppError& error) {
        co_return UpdateCheckResult{UpdateCheckResult::Kind::Failed, {}, {}, error.description()};
    }
}
