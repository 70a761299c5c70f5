#include "link/devicebackup.h"

#include "link/connectiondevice.h"
#include "link/deviceconfigtable.h"
#include "project/devicetype.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

const QString DeviceBackup::formatName = QStringLiteral("norda-device-backup");

namespace {

bool wholeNumber(const QJsonValue &value, double low, double high, qint64 *number)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high)
        return false;
    *number = qint64(d);
    return true;
}

// A descriptor name as the facade hands it out: a name of letters, digits and "_",
// optionally followed by a decimal index in brackets.
bool validName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64 || name.startsWith(QLatin1String("desc_")))
        return false;
    int i = 0;
    for (; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('['))
            break;
        if (!(c.isDigit() || c == QLatin1Char('_') ||
              (c.toLatin1() >= 'A' && c.toLatin1() <= 'Z') ||
              (c.toLatin1() >= 'a' && c.toLatin1() <= 'z')))
            return false;
    }
    if (i == 0)
        return false;
    if (i == name.size())
        return true;
    const QString index = name.mid(i + 1);
    if (!index.endsWith(QLatin1Char(']')) || index.size() < 2 || index.size() > 4)
        return false;
    for (int j = 0; j < index.size() - 1; ++j) {
        if (!index.at(j).isDigit())
            return false;
    }
    return true;
}

} // namespace

QByteArray DeviceBackup::toJson() const
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), formatName);
    root.insert(QStringLiteral("version"), formatVersion);
    root.insert(QStringLiteral("type"), typeKey);
    root.insert(QStringLiteral("typeCode"), typeCode);
    root.insert(QStringLiteral("serial"), double(serial));
    root.insert(QStringLiteral("firmware"), firmware);
    root.insert(QStringLiteral("time"), time.toUTC().toString(Qt::ISODate));
    QJsonObject valueObject;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        valueObject.insert(it.key(), it.value());
    root.insert(QStringLiteral("values"), valueObject);
    QJsonObject fileObject;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        fileObject.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    root.insert(QStringLiteral("files"), fileObject);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool DeviceBackup::fromJson(const QByteArray &json, DeviceBackup *backup, QString *error)
{
    auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (json.size() > maxFileSize)
        return refuse(QStringLiteral("larger than %1 bytes").arg(maxFileSize));
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return refuse(
            QStringLiteral("not JSON: %1 at offset %2").arg(parse.errorString()).arg(parse.offset));
    if (!document.isObject())
        return refuse(QStringLiteral("not a JSON object"));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != formatName)
        return refuse(
            QStringLiteral("not a device backup (\"format\" is not \"%1\")").arg(formatName));
    qint64 number = 0;
    if (!wholeNumber(root.value(QStringLiteral("version")), 0, 1e9, &number))
        return refuse(QStringLiteral("\"version\" is not a whole number"));
    if (number != formatVersion)
        return refuse(QStringLiteral("backup format version %1 is not supported (only %2)")
                          .arg(number)
                          .arg(formatVersion));

    DeviceBackup result;
    const QJsonValue type = root.value(QStringLiteral("type"));
    if (!type.isString())
        return refuse(QStringLiteral("\"type\" is not a text"));
    result.typeKey = type.toString();
    if (!wholeNumber(root.value(QStringLiteral("typeCode")), 0, 255, &number))
        return refuse(QStringLiteral("\"typeCode\" is not a device type code"));
    result.typeCode = int(number);
    if (deviceTypeFromKey(result.typeKey) != result.typeCode ||
        DeviceConfigTable::readAll(result.typeCode, 0).isEmpty())
        return refuse(QStringLiteral("\"type\" \"%1\" and \"typeCode\" %2 name no device type "
                                     "that has a configuration")
                          .arg(result.typeKey)
                          .arg(result.typeCode));
    if (!wholeNumber(root.value(QStringLiteral("serial")), 0, 4294967295.0, &number))
        return refuse(QStringLiteral("\"serial\" is not a serial number"));
    result.serial = quint32(number);
    const QJsonValue firmware = root.value(QStringLiteral("firmware"));
    if (!firmware.isString())
        return refuse(QStringLiteral("\"firmware\" is not a text"));
    result.firmware = firmware.toString();
    const QJsonValue time = root.value(QStringLiteral("time"));
    if (!time.isString())
        return refuse(QStringLiteral("\"time\" is not a text"));
    result.time = QDateTime::fromString(time.toString(), Qt::ISODate);
    if (!result.time.isValid())
        return refuse(QStringLiteral("\"time\" is not an ISO 8601 time"));

    const QJsonValue values = root.value(QStringLiteral("values"));
    if (!values.isObject())
        return refuse(QStringLiteral("\"values\" is not an object"));
    const QJsonObject valueObject = values.toObject();
    for (auto it = valueObject.constBegin(); it != valueObject.constEnd(); ++it) {
        if (!validName(it.key()))
            return refuse(
                QStringLiteral("\"values\" has a bad descriptor name \"%1\"").arg(it.key()));
        if (!it.value().isString())
            return refuse(QStringLiteral("value \"%1\" is not a text").arg(it.key()));
        const QString text = it.value().toString();
        if (!valueTextOk(text))
            return refuse(QStringLiteral("value \"%1\" is too long or holds characters no "
                                         "device line can carry")
                              .arg(it.key()));
        result.values.insert(it.key(), text);
    }

    const QJsonValue files = root.value(QStringLiteral("files"));
    if (!files.isObject())
        return refuse(QStringLiteral("\"files\" is not an object"));
    const QJsonObject fileObject = files.toObject();
    for (auto it = fileObject.constBegin(); it != fileObject.constEnd(); ++it) {
        if (!DeviceConfigTable::isConfigFile(result.typeCode, it.key()) ||
            !ConnectionDevice::isWireText(it.key()))
            return refuse(QStringLiteral("\"files\" has \"%1\", which is no configuration file "
                                         "of a %2")
                              .arg(it.key(), result.typeKey));
        if (!it.value().isString())
            return refuse(QStringLiteral("file \"%1\" is not a base64 text").arg(it.key()));
        const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
            it.value().toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return refuse(QStringLiteral("file \"%1\" is not valid base64").arg(it.key()));
        result.files.insert(it.key(), *decoded);
    }
    *backup = result;
    return true;
}

bool DeviceBackup::valueTextOk(const QString &text, QString *why)
{
    if (text.size() > maxValueLength) {
        if (why)
            *why = QStringLiteral("it is longer than %1 characters").arg(maxValueLength);
        return false;
    }
    return ConnectionDevice::isWireText(text, why);
}

bool DeviceBackup::writableValue(DeviceConfigTable::Form form, const QString &text,
                                 QString *written)
{
    return DeviceConfigTable::writeText(form, text, written) &&
        ConnectionDevice::isWireText(*written);
}

bool DeviceBackup::load(const QString &path, DeviceBackup *backup, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("%1 is not a regular file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > maxFileSize) {
        if (error)
            *error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(maxFileSize);
        return false;
    }
    const QByteArray json = file.read(maxFileSize + 1);
    QString why;
    if (!fromJson(json, backup, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

bool DeviceBackup::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const QByteArray json = toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
