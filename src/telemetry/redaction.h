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

} // namespace Redaction

using Redaction::redactCommandLine;
using Redaction::redactSecretValue;
using Redaction::redactTelemetryProperties;
using Redaction::redactTelemetryText;
