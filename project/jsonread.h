#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Readers of JSON fields that fall back to a default when the key is missing or holds
// a value of another type. Numbers must be integral and fit the target type.
class JsonRead {
public:
    static int integer(const QJsonObject &object, const char *key, int defaultValue);
    static int integer(const QJsonValue &value, int defaultValue);
    // A whole number from 0 to 4294967295.
    static quint32 uint32(const QJsonObject &object, const char *key, quint32 defaultValue);
    static bool boolean(const QJsonObject &object, const char *key, bool defaultValue);
    static QString string(const QJsonObject &object, const char *key,
                          const QString &defaultValue = QString());
    static QJsonArray array(const QJsonObject &object, const char *key);
};
