#include "chromerig.h"
#include "support/quicktestsetup.h"

#include <QtQuickTest>

// The window's chrome under test, with a store over fakes (ChromeRig) creatable from QML.
class ChromeTestSetup : public PorthiveQuickTestSetup
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) override
    {
        PorthiveQuickTestSetup::qmlEngineAvailable(engine);
        qmlRegisterType<ChromeRig>("PorthiveTest", 1, 0, "ChromeRig");
    }
};

QUICK_TEST_MAIN_WITH_SETUP(chrome, ChromeTestSetup)

#include "tst_qml_chrome.moc"
