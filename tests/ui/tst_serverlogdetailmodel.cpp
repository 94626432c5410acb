#include "base/apperror.h"
#include "control/serverlogservice.h"
#include "logsnapshotreading.h"
#include "platform/system/clock.h"
#include "serverlogdetailmodel.h"
#include "support/awaittask.h"
#include "support/manualsleeper.h"
#include "support/recordinganalyticsclient.h"
#include "support/recordingclipboard.h"
#include "support/recordingworkspace.h"
#include "support/testhome.h"
#include "windowcontext.h"

#include <QCoroTask>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <coroutine>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Answer = std::optional<ServerLogSnapshot>;
Q_DECLARE_METATYPE(Answer)

namespace {

ServerLogSnapshot logText(const QString& text, bool truncated = false)
{
    return ServerLogSnapshot{text, ServerLogService::previewLine(text), truncated};
}

// Answers each read with the next scripted answer (the last one repeats); an empty answer fails the read as
// a removed file does. While `hold` is set, a read waits until release() names it (or -1, every read).
class FakeLogReader final : public LogSnapshotReading
{
public:
    FakeLogReader() = default;
    FakeLogReader(const FakeLogReader&) = delete;
    FakeLogReader& operator=(const FakeLogReader&) = delete;
    ~FakeLogReader() override { release(-1); }

    QCoro::Task<ServerLogSnapshot> snapshot(const ServerLogSession& session) override
    {
        sessions.append(session);
        const int index = reads++;
        Answer answer = answers.at(std::min<qsizetype>(index, answers.size() - 1));
        if (!hold)
            return answerNow(std::move(answer));
        auto held = std::make_shared<Held>(Held{index, {}});
        return answerLater(Gate{this, held}, std::move(answer));
    }

    // Ends the held read `index` (-1: every held read) at once.
    void release(int index)
    {
        std::vector<std::shared_ptr<Held>> ready;
        std::erase_if(m_held, [&](const std::shared_ptr<Held>& held) {
            if (index != -1 && held->index != index)
                return false;
            ready.push_back(held);
            return true;
        });
        for (const auto& held : ready)
            held->handle.resume();
    }

    QList<Answer> answers{logText(u"ready\n"_s)};
    bool hold = false;
    int reads = 0;
    QList<ServerLogSession> sessions;

private:
    struct Held
    {
        int index;
        std::coroutine_handle<> handle;
    };

    struct Gate
    {
        FakeLogReader* reader;
        std::shared_ptr<Held> held;

        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle)
        {
            held->handle = handle;
            reader->m_held.push_back(held);
        }
        void await_resume() const noexcept {}
    };

    static QCoro::Task<ServerLogSnapshot> answerNow(Answer answer)
    {
        if (!answer)
            throw SystemError(ENOENT, u"/logs/gone.log"_s);
        co_return *answer;
    }

    static QCoro::Task<ServerLogSnapshot> answerLater(Gate gate, Answer answer)
    {
        co_await gate;
        if (!answer)
            throw SystemError(ENOENT, u"/logs/gone.log"_s);
        co_return *answer;
    }

    std::vector<std::shared_ptr<Held>> m_held;
};

LogSelection sampleSelection(std::optional<qint64> port = 5173)
{
    ServerLogSession session{QUuid::createUuid(), u"/work/shop"_s,
                             QUrl::fromLocalFile(u"/state/Porthive/Logs/session.log"_s),
                             QDateTime(QDate(2026, 3, 2), QTime(9, 30), Qt::UTC)};
    return LogSelection{session, u"shop"_s, port};
}

// A page over fakes. The page is declared last, so it goes first, as a page does before the window.
struct Page
{
    explicit Page(LogSelection selection = sampleSelection())
        : model(std::make_unique<ServerLogDetailModel>(selection, context, reader, sleeper))
    {}

    RecordingAnalyticsClient analytics;
    RecordingWorkspace workspace;
    RecordingClipboard clipboard;
    WindowContext context{analytics, workspace, clipboard};
    std::shared_ptr<FakeLogReader> reader = std::make_shared<FakeLogReader>();
    std::shared_ptr<ManualSleeper> sleeper = std::make_shared<ManualSleeper>();
    std::unique_ptr<ServerLogDetailModel> model;
};

} // namespace

char* toString(const ServerLogSnapshot& snapshot)
{
    return QTest::toString(u"{text %1, preview %2, truncated %3}"_s.arg(snapshot.text.toHtmlEscaped(), snapshot.preview,
                                                                        snapshot.isTruncated ? u"yes"_s : u"no"_s));
}

char* toString(const ServerLogSession& session)
{
    return QTest::toString(session.id.toString() + u' ' + session.fileURL.toString());
}

class TestServerLogDetailModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialState();
    void followingReadsAtOnceAndEveryInterval();
    void nextReadWaitsForThePreviousOne();
    void pausingReadsOnceMoreThenNothing();
    void removedFileIsUnavailableAfterOneMoreRead();
    void readThatRecoversClearsUnavailableWithFollowingOff();
    void namedPipeAtTheLogIsUnavailable();
    void readOfAReplacedTask_data();
    void readOfAReplacedTask();
    void copyPutsPlainTextAndConfirmsForAMoment();
    void secondCopyDoesNotExtendTheConfirmation();
    void copyWithoutTextDoesNothing();
    void revealShowsTheRawFile();
    void backDuringAPendingRead_data();
    void backDuringAPendingRead();
    void backDuringACopyConfirmation();
    void backStopsPolling();
    void hiddenWindowReadsNothingUntilShown_data();
    void hiddenWindowReadsNothingUntilShown();
    void pageBuiltInAHiddenWindowReadsWhenShown();
    void pageHeightFollowsTheScreen_data();
    void pageHeightFollowsTheScreen();
    void selectionStaysWhileThePageLeaves();
    void titleFromOutsideIsShownClean();
};

void TestServerLogDetailModel::initialState()
{
    Page page(sampleSelection(std::nullopt));
    ServerLogDetailModel& model = *page.model;
    QCOMPARE(model.snapshot(), (ServerLogSnapshot{QString(), u"No output yet"_s, false}));
    QVERIFY(model.isFollowing());
    QVERIFY(!model.copied());
    QVERIFY(!model.unavailable());
    QCOMPARE(model.displayTitle(), u"shop"_s);
    QVERIFY(!model.hasPort());
    QCOMPARE(model.portText(), QString());
    QCOMPARE(model.bottomID(), u"server-log-bottom"_s);
    QCOMPARE(page.reader->reads, 0);

    Page withPort;
    QVERIFY(withPort.model->hasPort());
    QCOMPARE(withPort.model->portText(), u"5173"_s);
}

void TestServerLogDetailModel::followingReadsAtOnceAndEveryInterval()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    QSignalSpy textChanged(&model, &ServerLogDetailModel::textChanged);
    QVERIFY(textChanged.isValid());

    model.start();
    QCOMPARE(page.reader->reads, 1);
    QCOMPARE(page.reader->sessions.constFirst(), model.logSelection().session);
    QCOMPARE(model.text(), u"ready\n"_s);
    QCOMPARE(textChanged.count(), 1);
    QCOMPARE(model.followFace(), ServerLogDetailModel::FollowFace::Following);
    QCOMPARE(model.statusLabel(), u"Following"_s);
    QCOMPARE(model.followHelpText(), u"Pause live log updates"_s);
    QVERIFY(model.statusDotActive());

    page.sleeper->advance(499ms);
    QCOMPARE(page.reader->reads, 1);
    page.sleeper->advance(1ms);
    QCOMPARE(page.reader->reads, 2);
    page.sleeper->advance(1000ms);
    QCOMPARE(page.reader->reads, 4);
    for (const auto request : std::as_const(page.sleeper->requests))
        QCOMPARE(request, 500ms);
    // The same text read again is no change.
    QCOMPARE(textChanged.count(), 1);
}

void TestServerLogDetailModel::nextReadWaitsForThePreviousOne()
{
    Page page;
    page.reader->hold = true;
    page.model->start();
    QCOMPARE(page.reader->reads, 1);

    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 1);
    QVERIFY(page.sleeper->requests.empty());

    page.reader->release(0);
    QCOMPARE(page.model->text(), u"ready\n"_s);
    QCOMPARE(page.sleeper->waiting(), 1);
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 2);
}

void TestServerLogDetailModel::pausingReadsOnceMoreThenNothing()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {logText(u"one\n"_s), logText(u"one\ntwo\n"_s), logText(u"one\ntwo\nthree\n"_s)};
    QSignalSpy following(&model, &ServerLogDetailModel::isFollowingChanged);
    QVERIFY(following.isValid());
    model.start();
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 2);

    model.toggleFollowing();
    QVERIFY(!model.isFollowing());
    QCOMPARE(following.count(), 1);
    QCOMPARE(page.reader->reads, 3);
    QCOMPARE(model.text(), u"one\ntwo\nthree\n"_s);
    QCOMPARE(model.followFace(), ServerLogDetailModel::FollowFace::Paused);
    QCOMPARE(model.statusLabel(), u"Paused"_s);
    QCOMPARE(model.followHelpText(), u"Resume live log updates"_s);
    QVERIFY(!model.statusDotActive());

    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 3);
    QCOMPARE(page.sleeper->waiting(), 0);

    model.toggleFollowing();
    QVERIFY(model.isFollowing());
    QCOMPARE(page.reader->reads, 4);
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 5);
}

void TestServerLogDetailModel::removedFileIsUnavailableAfterOneMoreRead()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {std::nullopt};
    QSignalSpy face(&model, &ServerLogDetailModel::followFaceChanged);
    QVERIFY(face.isValid());

    model.start();
    QCOMPARE(page.reader->reads, 2);
    QVERIFY(model.unavailable());
    QVERIFY(!model.isFollowing());
    QCOMPARE(model.snapshot(), (ServerLogSnapshot{QString(), u"Log unavailable"_s, false}));
    QCOMPARE(model.followFace(), ServerLogDetailModel::FollowFace::Unavailable);
    QCOMPARE(model.statusLabel(), u"Unavailable"_s);
    QCOMPARE(model.followHelpText(), u"Log file unavailable"_s);
    QVERIFY(!model.statusDotActive());
    QVERIFY(!model.canCopy());
    QCOMPARE(face.count(), 1);

    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 2);
    QCOMPARE(page.sleeper->waiting(), 0);
}

void TestServerLogDetailModel::readThatRecoversClearsUnavailableWithFollowingOff()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {std::nullopt, logText(u"back again\n"_s)};
    QSignalSpy unavailable(&model, &ServerLogDetailModel::unavailableChanged);
    QVERIFY(unavailable.isValid());

    model.start();
    QCOMPARE(page.reader->reads, 2);
    QCOMPARE(unavailable.count(), 2);
    QVERIFY(!model.unavailable());
    QVERIFY(!model.isFollowing());
    QCOMPARE(model.text(), u"back again\n"_s);
    QCOMPARE(model.followFace(), ServerLogDetailModel::FollowFace::Paused);
    QVERIFY(model.canCopy());

    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 2);
    model.toggleFollowing();
    QCOMPARE(page.reader->reads, 3);
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 4);
}

// Through the real log service: a named pipe where the log was is unavailable at once, not a read that never ends.
void TestServerLogDetailModel::namedPipeAtTheLogIsUnavailable()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    auto logs = std::make_shared<ServerLogService>(folder.filePath(u"logs"_s), SystemClock::shared());
    const ServerLogSession session = awaitTask(logs->startSession(u"/work/shop"_s));
    const QByteArray path = QFile::encodeName(session.fileURL.toLocalFile());
    QVERIFY(::unlink(path.constData()) == 0 && ::mkfifo(path.constData(), 0600) == 0);

    Page page;
    ServerLogDetailModel model(LogSelection{session, u"shop"_s, 5173}, page.context,
                               std::make_shared<ServiceLogReader>(logs), page.sleeper);
    model.start();
    QTRY_VERIFY(model.unavailable());
    QVERIFY(!model.isFollowing());
    QCOMPARE(model.snapshot(), (ServerLogSnapshot{QString(), u"Log unavailable"_s, false}));
    QCOMPARE(model.statusLabel(), u"Unavailable"_s);
}

void TestServerLogDetailModel::readOfAReplacedTask_data()
{
    QTest::addColumn<Answer>("lateAnswer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("unavailable");

    // A pause replaced the task whose read ends last: its text is older than what the pause read.
    QTest::newRow("text is dropped") << Answer(logText(u"old\n"_s)) << u"new\n"_s << false;
    // The file could not be read: that is still true, whichever task asked.
    QTest::newRow("failure stands") << Answer() << QString() << true;
}

void TestServerLogDetailModel::readOfAReplacedTask()
{
    QFETCH(Answer, lateAnswer);
    QFETCH(QString, text);
    QFETCH(bool, unavailable);

    Page page;
    page.reader->hold = true;
    page.reader->answers = {lateAnswer, logText(u"new\n"_s)};
    page.model->start();
    page.model->toggleFollowing();
    QCOMPARE(page.reader->reads, 2);

    page.reader->release(1);
    QCOMPARE(page.model->text(), u"new\n"_s);
    page.reader->release(0);
    QCOMPARE(page.model->text(), text);
    QCOMPARE(page.model->unavailable(), unavailable);
    QVERIFY(!page.model->isFollowing());
}

void TestServerLogDetailModel::copyPutsPlainTextAndConfirmsForAMoment()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {logText(u"<b>not bold</b>\n"_s)};
    model.start();
    QVERIFY(model.canCopy());

    model.copyLog();
    QCOMPARE(page.clipboard.texts, QStringList{u"<b>not bold</b>\n"_s});
    QVERIFY(model.copied());
    page.sleeper->advance(1499ms);
    QVERIFY(model.copied());
    page.sleeper->advance(1ms);
    QVERIFY(!model.copied());
}

void TestServerLogDetailModel::secondCopyDoesNotExtendTheConfirmation()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    model.toggleFollowing();
    model.start();
    QSignalSpy copied(&model, &ServerLogDetailModel::copiedChanged);
    QVERIFY(copied.isValid());

    model.copyLog();
    page.sleeper->advance(1000ms);
    model.copyLog();
    QCOMPARE(page.clipboard.texts.size(), 2);
    page.sleeper->advance(499ms);
    QVERIFY(model.copied());
    page.sleeper->advance(1ms);
    QVERIFY(!model.copied());
    page.sleeper->advance(2000ms);
    QVERIFY(!model.copied());
    QCOMPARE(copied.count(), 2);
}

void TestServerLogDetailModel::copyWithoutTextDoesNothing()
{
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {logText(QString())};
    model.start();
    QVERIFY(!model.canCopy());

    model.copyLog();
    model.copyText(QString());
    QVERIFY(page.clipboard.texts.isEmpty());
    QVERIFY(!model.copied());
    QVERIFY(std::find(page.sleeper->requests.cbegin(), page.sleeper->requests.cend(), 1500ms) ==
            page.sleeper->requests.cend());
}

void TestServerLogDetailModel::revealShowsTheRawFile()
{
    Page page;
    page.model->start();
    page.model->revealRawLog();
    QCOMPARE(page.workspace.revealedPaths, QStringList{u"/state/Porthive/Logs/session.log"_s});
}

void TestServerLogDetailModel::backDuringAPendingRead_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::newRow("read succeeds") << Answer(logText(u"late\n"_s));
    QTest::newRow("read fails") << Answer();
}

void TestServerLogDetailModel::backDuringAPendingRead()
{
    QFETCH(Answer, answer);
    Page page;
    page.reader->hold = true;
    page.reader->answers = {answer};
    page.model->start();
    QCOMPARE(page.reader->reads, 1);

    page.model.reset();
    page.reader->release(-1);
    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 1);
    QCOMPARE(page.sleeper->waiting(), 0);
}

void TestServerLogDetailModel::backDuringACopyConfirmation()
{
    Page page;
    page.model->start();
    page.model->copyLog();
    QVERIFY(page.model->copied());

    page.model.reset();
    page.sleeper->advance(1500ms);
    QCOMPARE(page.sleeper->waiting(), 0);
    QCOMPARE(page.clipboard.texts.size(), 1);
}

void TestServerLogDetailModel::backStopsPolling()
{
    Page page;
    page.model->start();
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 2);

    page.model.reset();
    page.sleeper->advance(5000ms);
    QCOMPARE(page.reader->reads, 2);
    QCOMPARE(page.sleeper->waiting(), 0);
}

void TestServerLogDetailModel::hiddenWindowReadsNothingUntilShown_data()
{
    QTest::addColumn<bool>("following");
    QTest::newRow("following") << true;
    QTest::newRow("paused") << false;
}

void TestServerLogDetailModel::hiddenWindowReadsNothingUntilShown()
{
    QFETCH(bool, following);
    Page page;
    ServerLogDetailModel& model = *page.model;
    page.reader->answers = {logText(u"one\n"_s), logText(u"one\ntwo\n"_s)};
    QSignalSpy onScreen(&model, &ServerLogDetailModel::onScreenChanged);
    QVERIFY(onScreen.isValid());
    model.start();
    if (!following)
        model.toggleFollowing();
    const int readsWhenHidden = page.reader->reads;

    model.setOnScreen(false);
    QCOMPARE(onScreen.count(), 1);
    // The wait that was running ends once; nothing is read or waited for after it.
    page.sleeper->advance(60s);
    QCOMPARE(page.reader->reads, readsWhenHidden);
    QCOMPARE(page.sleeper->waiting(), 0);

    model.setOnScreen(true);
    QCOMPARE(page.reader->reads, readsWhenHidden + 1);
    QCOMPARE(model.text(), u"one\ntwo\n"_s);
    QCOMPARE(model.isFollowing(), following);
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, readsWhenHidden + (following ? 2 : 1));
}

void TestServerLogDetailModel::pageBuiltInAHiddenWindowReadsWhenShown()
{
    Page page;
    page.model->setOnScreen(false);
    page.model->start();
    QCOMPARE(page.reader->reads, 0);
    QCOMPARE(page.sleeper->waiting(), 0);

    page.model->setOnScreen(true);
    QCOMPARE(page.reader->reads, 1);
    // Shown twice is one read.
    page.model->setOnScreen(true);
    QCOMPARE(page.reader->reads, 1);
    page.sleeper->advance(500ms);
    QCOMPARE(page.reader->reads, 2);
}

void TestServerLogDetailModel::pageHeightFollowsTheScreen_data()
{
    QTest::addColumn<qreal>("available");
    QTest::addColumn<qreal>("page");

    QTest::newRow("no screen") << WindowContext::defaultAvailableHeight << 520.0;
    QTest::newRow("tall screen") << 1400.0 << 520.0;
    QTest::newRow("in between") << 600.0 << 410.0;
    QTest::newRow("short screen") << 400.0 << 300.0;
}

void TestServerLogDetailModel::pageHeightFollowsTheScreen()
{
    QFETCH(qreal, available);
    QFETCH(qreal, page);

    Page rig;
    rig.context.setAvailableHeight(777);
    QSignalSpy changed(rig.model.get(), &ServerLogDetailModel::pageHeightChanged);
    QVERIFY(changed.isValid());
    rig.context.setAvailableHeight(available);
    QCOMPARE(rig.model->pageHeight(), page);
    QCOMPARE(rig.model->minimumContentHeight(), page - 100);
    QCOMPARE(changed.count(), 1);
}

void TestServerLogDetailModel::selectionStaysWhileThePageLeaves()
{
    Page page;
    LogSelection other = sampleSelection(8080);
    other.displayTitle = u"other"_s;
    page.model->setSelection(QVariant::fromValue(other));
    QCOMPARE(page.model->displayTitle(), u"other"_s);

    page.model->start();
    page.model->setSelection(QVariant());
    page.model->setSelection(QVariant::fromValue(sampleSelection()));
    QCOMPARE(page.model->displayTitle(), u"other"_s);
    QCOMPARE(page.model->portText(), u"8080"_s);
    QCOMPARE(page.reader->sessions.constFirst(), other.session);
}

void TestServerLogDetailModel::titleFromOutsideIsShownClean()
{
    LogSelection hostile = sampleSelection();
    hostile.displayTitle = u"sh\u202Eop\u0007\n"_s;
    Page page(hostile);
    QCOMPARE(page.model->displayTitle(), u"shop "_s);
    QCOMPARE(page.model->logSelection().displayTitle, hostile.displayTitle);
}

PORTHIVE_TEST_MAIN(TestServerLogDetailModel)
#include "tst_serverlogdetailmodel.moc"
