#include "platform/listings/detectionplatform.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace DetectionPlatform {

namespace {

bool containsAny(const QString& text, const QStringList& needles)
{
    return std::any_of(needles.cbegin(), needles.cend(), [&](const QString& needle) { return text.contains(needle); });
}

// The macOS forms hold on every platform: a path inside an application bundle never occurs elsewhere.
QList<ProcessTextRule> bundleHelperRules()
{
    return {{{u".app/contents/"_s},
             {u" --type=utility "_s, u" --type=renderer "_s, u"node.mojom.nodeservice"_s, u"electron helper"_s}}};
}

QList<ProcessTextRule> bundleBrowserRules()
{
    return {{{u"/google chrome.app/"_s, u"/google chrome for testing.app/"_s, u"/chrome.app/"_s, u"/chromium.app/"_s,
              u"/microsoft edge.app/"_s},
             {u"--remote-debugging-port="_s}}};
}

} // namespace

bool ProcessTextRule::matches(const QString& processText) const
{
    return containsAny(processText, anyOf) && (alsoAnyOf.isEmpty() || containsAny(processText, alsoAnyOf));
}

const QList<ProcessTextRule>& appHelperRules()
{
    static const QList<ProcessTextRule> rules = [] {
        QList<ProcessTextRule> list = bundleHelperRules();
#if defined(Q_OS_LINUX)
        // Chromium-family and Electron helpers carry no bundle path on Linux; their flags name them.
        list.append({{u"--type=utility"_s, u"--type=renderer"_s, u"node.mojom.nodeservice"_s}, {}});
#endif
        return list;
    }();
    return rules;
}

const QList<ProcessTextRule>& browserDebugPortRules()
{
    static const QList<ProcessTextRule> rules = [] {
        QList<ProcessTextRule> list = bundleBrowserRules();
#if defined(Q_OS_LINUX)
        list.append(
            {{u"/opt/google/chrome/"_s, u"/chromium"_s, u"chrome-headless-shell"_s, u"/opt/microsoft/msedge/"_s},
             {u"--remote-debugging-port="_s}});
#endif
        return list;
    }();
    return rules;
}

QString initProcessSummary()
{
#if defined(Q_OS_MACOS)
    return u"launchd pid 1"_s;
#else
    return u"init pid 1"_s;
#endif
}

} // namespace DetectionPlatform
