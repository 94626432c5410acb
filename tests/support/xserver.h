#pragma once

#include <QByteArray>
#include <QSize>

#include <sys/types.h>

// An X server of the test's own (Xvfb on a display it picks itself), stopped by its pid when the object goes.
// Started without Qt's event loop, so a test can start it before its QGuiApplication and run on it.
class XServer
{
public:
    XServer() = default;
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    ~XServer();

    // False when Xvfb is not installed or named no display within `timeoutMs`.
    bool start(QSize screen = QSize(1280, 800), int timeoutMs = 30000);
    // ":<number>", empty until started.
    QByteArray display() const { return m_display; }
    // Starts the server and points DISPLAY and Qt's platform at it, for a test whose QGuiApplication is made after
    // and that needs the X server (the tray's). False, and nothing changed, when Xvfb is missing.
    bool startForApplication();

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};
