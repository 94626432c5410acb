#pragma once

#include "support/httpreceiver.h"

#include <QObject>
#include <QStringList>

// A loopback HTTP receiver that Qt Quick tests put into outside text as an image address: a view that rendered
// that text as markup would fetch it.
class QmlLoopback : public QObject
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
