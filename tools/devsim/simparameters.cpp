#include "tools/devsim/simparameters.h"

#include "project/devicetype.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simfilesystem.h"

#include <QDateTime>
#include <QStringList>

namespace {

QString majorMinor(const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    return parts.value(0, QStringLiteral("1")) + QLatin1Char('.') +
        parts.value(1, QStringLiteral("0"));
}

} // namespace

bool SimParameters::answer(const SimDevice *device, const SimFileSystem &files,
                           const QString &request, QString *value)
{
    const QString name = request.section(QLatin1Char(' '), 0, 0);
    const QString arguments = request.section(QLatin1Char(' '), 1);
    const bool central = isCentralUnitType(device->type);
    if (name == QLatin1String("STATUS")) {
        *value = status(device, files);
        return true;
    }
    if (name == QLatin1String("BINSTATUS") && central) {
        *value = binaryStatus(device);
        return true;
    }
    if (name == QLatin1String("LO_CURRENT_VALUES") && central) {
        *value = lineVoltages(device);
        return true;
    }
    if (name == QLatin1String("JOURNAL") && central)
        return device->journal.answer(arguments, value);
    if (name == QLatin1String("SCREEN") && central) {
        *value = screen(device);
        return true;
    }
    return false;
}

QString SimParameters::status(const SimDevice *device, const SimFileSystem &files)
{
    if (!device->statusAnswer.isEmpty())
        return device->statusAnswer;
    const QStringList storage = {
        QString::number(device->storageStatus),
        QString::number(device->storageTotal < 0 ? SimFileSystem::capacity : device->storageTotal),
        QString::number(device->storageFree < 0 ? files.freeSpace() : device->storageFree),
    };
    QStringList fields;
    fields << device->reportedKey + QLatin1Char(' ') + QString::number(device->serial);
    fields << majorMinor(device->version);
    if (!isCentralUnitType(device->type)) {
        fields << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0")
               << QStringLiteral("0");
        fields << storage;
        return fields.join(QLatin1Char(','));
    }
    fields << QString::number(device->clock().toSecsSinceEpoch());
    fields << QString::number(device->journal.position())
           << QString::number(device->journal.count())
           << QString::number(device->journal.capacity());
    fields << storage;
    fields << QStringLiteral("0") << QStringLiteral("0");
    quint64 consoles = 0;
    for (int k = 0; k < 32; ++k) {
        const bool enabled =
            device->descriptors.value(QStringLiteral("Rs485PultEnable[%1]").arg(k)) ==
            QString::fromUtf8("да");
        const quint64 state = !enabled ? 2 : ((device->consoleFaults >> k) & 1u) ? 0 : 1;
        consoles |= state << (2 * k);
    }
    fields << QString::number(consoles);
    quint32 lines = 0;
    for (int n = 0; n < 8; ++n)
        lines |= quint32(device->lineStates[size_t(n)] & 3) << (2 * n);
    fields << QString::number(lines);
    fields << QStringLiteral("0");
    fields << QString::number(qMax(device->mode, 0));
    fields << QStringLiteral("0") << QStringLiteral("0");
    return fields.join(QLatin1Char(','));
}

QString SimParameters::binaryStatus(const SimDevice *device)
{
    QByteArray bytes(32, '\0');
    bytes[3] = char(device->statusByte3);
    for (int k = 0; k < 32; ++k) {
        if ((device->consoleFaults >> k) & 1u)
            bytes[15 + k / 8] = char(bytes.at(15 + k / 8) | (1 << (k % 8)));
    }
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString SimParameters::lineVoltages(const SimDevice *device)
{
    QStringList values;
    for (int n = 0; n < 8; ++n) {
        const int state = device->lineStates[size_t(n)];
        const int millivolts = state == 1 ? 120 : state == 2 ? 30000 : 24000 + 50 * n;
        values << QString::number(millivolts);
    }
    return values.join(QLatin1Char(','));
}

QString SimParameters::screen(const SimDevice *device)
{
    // A frame round the screen and one dot per serial number digit, enough to see that the
    // screen is read.
    QByteArray bytes(512, '\0');
    for (int column = 0; column < 128; ++column) {
        bytes[column] = char(bytes.at(column) | 0x01);
        bytes[3 * 128 + column] = char(bytes.at(3 * 128 + column) | 0x80);
    }
    for (int page = 0; page < 4; ++page) {
        bytes[page * 128] = char(0xFF);
        bytes[page * 128 + 127] = char(0xFF);
    }
    const QString digits = QString::number(device->serial);
    for (int i = 0; i < digits.size() && i < 20; ++i)
        bytes[128 + 8 + i * 6] = char(1 << (digits.at(i).digitValue() % 8));
    return QString::fromLatin1(bytes.toHex().toUpper());
}
