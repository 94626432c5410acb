#pragma once

#include <QString>

#include <optional>

class QDBusConnection;

// Whether the desktop asks applications to reduce motion (row stagger, spinners, the scanner sweep).
// PORTHIVE_REDUCE_MOTION=1 or 0 overrides what the desktop says; off when nothing says otherwise.
bool systemPrefersReducedMotion();

// The sources, in the order systemPrefersReducedMotion asks them; each answers or has no opinion.
namespace ReduceMotionSources {

// PORTHIVE_REDUCE_MOTION: "1" or "0".
std::optional<bool> fromEnvironment();
// The desktop settings portal on `bus`: GNOME's org.gnome.desktop.interface enable-animations (false asks
// for reduced motion), else KDE's kdeglobals AnimationDurationFactor (0 asks for it).
std::optional<bool> fromPortal(const QDBusConnection& bus, int timeoutMs);
// KDE's kdeglobals file in `configFolder`: [KDE] AnimationDurationFactor=0 turns animations off.
std::optional<bool> fromKdeGlobals(const QString& configFolder);
// `gsettings get org.gnome.desktop.interface enable-animations`, when the tool is there.
std::optional<bool> fromGSettings(int timeoutMs);

} // namespace ReduceMotionSources
