#include "tools/devsim/simparameters.h"

#include "project/devicetype.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simfilesystem.h"
#include "tools/devsim/simlines.h"
#include "tools/devsim/simscreen.h"
#include "tools/devsim/simstatusdocument.h"

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
    // The binary state of the status document: line states, faulty consoles (bit 120 + k)
    // and extension units (bit 152 + j).
    return QString::fromLatin1(SimStatusDocument::binaryState(*device).toHex().toUpper());
}

QString SimParameters::lineVoltages(const SimDevice *device)
{
    return SimLines::currentValues(device);
}

QString SimParameters::screen(const SimDevice *device)
{
    return SimScreen::answer(device);
}
