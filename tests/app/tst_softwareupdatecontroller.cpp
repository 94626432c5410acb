#include "app/softwareupdatecontroller.h"
#include "platform/updates/softwareupdater.h"
#include "support/testhome.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct UpdaterLog
{
    int made = 0;
    int started = 0;
    int checks = 0;
};

class FakeUpdater final : public SoftwareUpdater
{
public:
    explicit FakeUpdater(UpdaterLog& log)
        : m_log(log)
    {}

    bool canCheckForUpdates() const override { return m_canCheck; }
    void startUpdater() override { ++m_log.started; }
    void checkForUpdates() override { ++m_log.checks; }

    void setCanCheck(bool canCheck)
    {
        m_canCheck = canCheck;
        Q_EMIT canCheckForUpdatesChanged(canCheck);
    }

    bool m_canCheck = true;

private:
    UpdaterLog& m_log;
};

} // namespace

class TestSoftwareUpdateController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enabledBeforeTheFirstCheck();
    void twoPressesMakeOneUpdater();
    void mirrorsTheUpdatersFlag();
    void startsWithTheUpdatersCurrentFlag();

private:
    SoftwareUpdateController::UpdaterFactory factory(bool canCheck = true);

    UpdaterLog m_log;
    FakeUpdater* m_updater = nullptr;
};

SoftwareUpdateController::UpdaterFactory TestSoftwareUpdateController::factory(bool canCheck)
{
    m_log = {};
    m_updater = nullptr;
    return [this, canCheck]() -> std::unique_ptr<SoftwareUpdater> {
        ++m_log.made;
        auto updater = std::make_unique<FakeUpdater>(m_log);
        updater->m_canCheck = canCheck;
        m_updater = updater.get();
        return updater;
    };
}

void TestSoftwareUpdateController::enabledBeforeTheFirstCheck()
{
    SoftwareUpdateController controller(factory());
    QVERIFY(controller.canCheckForUpdates());
    QVERIFY(!controller.hasUpdater());
    QCOMPARE(m_log.made, 0);
    QCOMPARE(controller.property("canCheckForUpdates").toBool(), true);
}

void TestSoftwareUpdateController::twoPressesMakeOneUpdater()
{
    SoftwareUpdateController controller(factory());
    QVERIFY(QMetaObject::invokeMethod(&controller, "checkForUpdates"));
    QCOMPARE(m_log.made, 1);
    QCOMPARE(m_log.started, 1);
    QCOMPARE(m_log.checks, 1);
    controller.checkForUpdates();
    QCOMPARE(m_log.made, 1);
    QCOMPARE(m_log.started, 1);
    QCOMPARE(m_log.checks, 2);
    QCOMPARE(&controller.startUpdaterIfNeeded(), m_updater);
}

void TestSoftwareUpdateController::mirrorsTheUpdatersFlag()
{
    SoftwareUpdateController controller(factory());
    QSignalSpy changes(&controller, &SoftwareUpdateController::canCheckForUpdatesChanged);
    QVERIFY(changes.isValid());
    controller.startUpdaterIfNeeded();
    m_updater->setCanCheck(false);
    QCOMPARE(controller.canCheckForUpdates(), false);
    m_updater->setCanCheck(false);
    QCOMPARE(changes.count(), 1);
    m_updater->setCanCheck(true);
    QCOMPARE(controller.canCheckForUpdates(), true);
    QCOMPARE(changes.count(), 2);
}

void TestSoftwareUpdateController::startsWithTheUpdatersCurrentFlag()
{
    SoftwareUpdateController controller(factory(false));
    controller.startUpdaterIfNeeded();
    QCOMPARE(controller.canCheckForUpdates(), false);
}

PORTHIVE_TEST_MAIN(TestSoftwareUpdateController)
#include "tst_softwareupdatecontroller.moc"
