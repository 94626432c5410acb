#pragma once

#include "telemetry/analyticsclient.h"

#include <QList>
#include <QTest>

// Records what the application hands its analytics client.
class RecordingAnalyticsClient final : public AnalyticsCapturing
{
public:
    void updateConsent(const AnalyticsConsent& consent) override { consents.append(consent); }
    void capture(const AnalyticsEvent& event) override { events.append(event); }

    QList<QString> eventNames() const
    {
        QList<QString> names;
        for (const AnalyticsEvent& event : events)
            names.append(event.name());
        return names;
    }

    QList<AnalyticsConsent> consents;
    QList<AnalyticsEvent> events;
};

// Failure output: the event name and every property it would carry in extended mode.
inline char* toString(const AnalyticsEvent& event)
{
    const CapturePayload payload = makeCapturePayload(AnalyticsMode::Extended, {}, event);
    QString text = payload.eventName + u'{';
    bool first = true;
    for (auto it = payload.properties.cbegin(); it != payload.properties.cend(); ++it) {
        if (it.key().startsWith(u'$') || it.key() == QStringLiteral("analytics_mode") ||
            it.key() == QStringLiteral("app_version") || it.key() == QStringLiteral("app_build") ||
            it.key() == QStringLiteral("os_version") || it.key() == QStringLiteral("architecture") ||
            it.key() == QStringLiteral("locale_language"))
            continue;
        if (!first)
            text += QStringLiteral(", ");
        first = false;
        text += it.key() + u'=' + it.value().debugText();
    }
    text += u'}';
    return qstrdup(text.toUtf8().constData());
}

inline char* toString(const AnalyticsValue& value)
{
    return qstrdup(value.debugText().toUtf8().constData());
}

inline char* toString(const AnalyticsConsent& consent)
{
    const QByteArray text = QByteArray("AnalyticsConsent(anonymous=") +
                            (consent.anonymousAnalyticsEnabled ? "true" : "false") +
                            ", extended=" + (consent.extendedAnalyticsEnabled ? "true" : "false") + ")";
    return qstrdup(text.constData());
}
