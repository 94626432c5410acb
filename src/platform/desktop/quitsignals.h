#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (logout, Ctrl-C) into a signal on the GUI thread, so the application quits through
// its event loop and every destructor runs. One at a time per process; the previous handlers come back when it
// is destroyed.
class QuitSignals final : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

Q_SIGNALS:
    void quitRequested();

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
