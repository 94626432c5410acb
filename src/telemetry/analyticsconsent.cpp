#include "telemetry/analyticsconsent.h"

#include "platform/storage/userdefaults.h"

namespace AnalyticsModes {

AnalyticsMode fromConsent(const AnalyticsConsent& consent)
{
    if (!consent.anonymousAnalyticsEnabled)
        return AnalyticsMode::Off;
    return consent.extendedAnalyticsEnabled ? AnalyticsMode::Extended : AnalyticsMode::Anonymous;
}

QString text(AnalyticsMode mode)
{
    switch (mode) {
    case AnalyticsMode::Off:
        return QStringLiteral("off");
    case AnalyticsMode::Anonymous:
        return QStringLiteral("anonymous");
    case AnalyticsMode::Extended:
        return QStringLiteral("extended");
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace AnalyticsModes

AnalyticsConsent AnalyticsConsentPreferences::load() const
{
    const bool anonymous = m_defaults->boolValue(anonymousKey).value_or(false);
    const bool extended = m_defaults->boolValue(extendedKey).value_or(false);
    return AnalyticsConsent{anonymous, anonymous && extended};
}
