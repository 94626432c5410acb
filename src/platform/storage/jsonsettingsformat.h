#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVariantMap>

#include <optional>

// The settings file's form: one flat JSON object, so Booleans, numbers and text keep their types. Byte arrays are
// stored as {"$base64": "..."}.

// The values of a settings file; an empty or blank file holds none. Absent when the bytes are no such object.
std::optional<QVariantMap> decodeSettings(QByteArrayView bytes);
QByteArray encodeSettings(const QVariantMap& values);
