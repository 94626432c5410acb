#include "listrig.h"
#include "support/httpreceiver.h"
#include "support/quicktestsetup.h"

#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

// A loopback HTTP receiver the tests put into titles, folder names and commands as an image address: a view
// that rendered outside text as markup would fetch it.
class Loopback : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString baseUrl READ baseUrl CONSTANT)

public:
    using QObject::QObject;

    QString baseUrl() const { return m_receiver.baseUrl().toString(); }
    Q_INVOKABLE QStringList requestedPaths() const
    {
        QStringList paths;
        for (const ReceivedRequest& request : m_receiver.requests())
            paths.append(request.path);
        return paths;
    }

private:
    HttpReceiver m_receiver;
};

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
            m_loopback = std::make_unique<Loopback>();
        qmlRegisterSingletonInstance("PorthiveTest", 1, 0, "Loopback", m_loopback.get());
        qmlRegisterType<ListRig>("PorthiveTest", 1, 0, "ListRig");
    }

private:
    std::unique_ptr<Loopback> m_loopback;
};

QUICK_TEST_MAIN_WITH_SETUP(list, ListTestSetup)

#include "tst_qml_list.moc"
