#pragma once

#include "platform/updates/appcast.h"
#include "platform/updates/softwareupdater.h"

#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class BundleInfo;
class Workspace;

// What a check found.
struct UpdateCheckResult
{
    enum class Kind
    {
        NotConfigured,
        UpToDate,
        UpdateAvailable,
        Failed
    };

    Kind kind = Kind::NotConfigured;
    // The version found (UpdateAvailable) or running (UpToDate).
    QString version;
    // Where the new version can be had; empty when the feed gives no https address.
    QUrl downloadURL;
    // Why the check failed.
    QString failure;

    friend bool operator==(const UpdateCheckResult&, const UpdateCheckResult&) = default;

    QString title() const;
    QString detail() const;
};

// Shows the outcome of a check.
class UpdateResultPresenting
{
public:
    virtual ~UpdateResultPresenting() = default;
    virtual void present(const UpdateCheckResult& result) = 0;
};

// A small window of its own with the outcome, and a button that opens the download address.
class UpdateResultWindow final : public UpdateResultPresenting
{
public:
    explicit UpdateResultWindow(Workspace& workspace);
    ~UpdateResultWindow() override;

    void present(const UpdateCheckResult& result) override;
    // The window on screen, if any.
    QMessageBox* window() const { return m_window; }

private:
    Workspace& m_workspace;
    QPointer<QMessageBox> m_window;
};

struct AppcastUpdaterConfiguration
{
    // The feed; none when the build configures none.
    std::optional<QUrl> feedURL;
    Appcast::BuildVersion build;
    QString operatingSystem = Appcast::currentOperatingSystem();

    // "PorthiveAppcastURL" when it is an https address, and the bundle's versions.
    static AppcastUpdaterConfiguration fromBundle(const BundleInfo& bundle);
};

// Checks an appcast feed when asked; never on its own.
class AppcastUpdater final : public SoftwareUpdater
{
    Q_OBJECT

public:
    AppcastUpdater(AppcastUpdaterConfiguration configuration, std::unique_ptr<UpdateResultPresenting> presenter,
                   AppcastFetcher fetcher = AppcastFetcher(), QObject* parent = nullptr);
    ~AppcastUpdater() override;

    bool canCheckForUpdates() const override { return m_canCheck; }
    void startUpdater() override;
    void checkForUpdates() override;

    // The outcome of the feed for this build; never throws.
    static QCoro::Task<UpdateCheckResult> check(QNetworkAccessManager* network, AppcastFetcher fetcher,
                                                AppcastUpdaterConfiguration configuration);

private:
    QCoro::Task<> runCheck();
    void setCanCheck(bool canCheck);

    AppcastUpdaterConfiguration m_configuration;
    std::unique_ptr<UpdateResultPresenting> m_presenter;
    AppcastFetcher m_fetcher;
    QNetworkAccessManager* m_network = nullptr;
    bool m_canCheck = true;
};
