#include "platform/desktop/reducemotion.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace {

// The value of a portal reply: ReadOne gives the value in one variant, the older Read wraps it in a second.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

struct PortalAnswer
{
    std::optional<QVariant> value;
    // No portal answered in time (none running, none installed): asking again is no use.
    bool unreachable = false;
};

PortalAnswer readPortalSetting(const QDBusConnection& bus, const QString& group, const QString& key, int timeoutMs)
{
    for (const QString& method : {u"ReadOne"_s, u"Read"_s}) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s, u"/org/freedesktop/portal/desktop"_s,
                                           u"org.freedesktop.portal.Settings"_s, method);
        call << group << key;
        const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            return {unwrapped(reply.arguments().first()), false};
        // An older portal lacks ReadOne; any other error means the setting is not there or no portal is.
        if (reply.errorName() == u"org.freedesktop.DBus.Error.UnknownMethod"_s)
            continue;
        const bool unreachable = reply.errorName() == u"org.freedesktop.DBus.Error.NoReply"_s ||
                                 reply.errorName() == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
                                 reply.errorName() == u"org.freedesktop.DBus.Error.Timeout"_s;
        return {std::nullopt, unreachable};
    }
    return {};
}

std::optional<bool> animationFactorIsZero(const QVariant& factor)
{
    bool ok = false;
    const double value = factor.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return value == 0.0;
}

} // namespace

namespace ReduceMotionSources {

std::optional<bool> fromEnvironment()
{
    const QByteArray value = qgetenv("PORTHIVE_REDUCE_MOTION");
    if (value == "1")
        return true;
    if (value == "0")
        return false;
    return std::nullopt;
}

std::optional<bool> fromPortal(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return std::nullopt;
    const PortalAnswer enabled =
        readPortalSetting(bus, u"org.gnome.desktop.interface"_s, u"enable-animations"_s, timeoutMs);
    if (enabled.value && enabled.value->metaType() == QMetaType::fromType<bool>())
        return !enabled.value->toBool();
    if (enabled.unreachable)
        return std::nullopt;
    const PortalAnswer factor =
        readPortalSetting(bus, u"org.kde.kdeglobals.KDE"_s, u"AnimationDurationFactor"_s, timeoutMs);
    if (factor.value)
        return animationFactorIsZero(*factor.value);
    return std::nullopt;
}

std::optional<bool> fromKdeGlobals(const QString& configFolder)
{
    if (configFolder.isEmpty())
        return std::nullopt;
    const QSettings globals(configFolder + u"/kdeglobals"_s, QSettings::IniFormat);
    const QVariant factor = globals.value(u"KDE/AnimationDurationFactor"_s);
    if (!factor.isValid())
        return std::nullopt;
    return animationFactorIsZero(factor);
}

std::optional<bool> fromGSettings(int timeoutMs)
{
    const QString tool = QStandardPaths::findExecutable(u"gsettings"_s);
    if (tool.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(tool, {u"get"_s, u"org.gnome.desktop.interface"_s, u"enable-animations"_s});
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(timeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QByteArray answer = process.readAllStandardOutput().trimmed();
    if (answer == "false")
        return true;
    if (answer == "true")
        return false;
    return std::nullopt;
}

} // namespace ReduceMotionSources

bool systemPrefersReducedMotion()
{
    using namespace ReduceMotionSources;
    if (const auto forced = fromEnvironment())
        return *forced;
#if defined(Q_OS_LINUX)
    constexpr int timeoutMs = 500;
    if (const auto portal = fromPortal(QDBusConnection::sessionBus(), timeoutMs))
        return *portal;
    if (const auto kde = fromKdeGlobals(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)))
        return *kde;
    if (const auto gnome = fromGSettings(timeoutMs))
        return *gnome;
#endif
    return false;
}
