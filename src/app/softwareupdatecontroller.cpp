#include "app/softwareupdatecontroller.h"

#include "platform/updates/appcastupdater.h"
#include "platform/updates/bundleinfo.h"
#include "platform/updates/softwareupdater.h"

SoftwareUpdateController::SoftwareUpdateController(UpdaterFactory makeUpdater, QObject* parent)
    : QObject(parent)
    , m_makeUpdater(std::move(makeUpdater))
{}

SoftwareUpdateController::~SoftwareUpdateController() = default;

SoftwareUpdateController::UpdaterFactory SoftwareUpdateController::standardUpdater(Workspace& workspace)
{
    return [&workspace]() -> std::unique_ptr<SoftwareUpdater> {
        return std::make_unique<AppcastUpdater>(AppcastUpdaterConfiguration::fromBundle(BundleInfo::main()),
                                                std::make_unique<UpdateResultWindow>(workspace));
    };
}

SoftwareUpdater& SoftwareUpdateController::startUpdaterIfNeeded()
{
    if (m_updater)
        return *m_updater;
    m_updater = m_makeUpdater();
    m_updater->startUpdater();
    setCanCheckForUpdates(m_updater->canCheckForUpdates());
    // The connection ends with this object, which owns the updater.
    connect(m_updater.get(), &SoftwareUpdater::canCheckForUpdatesChanged, this,
            &SoftwareUpdateController::setCanCheckForUpdates);
    return *m_updater;
}

void SoftwareUpdateController::checkForUpdates()
{
    startUpdaterIfNeeded().checkForUpdates();
}

void SoftwareUpdateController::setCanCheckForUpdates(bool canCheck)
{
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged();
}
