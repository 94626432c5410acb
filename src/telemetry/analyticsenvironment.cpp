#include "telemetry/analyticsenvironment.h"

#include "platform/system/systeminfo.h"
#include "platform/updates/bundleinfo.h"

using namespace Qt::StringLiterals;

AnalyticsEnvironment AnalyticsEnvironment::current(const BundleInfo& bundle, const QLocale& locale)
{
    return AnalyticsEnvironment{
        bundle.value(u"CFBundleShortVersionString"_s).value_or(u"unknown"_s),
        bundle.value(u"CFBundleVersion"_s).value_or(u"unknown"_s),
        SystemInfo::osVersion(),
        SystemInfo::architecture(),
        SystemInfo::languageCode(locale),
    };
}
