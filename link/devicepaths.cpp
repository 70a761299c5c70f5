#include "link/devicepaths.h"

#include "project/datasize.h"

namespace {

struct Unit {
    QLatin1String device;
    QLatin1String display;
};

const Unit units[] = {
    {QLatin1String("0:"), QLatin1String("flash:")},
    {QLatin1String("1:"), QLatin1String("SD:")},
};

} // namespace

const QString DevicePaths::audioFolder = QStringLiteral("0:\\audio");
const QString DevicePaths::configFile = QStringLiteral("0:\\config.ini");
const QString DevicePaths::keyFile = QStringLiteral("0:\\keys\\key_cfg.bin");

QString DevicePaths::audioFile(const QString &name)
{
    return audioFolder + QLatin1Char('\\') + name;
}

QString DevicePaths::toDisplay(const QString &devicePath)
{
    for (const Unit &unit : units) {
        if (devicePath.startsWith(unit.device))
            return unit.display + devicePath.mid(unit.device.size());
    }
    return devicePath;
}

QString DevicePaths::toDevice(const QString &displayPath)
{
    for (const Unit &unit : units) {
        if (displayPath.startsWith(unit.display))
            return unit.device + displayPath.mid(unit.display.size());
    }
    return displayPath;
}

QVector<DevicePaths::Row> DevicePaths::rows(const QVector<FileListing::Entry> &entries)
{
    QVector<Row> rows;
    rows.reserve(entries.size());
    for (const FileListing::Entry &entry : entries) {
        Row row;
        row.devicePath = entry.path;
        row.displayPath = toDisplay(entry.path);
        row.folder = entry.folder;
        if (!entry.folder && entry.size >= 1)
            row.sizeText = DataSize::text(entry.size);
        rows.append(row);
    }
    return rows;
}
