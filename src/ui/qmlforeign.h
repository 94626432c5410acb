#pragma once

#include "control/serverstore.h"

#include <QObject>
#include <QtQml/qqml.h>

// The store lives in the core library, which knows nothing of QML; views receive it as a typed property.
struct ServerStoreForeign
{
    Q_GADGET
    QML_FOREIGN(ServerStore)
    QML_NAMED_ELEMENT(ServerStore)
    QML_UNCREATABLE("the application owns the store")
};
