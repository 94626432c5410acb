#include "base/asyncwork.h"
#include "support/awaittask.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Notes the thread it is destroyed on; a moved-from one notes nothing.
struct Witness
{
    std::shared_ptr<std::atomic<QThread*>> destroyedOn = std::make_shared<std::atomic<QThread*>>(nullptr);
    Witness() = default;
    Witness(Witness&& other) noexcept
        : destroyedOn(std::exchange(other.destroyedOn, nullptr))
    {}
    ~Witness()
    {
        if (destroyedOn)
            *destroyedOn = QThread::currentThread();
    }
};

struct Threads
{
    QThread* workedOn = nullptr;
    QThread* resumedOn = nullptr;
};

QCoro::Task<std::unique_ptr<QString>> workAndNote(QThreadPool* pool, Witness witness, Threads* threads)
{
    auto work = AsyncWork::runOn(pool, [threads, witness = std::move(witness)] {
        threads->workedOn = QThread::currentThread();
        return std::make_unique<QString>(u"done"_s);
    });
    std::unique_ptr<QString> result = co_await work;
    threads->resumedOn = QThread::currentThread();
    co_return result;
}

class ResultError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace

class TestAsyncWork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resultComesBackOnTheAwaitingThread();
    void errorIsRethrownAsThrown();
    void workOutlivingItsThreadResumesNothing();
};

void TestAsyncWork::resultComesBackOnTheAwaitingThread()
{
    QThreadPool pool;
    Threads threads;
    Witness witness;
    const auto destroyedOn = witness.destroyedOn;
    const std::unique_ptr<QString> result = awaitTask(workAndNote(&pool, std::move(witness), &threads));
    QCOMPARE(*result, u"done"_s);
    QVERIFY(threads.workedOn && threads.workedOn != QThread::currentThread());
    QCOMPARE(threads.resumedOn, QThread::currentThread());
    // What the work captured went with it, on the pool.
    QCOMPARE(destroyedOn->load(), threads.workedOn);
}

void TestAsyncWork::errorIsRethrownAsThrown()
{
    QThreadPool pool;
    const TaskOutcome<int> outcome =
        waitForOutcome(AsyncWork::runOn(&pool, []() -> int { throw ResultError("no result"); }));
    QVERIFY(!outcome.value);
    const std::optional<ResultError> error = outcome.errorAs<ResultError>();
    QVERIFY(error);
    QCOMPARE(QByteArray(error->what()), QByteArray("no result"));
}

// Work that ends after the awaiting thread and its event dispatcher are gone, as at quit: no resumption, no crash.
void TestAsyncWork::workOutlivingItsThreadResumesNothing()
{
    QThreadPool pool;
    QSemaphore release;
    std::atomic<bool> workEnded = false;
    std::atomic<bool> resumed = false;
    QThread* thread = QThread::create([&] {
        QEventLoop loop;
        auto task = [](QThreadPool* pool, QSemaphore* release, std::atomic<bool>* ended,
                       std::atomic<bool>* resumed) -> QCoro::Task<> {
            auto work = AsyncWork::runOn(pool, [release, ended] {
                release->acquire();
                *ended = true;
            });
            co_await work;
            *resumed = true;
        }(&pool, &release, &workEnded, &resumed);
        Q_UNUSED(task);
        // The thread ends with the work still running.
    });
    thread->start();
    QVERIFY(thread->wait(10000));
    delete thread;
    release.release();
    QTRY_VERIFY(workEnded.load());
    QVERIFY(pool.waitForDone(10000));
    QCoreApplication::processEvents();
    QVERIFY(!resumed.load());
}

PORTHIVE_TEST_MAIN(TestAsyncWork)
#include "tst_asyncwork.moc"
