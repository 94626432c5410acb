#pragma once

#include <QString>

class UserDefaults;

// The user's two analytics switches. Extended analytics counts only while anonymous analytics is on.
struct AnalyticsConsent
{
    bool anonymousAnalyticsEnabled = false;
    bool extendedAnalyticsEnabled = false;

    friend bool operator==(const AnalyticsConsent&, const AnalyticsConsent&) = default;
};

enum class AnalyticsMode
{
    Off,
    Anonymous,
    Extended
};

namespace AnalyticsModes {

AnalyticsMode fromConsent(const AnalyticsConsent& consent);
// The text usage events carry as "analytics_mode".
QString text(AnalyticsMode mode);

} // namespace AnalyticsModes

// Reads the consent from the user defaults. The keys belong to the user: they are never written here.
class AnalyticsConsentPreferences
{
public:
    static inline const QString anonymousKey = QStringLiteral("PorthiveAnonymousAnalyticsEnabled");
    static inline const QString extendedKey = QStringLiteral("PorthiveExtendedAnalyticsEnabled");

    explicit AnalyticsConsentPreferences(UserDefaults& defaults)
        : m_defaults(&defaults)
    {}

    UserDefaults& defaults() const { return *m_defaults; }

    // A key that is absent or not stored as a Boolean counts as off.
    AnalyticsConsent load() const;

private:
    UserDefaults* m_defaults;
};
