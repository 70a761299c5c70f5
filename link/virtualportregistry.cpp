#include "link/virtualportregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

// An entry is a few short lines; anything much larger is not an entry.
constexpr qint64 maxEntrySize = 4096;
// More entries than any test or demo needs; bounds the work of one enumeration.
constexpr int maxEntries = 256;

bool validName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.-]{1,64}$"));
    return pattern.match(name).hasMatch() && !name.startsWith(QLatin1Char('.'));
}

QString oneLine(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char('\n'), QLatin1Char(' '));
    result.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return result;
}

} // namespace

QString VirtualPortRegistry::directory()
{
    return QString::fromLocal8Bit(qgetenv(environmentVariable));
}

QList<PortDescription> VirtualPortRegistry::ports(const QString &dir)
{
    QList<PortDescription> result;
    if (dir.isEmpty())
        return result;
    const QFileInfoList entries = QDir(dir).entryInfoList({QStringLiteral("*.port")},
                                                          QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (result.size() >= maxEntries)
            break;
        if (entry.size() > maxEntrySize)
            continue;
        QFile file(entry.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        PortDescription port = parse(file.read(maxEntrySize));
        if (port.isNull() || !QFileInfo::exists(port.systemLocation))
            continue;
        result.append(port);
    }
    return result;
}

PortDescription VirtualPortRegistry::parse(const QByteArray &content)
{
    PortDescription port;
    port.isVirtual = true;
    const QList<QByteArray> lines = content.split('\n');
    for (const QByteArray &rawLine : lines) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        bool ok = false;
        if (key == QLatin1String("path")) {
            port.systemLocation = value;
        } else if (key == QLatin1String("name")) {
            port.portName = value;
        } else if (key == QLatin1String("description")) {
            port.description = value;
        } else if (key == QLatin1String("manufacturer")) {
            port.manufacturer = value;
        } else if (key == QLatin1String("serial")) {
            port.serialNumber = value;
        } else if (key == QLatin1String("vid")) {
            const uint id = value.toUInt(&ok, 16);
            port.hasVendorId = ok && id <= 0xFFFF;
            port.vendorId = port.hasVendorId ? uint16_t(id) : 0;
        } else if (key == QLatin1String("pid")) {
            const uint id = value.toUInt(&ok, 16);
            port.hasProductId = ok && id <= 0xFFFF;
            port.productId = port.hasProductId ? uint16_t(id) : 0;
        }
    }
    // Only absolute device paths: a registry entry never names a file relative to
    // whatever folder the program happens to run in.
    if (!port.systemLocation.startsWith(QLatin1Char('/')))
        return PortDescription();
    if (port.portName.isEmpty())
        port.portName = QFileInfo(port.systemLocation).fileName();
    return port;
}

QByteArray VirtualPortRegistry::format(const PortDescription &port)
{
    QString text;
    text += QStringLiteral("path=") + oneLine(port.systemLocation) + QLatin1Char('\n');
    text += QStringLiteral("name=") + oneLine(port.portName) + QLatin1Char('\n');
    text += QStringLiteral("description=") + oneLine(port.description) + QLatin1Char('\n');
    text += QStringLiteral("manufacturer=") + oneLine(port.manufacturer) + QLatin1Char('\n');
    text += QStringLiteral("serial=") + oneLine(port.serialNumber) + QLatin1Char('\n');
    if (port.hasVendorId)
        text += QStringLiteral("vid=%1\n").arg(port.vendorId, 4, 16, QLatin1Char('0'));
    if (port.hasProductId)
        text += QStringLiteral("pid=%1\n").arg(port.productId, 4, 16, QLatin1Char('0'));
    return text.toUtf8();
}

bool VirtualPortRegistry::publish(const QString &dir, const QString &name,
                                  const PortDescription &port)
{
    if (dir.isEmpty() || !validName(name) || port.isNull())
        return false;
    if (!QDir().mkpath(dir))
        return false;
    QSaveFile file(QDir(dir).filePath(name + QStringLiteral(".port")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(format(port));
    return file.commit();
}

bool VirtualPortRegistry::withdraw(const QString &dir, const QString &name)
{
    if (dir.isEmpty() || !validName(name))
        return false;
    return QFile::remove(QDir(dir).filePath(name + QStringLiteral(".port")));
}
