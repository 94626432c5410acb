#pragma once

#include <QObject>
#include <QQmlEngine>

// Makes the static "Porthive" QML module importable in a Qt Quick Test run and checks the test's isolation.
// Runners that need more (fakes as context objects) derive from it and extend qmlEngineAvailable.
class PorthiveQuickTestSetup : public QObject
{
    Q_OBJECT

public:
    PorthiveQuickTestSetup();

public Q_SLOTS:
    virtual void qmlEngineAvailable(QQmlEngine* engine);
};

// Adds the resource folder of statically linked QML modules to an engine's import path (Qt 6.4 does not).
void addPorthiveImportPath(QQmlEngine& engine);
