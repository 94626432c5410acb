#pragma once

#include <QLocale>
#include <QString>

// What the usage analytics of extended mode tell about the machine.
namespace SystemInfo {

// The system's name and its major and minor version, as "macOS 14.5" or "Debian 12".
QString osVersion();
// The processor architecture this program is built for: "arm64" or "x86_64" (other builds give Qt's name).
QString architecture();
// The two-letter language code of `locale` ("en"), or "unknown" for the C locale.
QString languageCode(const QLocale& locale);

// `name`, a space and the first two dot-separated parts of `version`; the name alone without a version.
QString formatOSVersion(const QString& name, const QString& version);
// The name and version an os-release file gives, or the kernel's when it names no system.
QString linuxOSVersion(const QString& osRelease, const QString& kernelVersion);

} // namespace SystemInfo
