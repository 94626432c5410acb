#include "support/qmlloopback.h"
#include "support/quicktestsetup.h"

#include <QGuiApplication>
#include <QPalette>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

using namespace Qt::StringLiterals;

// Switches the application palette between a light and a dark appearance.
class Appearance : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE void setDark(bool dark)
    {
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::WindowText, dark ? QColor(0xf2, 0xf2, 0xf4) : QColor(0x1d, 0x1d, 0x1f));
        palette.setColor(QPalette::Window, dark ? QColor(0x24, 0x24, 0x26) : QColor(0xec, 0xec, 0xec));
        QGuiApplication::setPalette(palette);
    }
};

class FoundationSetup : public PorthiveQuickTestSetup
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) override
    {
        PorthiveQuickTestSetup::qmlEngineAvailable(engine);
        // Made here, not with the setup: the setup exists before the application does.
        if (!m_loopback) {
            m_loopback = std::make_unique<QmlLoopback>();
            m_appearance = std::make_unique<Appearance>();
        }
        qmlRegisterSingletonInstance("PorthiveTest", 1, 0, "Loopback", m_loopback.get());
        qmlRegisterSingletonInstance("PorthiveTest", 1, 0, "Appearance", m_appearance.get());
    }

private:
    std::unique_ptr<QmlLoopback> m_loopback;
    std::unique_ptr<Appearance> m_appearance;
};

QUICK_TEST_MAIN_WITH_SETUP(foundation, FoundationSetup)

#include "tst_qml_foundation.moc"
