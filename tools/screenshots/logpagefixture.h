#pragma once

#include "control/serverstore.h"
#include "support/recordingclipboard.h"
#include "support/storerig.h"
#include "windowcontext.h"

#include <QObject>
#include <QTemporaryDir>
#include <QVariant>
#include <QtQml/qqml.h>

// The log page's world for the screenshots: a store over the real log service in a temporary folder and a
// window context over recording fakes.
class LogPageFixture : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ServerStore* store READ store CONSTANT)
    Q_PROPERTY(WindowContext* context READ context CONSTANT)
    // What a dev server writes in its first seconds, colours and all.
    Q_PROPERTY(QString sampleOutput READ sampleOutput CONSTANT)

public:
    explicit LogPageFixture(QObject* parent = nullptr);

    ServerStore* store() const { return m_rig.store.get(); }
    WindowContext* context() { return &m_context; }
    static QString sampleOutput();

    // A session whose file holds `fillerBytes` of older output followed by `output`, or no file at all when
    // `removed`; `port` below 0 means none.
    Q_INVOKABLE QVariant makeSelection(const QString& title, int port, const QString& output, int fillerBytes = 0,
                                       bool removed = false);

private:
    QTemporaryDir m_folder;
    StoreRig m_rig;
    RecordingClipboard m_clipboard;
    WindowContext m_context;
};
