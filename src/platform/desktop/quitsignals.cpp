#include "platform/desktop/quitsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int wakeDescriptor = -1;
struct sigaction previousTerm;
struct sigaction previousInt;

extern "C" void onQuitSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    // Only async-signal-safe work here; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor, &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    wakeDescriptor = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGINT, &action, &previousInt);
}

QuitSignals::~QuitSignals()
{
    if (m_pipe[0] < 0)
        return;
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    wakeDescriptor = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void QuitSignals::drain()
{
    char buffer[64];
    bool received = false;
    while (::read(m_pipe[0], buffer, sizeof buffer) > 0)
        received = true;
    if (received)
        Q_EMIT quitRequested();
}
