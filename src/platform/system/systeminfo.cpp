#include "platform/system/systeminfo.h"

#include <QFile>
#include <QOperatingSystemVersion>
#include <QRegularExpression>
#include <QStringList>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace SystemInfo {

namespace {

// One value of an os-release file, with its shell quoting removed.
QString osReleaseValue(const QString& osRelease, const QString& key)
{
    const QStringList lines = osRelease.split(u'\n');
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(key + u'='))
            continue;
        QString value = trimmed.mid(key.size() + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value.trimmed();
    }
    return {};
}

} // namespace

QString formatOSVersion(const QString& name, const QString& version)
{
    const QStringList parts = version.trimmed().split(u'.', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return name;
    return name + u' ' + parts.mid(0, 2).join(u'.');
}

QString linuxOSVersion(const QString& osRelease, const QString& kernelVersion)
{
    // "Debian GNU/Linux" names the system by its first word.
    const QString name = osReleaseValue(osRelease, u"NAME"_s).section(u' ', 0, 0, QString::SectionSkipEmpty);
    if (!name.isEmpty())
        return formatOSVersion(name, osReleaseValue(osRelease, u"VERSION_ID"_s));
    // A kernel version such as "6.1.0-18-amd64" keeps its leading numbers only.
    static const QRegularExpression leadingNumbers(u"^[0-9]+(?:\\.[0-9]+)*"_s);
    return formatOSVersion(u"Linux"_s, leadingNumbers.match(kernelVersion).captured());
}

QString osVersion()
{
#if defined(Q_OS_MACOS)
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    return u"macOS "_s + QString::number(current.majorVersion()) + u'.' +
           QString::number(qMax(0, current.minorVersion()));
#elif defined(Q_OS_LINUX)
    QString osRelease;
    for (const QString& path : {u"/etc/os-release"_s, u"/usr/lib/os-release"_s}) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            osRelease = QString::fromUtf8(file.readAll());
            break;
        }
    }
    return linuxOSVersion(osRelease, QSysInfo::kernelVersion());
#else
    return formatOSVersion(QSysInfo::productType(), QSysInfo::productVersion());
#endif
}

QString architecture()
{
#if defined(Q_PROCESSOR_ARM_64)
    return u"arm64"_s;
#elif defined(Q_PROCESSOR_X86_64)
    return u"x86_64"_s;
#else
    return QSysInfo::buildCpuArchitecture();
#endif
}

QString languageCode(const QLocale& locale)
{
    const QLocale::Language language = locale.language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return u"unknown"_s;
    const QString code = QLocale::languageToCode(language);
    return code.isEmpty() ? u"unknown"_s : code;
}

} // namespace SystemInfo
