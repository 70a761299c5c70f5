#include "project/jsonread.h"

#include <cmath>
#include <limits>

int JsonRead::integer(const QJsonValue &value, int defaultValue)
{
    if (!value.isDouble())
        return defaultValue;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) ||
        number < double(std::numeric_limits<int>::min()) ||
        number > double(std::numeric_limits<int>::max()))
        return defaultValue;
    return int(number);
}

int JsonRead::integer(const QJsonObject &object, const char *key, int defaultValue)
{
    return integer(object.value(QLatin1String(key)), defaultValue);
}

quint32 JsonRead::uint32(const QJsonObject &object, const char *key, quint32 defaultValue)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return defaultValue;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || number < 0 ||
        number > double(std::numeric_limits<quint32>::max()))
        return defaultValue;
    return quint32(number);
}

bool JsonRead::boolean(const QJsonObject &object, const char *key, bool defaultValue)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() ? value.toBool() : defaultValue;
}

QString JsonRead::string(const QJsonObject &object, const char *key, const QString &defaultValue)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : defaultValue;
}

QJsonArray JsonRead::array(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toArray();
}
