#include "support/quicktestsetup.h"

#include "support/testhome.h"

#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(PorthivePlugin)

PorthiveQuickTestSetup::PorthiveQuickTestSetup()
{
    TestHome::requireIsolation();
}

void PorthiveQuickTestSetup::qmlEngineAvailable(QQmlEngine* engine)
{
    addPorthiveImportPath(*engine);
}

void addPorthiveImportPath(QQmlEngine& engine)
{
    engine.addImportPath(u"qrc:/qt/qml"_s);
}
