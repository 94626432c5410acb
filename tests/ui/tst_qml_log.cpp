#include "control/serverlogsession.h"
#include "support/quicktestsetup.h"
#include "support/recordingclipboard.h"
#include "support/storerig.h"
#include "windowcontext.h"

#include <QFile>
#include <QQmlContext>
#include <QTemporaryDir>
#include <QtQuickTest>

#include <memory>

using namespace Qt::StringLiterals;

// The log page's world for the QML tests: a store over the real log service in a temporary folder, a window
// context over recording fakes, and ways to write, grow and remove a session's file as a launched command would.
class LogRig : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ServerStore* store READ store CONSTANT)
    Q_PROPERTY(WindowContext* context READ context CONSTANT)

public:
    explicit LogRig(QObject* parent = nullptr)
        : QObject(parent)
        , m_rig(m_folder.filePath(u"Logs"_s))
        , m_context(m_rig.analytics, *m_rig.workspace, m_clipboard)
    {
        m_rig.makeStore();
    }

    ServerStore* store() const { return m_rig.store.get(); }
    WindowContext* context() { return &m_context; }

    // A new session of the real log service; `port` below 0 means none.
    Q_INVOKABLE QVariant startSession(const QString& title, int port)
    {
        const ServerLogSession session = awaitTask(m_rig.logs->startSession(u"/work/"_s + title));
        return QVariant::fromValue(LogSelection{session, title, port < 0 ? std::nullopt : std::optional<qint64>(port)});
    }

    Q_INVOKABLE bool append(const QVariant& selection, const QString& text)
    {
        return appendBytes(selection, text.toUtf8());
    }

    // Lines of filler output adding up to `bytes`.
    Q_INVOKABLE bool appendFiller(const QVariant& selection, int bytes)
    {
        QByteArray filler;
        while (filler.size() < bytes)
            filler += "filler line " + QByteArray::number(filler.size()) + '\n';
        return appendBytes(selection, filler);
    }

    Q_INVOKABLE bool remove(const QVariant& selection) { return QFile::remove(filePath(selection)); }

    Q_INVOKABLE QString filePath(const QVariant& selection) const
    {
        return selection.value<LogSelection>().session.fileURL.toLocalFile();
    }

    Q_INVOKABLE QStringList clipboardTexts() const { return m_clipboard.texts; }
    Q_INVOKABLE QStringList revealedPaths() const { return m_rig.workspace->revealedPaths; }

private:
    bool appendBytes(const QVariant& selection, const QByteArray& bytes)
    {
        QFile file(filePath(selection));
        return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size();
    }

    QTemporaryDir m_folder;
    StoreRig m_rig;
    RecordingClipboard m_clipboard;
    WindowContext m_context;
};

class LogQuickTestSetup : public PorthiveQuickTestSetup
{
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) override
    {
        PorthiveQuickTestSetup::qmlEngineAvailable(engine);
        engine->rootContext()->setContextProperty(u"logRig"_s, new LogRig(engine));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(log, LogQuickTestSetup)

#include "tst_qml_log.moc"
