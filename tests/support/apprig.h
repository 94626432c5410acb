#pragma once

#include "app/porthiveapp.h"
#include "app/porthivesettings.h"
#include "app/softwareupdatecontroller.h"
#include "platform/updates/softwareupdater.h"
#include "support/fakeloginitemservice.h"
#include "support/storerig.h"

#include <QTemporaryDir>

#include <functional>

// The application's pieces over fakes: a store on a held FakeDetector, settings on a FakeLoginItemService and
// memory defaults, an update controller whose updater does nothing. `log` hears each step by name.
struct AppRig
{
    class IdleUpdater final : public SoftwareUpdater
    {
    public:
        bool canCheckForUpdates() const override { return true; }
        void startUpdater() override {}
        void checkForUpdates() override {}
    };

    AppRig()
        : store(logs.path())
    {
        store.detector->hold = true;
    }

    PorthiveApp::Environment environment()
    {
        PorthiveApp::Environment environment;
        environment.bootstrapTelemetry = [this] {
            log(QStringLiteral("bootstrap"));
        };
        environment.enableLaunchAtLoginByDefault = [this]() -> QCoro::Task<> {
            log(QStringLiteral("launch at login default"));
            return PorthiveSettings::enableLaunchAtLoginByDefaultIfNeeded(defaults, loginItems);
        };
        environment.makeSettings = [this] {
            log(QStringLiteral("settings"));
            PorthiveSettings::Services services;
            services.defaults = defaults;
            services.loginItems = loginItems;
            services.workspace = &workspace;
            return std::make_unique<PorthiveSettings>(std::move(services));
        };
        environment.makeAnalytics = [this]() -> std::unique_ptr<AnalyticsCapturing> {
            log(QStringLiteral("analytics"));
            return makeAnalytics();
        };
        environment.makeStore = [this](AnalyticsCapturing& analytics) {
            log(QStringLiteral("store"));
            ServerStore::Services services = store.services();
            services.analytics = &analytics;
            return std::make_unique<ServerStore>(services);
        };
        environment.makeSoftwareUpdateController = [this] {
            log(QStringLiteral("update controller"));
            return std::make_unique<SoftwareUpdateController>([] { return std::make_unique<IdleUpdater>(); });
        };
        return environment;
    }

    std::function<void(const QString&)> log = [](const QString&) {
    };
    std::function<std::unique_ptr<AnalyticsCapturing>()> makeAnalytics = [] {
        return std::make_unique<RecordingAnalyticsClient>();
    };
    QTemporaryDir logs;
    StoreRig store;
    std::shared_ptr<FakeLoginItemService> loginItems = std::make_shared<FakeLoginItemService>();
    std::shared_ptr<RecordingUserDefaults> defaults = std::make_shared<RecordingUserDefaults>();
    RecordingWorkspace workspace;
};
