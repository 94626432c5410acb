#pragma once

#include "discovery/rememberedproject.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class UserDefaults;

// The remembered projects as the user defaults keep them. Saving encodes and writes off the GUI thread, so the store
// asks for a save after every scan without waiting on the disk; this keeps those writes in order and drops lists that
// a newer one replaced before they were written.
class RememberedProjectStorage final : public QObject
{
    Q_OBJECT

public:
    static inline const QString key = QStringLiteral("rememberedProjects.v1");
    // Where a stored list that cannot be read is kept, so that the next save does not destroy it unseen.
    static inline const QString unreadableKey = QStringLiteral("rememberedProjects.v1.unreadable");

    explicit RememberedProjectStorage(std::shared_ptr<UserDefaults> defaults, QObject* parent = nullptr);
    // A save still encoding or writing would be lost with the storage; the newest list is written now instead,
    // after any write already under way.
    ~RememberedProjectStorage() override;

    RememberedProjectStorage(const RememberedProjectStorage&) = delete;
    RememberedProjectStorage& operator=(const RememberedProjectStorage&) = delete;

    QList<RememberedProject> load() const { return load(*m_defaults); }
    // Returns at once. Saves write one at a time, in the order they were asked for; only the newest waiting list
    // is kept.
    void save(QList<RememberedProject> projects);

    // The stored list; empty when there is none or it cannot be decoded, in which case the stored value is first
    // copied to `unreadableKey`, or when that holds another value already, to the first free one of its numbered
    // keys (".2", ".3", ...).
    static QList<RememberedProject> load(UserDefaults& defaults);
    static QByteArray encode(const QList<RememberedProject>& projects);
    static std::optional<QList<RememberedProject>> decode(const QByteArray& bytes);

private:
    QCoro::Task<> saveQueueTask();

    const std::shared_ptr<UserDefaults> m_defaults;
    std::optional<QList<RememberedProject>> m_waitingSave;
    QList<RememberedProject> m_latestSave;
    quint64 m_requestedSaves = 0;
    quint64 m_writtenSaves = 0;
    bool m_saving = false;
};
