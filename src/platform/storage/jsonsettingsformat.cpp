#include "platform/storage/jsonsettingsformat.h"

#include "platform/platformlog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

const QString bytesKey = QStringLiteral("$base64");

QJsonValue toJson(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QJsonObject{{bytesKey, QString::fromLatin1(value.toByteArray().toBase64())}};
    case QMetaType::QVariantList: {
        QJsonArray array;
        for (const QVariant& element : value.toList())
            array.append(toJson(element));
        return array;
    }
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), toJson(it.value()));
        return object;
    }
    default:
        return QJsonValue::fromVariant(value);
    }
}

QVariant fromJson(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (std::floor(d) == d && std::abs(d) < 9007199254740992.0)
            return QVariant::fromValue(qint64(d));
        return d;
    }
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& element : value.toArray())
            list.append(fromJson(element));
        return list;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.size() == 1 && object.value(bytesKey).isString())
            return QByteArray::fromBase64(object.value(bytesKey).toString().toLatin1());
        QVariantMap map;
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    default:
        return value.toVariant();
    }
}

} // namespace

std::optional<QVariantMap> decodeSettings(QByteArrayView bytes)
{
    QVariantMap map;
    if (bytes.trimmed().isEmpty())
        return map;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCDebug(lcStorage) << "the settings are no JSON object:"
                           << (error.error != QJsonParseError::NoError ? error.errorString()
                                                                       : QStringLiteral("another value"))
                           << "at" << error.offset;
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        map.insert(it.key(), fromJson(it.value()));
    return map;
}

QByteArray encodeSettings(const QVariantMap& values)
{
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), toJson(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}
