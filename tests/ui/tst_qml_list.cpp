#include "listrig.h"
#include "support/qmlloopback.h"
#include "support/quicktestsetup.h"

#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

// The list under test over a store with fake services (ListRig), and the loopback receiver.
class ListTestSetup : public PorthiveQuickTestSetup
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) override
    {
        PorthiveQuickTestSetup::qmlEngineAvailable(engine);
        // Made here, not with the setup: the setup exists before the application does.
        if (!m_loopback)
            m_loopback = std::make_unique<QmlLoopback>();
        qmlRegisterSingletonInstance("PorthiveTest", 1, 0, "Loopback", m_loopback.get());
        qmlRegisterType<ListRig>("PorthiveTest", 1, 0, "ListRig");
    }

private:
    std::unique_ptr<QmlLoopback> m_loopback;
};

QUICK_TEST_MAIN_WITH_SETUP(list, ListTestSetup)

#include "tst_qml_list.moc"
