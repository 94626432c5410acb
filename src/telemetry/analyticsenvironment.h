#pragma once

#include <QLocale>
#include <QString>

class BundleInfo;

// What extended analytics tells about the running copy of the application.
struct AnalyticsEnvironment
{
    QString appVersion;
    QString appBuild;
    QString osVersion;
    QString architecture;
    QString localeLanguage;

    // The versions from the bundle ("unknown" when absent), the rest from the platform.
    static AnalyticsEnvironment current(const BundleInfo& bundle, const QLocale& locale = QLocale::system());

    friend bool operator==(const AnalyticsEnvironment&, const AnalyticsEnvironment&) = default;
};
