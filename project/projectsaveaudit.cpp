#include "project/projectsaveaudit.h"

#include "project/projectfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

QString sha256(const QByteArray &content)
{
    return content.isEmpty()
        ? QString()
        : QString::fromLatin1(
              QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

void collectDevices(const QJsonArray &nodes, QSet<QString> *devices, int depth)
{
    if (depth > 64)
        return;
    for (const QJsonValue &value : nodes) {
        const QJsonObject node = value.toObject();
        if (node.value(QStringLiteral("nodetype")).toString() == QLatin1String("device"))
            devices->insert(QStringLiteral("%1 №%2").arg(
                node.value(QStringLiteral("type")).toString(),
                QString::number(node.value(QStringLiteral("serial")).toVariant().toLongLong())));
        collectDevices(node.value(QStringLiteral("nodes")).toArray(), devices, depth + 1);
    }
}

QSet<QString> devicesOf(const QByteArray &content)
{
    QSet<QString> devices;
    collectDevices(
        QJsonDocument::fromJson(content).object().value(QStringLiteral("nodes")).toArray(),
        &devices, 0);
    return devices;
}

QJsonArray sorted(const QSet<QString> &set)
{
    QStringList list = set.values();
    list.sort();
    return QJsonArray::fromStringList(list);
}

} // namespace

QByteArray ProjectSaveAudit::currentContent(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > ProjectFile::maxFileSize)
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject ProjectSaveAudit::details(const QString &path, const QByteArray &before,
                                      const QByteArray &after)
{
    const QSet<QString> old = devicesOf(before);
    const QSet<QString> now = devicesOf(after);
    return {
        {QStringLiteral("file"), QFileInfo(path).absoluteFilePath()},
        {QStringLiteral("sha256_before"), sha256(before)},
        {QStringLiteral("sha256_after"), sha256(after)},
        {QStringLiteral("devices_added"), sorted(now - old)},
        {QStringLiteral("devices_removed"), sorted(old - now)},
    };
}
