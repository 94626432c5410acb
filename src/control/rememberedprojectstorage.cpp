#include "control/rememberedprojectstorage.h"

#include "base/asyncwork.h"
#include "platform/storage/userdefaults.h"

#include <QJsonDocument>
#include <QPointer>
#include <QThreadPool>

RememberedProjectStorage::RememberedProjectStorage(std::shared_ptr<UserDefaults> defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
{
    Q_ASSERT(m_defaults);
}

RememberedProjectStorage::~RememberedProjectStorage()
{
    if (m_writtenSaves < m_requestedSaves)
        m_defaults->setValue(key, encode(m_latestSave));
}

void RememberedProjectStorage::save(QList<RememberedProject> projects)
{
    m_latestSave = projects;
    m_waitingSave = std::move(projects);
    ++m_requestedSaves;
    if (m_saving)
        return;
    m_saving = true;
    auto queue = saveQueueTask();
    Q_UNUSED(queue);
}

QCoro::Task<> RememberedProjectStorage::saveQueueTask()
{
    QPointer<RememberedProjectStorage> self(this);
    while (self && self->m_waitingSave) {
        const QList<RememberedProject> projects = std::move(*self->m_waitingSave);
        self->m_waitingSave.reset();
        const quint64 request = self->m_requestedSaves;
        const std::shared_ptr<UserDefaults> defaults = self->m_defaults;

        std::optional<QByteArray> bytes;
        try {
            auto encoding = AsyncWork::runOn(QThreadPool::globalInstance(), [projects] { return encode(projects); });
            bytes = co_await encoding;
        } catch (...) {
            // Nothing is written; the list stored before stays.
        }
        if (!self)
            co_return;
        if (bytes) {
            // The file is written and synced off the GUI thread.
            auto write = defaults->persistValue(key, *bytes);
            co_await write;
            if (!self)
                co_return;
        }
        self->m_writtenSaves = request;
    }
    if (self)
        self->m_saving = false;
}

QByteArray RememberedProjectStorage::encode(const QList<RememberedProject>& projects)
{
    return QJsonDocument(RememberedProject::encodeList(projects)).toJson(QJsonDocument::Compact);
}

std::optional<QList<RememberedProject>> RememberedProjectStorage::decode(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return RememberedProject::decodeList(document.array());
}

QList<RememberedProject> RememberedProjectStorage::load(UserDefaults& defaults)
{
    const QVariant stored = defaults.value(key);
    if (!stored.isValid())
        return {};
    if (stored.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = stored.toByteArray();
        if (bytes.isEmpty())
            return {};
        if (auto projects = decode(bytes))
            return *projects;
    }
    // Kept for a look later: never over an earlier backup, and the same value only once.
    for (int n = 1;; ++n) {
        const QString backup = n == 1 ? unreadableKey : unreadableKey + u'.' + QString::number(n);
        if (!defaults.contains(backup)) {
            defaults.setValue(backup, stored);
            return {};
        }
        if (defaults.value(backup) == stored)
            return {};
    }
}
