#include "tools/devsim/simstatusdocument.h"

#include "tools/devsim/simdevice.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

void setBit(QByteArray &bytes, int n)
{
    bytes[n / 8] = char(uchar(bytes.at(n / 8)) | (1u << (n % 8)));
}

} // namespace

QByteArray SimStatusDocument::binaryState(const SimDevice &device)
{
    QByteArray bytes(stateBytes, '\0');
    bytes[0] = char(qint8(device.mode));
    bytes[3] = char(device.statusByte3);
    for (int line = 0; line < 8; ++line) {
        const int state = device.lineStates.at(line) & 3;
        if (state & 1)
            setBit(bytes, 96 + 2 * line);
        if (state & 2)
            setBit(bytes, 97 + 2 * line);
    }
    for (int k = 0; k < 32; ++k) {
        if (device.consoleFaults & (1u << k))
            setBit(bytes, 120 + k);
    }
    for (int j = 0; j < 9; ++j) {
        if (device.extensionFaults & (1u << j))
            setBit(bytes, 152 + j);
    }
    return bytes;
}

QJsonObject SimStatusDocument::build(const SimDevice &device)
{
    QJsonObject document {
        {QStringLiteral("device"), device.reportedKey},
        {QStringLiteral("serial"), device.serial},
        {QStringLiteral("version"), device.version},
        {QStringLiteral("errors"), QJsonArray::fromStringList(device.errors)},
        {QStringLiteral("binstate"), QString::fromLatin1(binaryState(device).toHex())},
    };
    if (device.keysCount >= 0)
        document.insert(QStringLiteral("keys_count"), device.keysCount);
    return document;
}

QByteArray SimStatusDocument::body(const SimDevice &device)
{
    return QJsonDocument(build(device)).toJson(QJsonDocument::Compact);
}
