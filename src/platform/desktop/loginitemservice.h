#pragma once

#include "base/apperror.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Workspace;

// The status values of the login-item service. A value outside these (an entry that cannot be read) is
// possible and means the state is unknown.
namespace LoginItemServiceStatus {
constexpr int notRegistered = 0;
constexpr int enabled = 1;
constexpr int requiresApproval = 2;
constexpr int notFound = 3;
constexpr int unreadable = -1;
} // namespace LoginItemServiceStatus

// A refused registration or removal, with the system's reason.
class LoginItemError final : public AppError
{
public:
    explicit LoginItemError(QString reason)
        : m_reason(std::move(reason))
    {}

    QString description() const override { return m_reason; }
    QString typeName() const override { return QStringLiteral("LoginItemError"); }

private:
    QString m_reason;
};

// The operating system's record of programs started at login, for this application.
class LoginItemService
{
public:
    virtual ~LoginItemService() = default;

    // One of LoginItemServiceStatus, or another value when the state cannot be read. Safe on any thread;
    // may touch the disk, so never asked on the GUI thread.
    virtual int status() const = 0;
    // Registers the application; throws LoginItemError when refused.
    virtual void registerItem() = 0;
    // Removes the registration; the error when it was refused, none on success (nothing registered counts
    // as success).
    virtual QCoro::Task<std::optional<LoginItemError>> unregisterItem() = 0;
    // Opens the desktop's own settings for the programs started at login.
    virtual void openSystemSettings() = 0;
};

// Launch at login through an XDG autostart entry: $XDG_CONFIG_HOME/autostart/<bundle id>.desktop.
class XdgAutostartLoginItem final : public LoginItemService
{
public:
    // Starts a program without waiting for it; false when it could not be started.
    using ProgramStarter = std::function<bool(const QString& program, const QStringList& arguments)>;

    struct Options
    {
        // The folder of autostart entries.
        QString autostartFolder;
        // The entry's file name, "<bundle id>.desktop".
        QString fileName;
        // The program and the arguments the entry starts.
        QStringList command;
        // The entry's display name.
        QString name;
        // The name of the application's icon in the icon theme (the installed hicolor icon); none when empty.
        QString icon;
    };

    XdgAutostartLoginItem(Options options, Workspace& workspace, ProgramStarter startProgram = startDetached);

    int status() const override;
    void registerItem() override;
    QCoro::Task<std::optional<LoginItemError>> unregisterItem() override;
    void openSystemSettings() override;

    QString entryPath() const;
    const Options& options() const { return m_options; }

    // The application's own entry: this executable, the main bundle's identifier (which names the installed icon
    // too), the user's autostart folder.
    static Options standardOptions();
    // The desktop's autostart settings program for an XDG_CURRENT_DESKTOP value, with its arguments; empty when
    // none of the named desktops is known or its program is not installed.
    static QStringList settingsCommand(const QString& currentDesktop);
    // QProcess::startDetached.
    static bool startDetached(const QString& program, const QStringList& arguments);

private:
    Options m_options;
    Workspace& m_workspace;
    ProgramStarter m_startProgram;
};
