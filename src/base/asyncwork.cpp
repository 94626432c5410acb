#include "base/asyncwork.h"

namespace AsyncWork::detail {

std::shared_ptr<ResumeTarget> ResumeTarget::current()
{
    thread_local QAbstractEventDispatcher* knownDispatcher = nullptr;
    thread_local std::weak_ptr<ResumeTarget> known;
    QAbstractEventDispatcher* const dispatcher = QAbstractEventDispatcher::instance();
    if (std::shared_ptr<ResumeTarget> target = known.lock(); target && knownDispatcher == dispatcher)
        return target;
    auto target = std::make_shared<ResumeTarget>(dispatcher);
    if (!dispatcher)
        return target;
    // The connection holds the target as long as the dispatcher lives; its end is told under the lock, so a
    // resumption is either posted before it or not at all.
    QObject::connect(
        dispatcher, &QObject::destroyed, dispatcher,
        [target] {
            const std::lock_guard lock(target->m_lock);
            target->m_dispatcher = nullptr;
        },
        Qt::DirectConnection);
    knownDispatcher = dispatcher;
    known = target;
    return target;
}

void ResumeTarget::resume(std::coroutine_handle<> awaiting)
{
    const std::lock_guard lock(m_lock);
    if (m_dispatcher)
        QMetaObject::invokeMethod(
            m_dispatcher, [awaiting] { awaiting.resume(); }, Qt::QueuedConnection);
}

} // namespace AsyncWork::detail
