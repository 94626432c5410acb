#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Pure, thread-safe scrubbing of secrets (and, for free text, of URLs, loopback addresses and user paths).
namespace Redaction {

inline const QString placeholder = QStringLiteral("<redacted>");

// Keeps `word` up to and including the first separator and appends the placeholder; the placeholder
// alone when no separator occurs.
QString redactSecretValue(const QString& word, const QList<QChar>& separators);
QString redactCommandLine(const QString& text);
QString redactTelemetryText(const QString& text);
QHash<QString, QString> redactTelemetryProperties(const QHash<QString, QString>& properties);

// Whether a key names a secret (containment of one of the secret words, case-insensitive).
bool namesSecret(const QString& key);

// Whether a value, shown on its own, would give a secret away: a bearer credential, a private key block, a key in
// the form a known service issues (sk_live_…), or anything redactCommandLine hides in it (a URL's password or
// secret query parameters, NAME=value under a secret name, a header). Line breaks and tabs count as spaces.
bool looksSecret(const QString& value);

} // namespace Redaction

using Redaction::redactCommandLine;
using Redaction::redactSecretValue;
using Redaction::redactTelemetryProperties;
using Redaction::redactTelemetryText;
