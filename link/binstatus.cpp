#include "link/binstatus.h"

#include "project/statusdecoder.h"

BinStatus BinStatus::parse(const QString &answer)
{
    BinStatus status;
    const QString text = answer.trimmed();
    if (text.isEmpty() || text.size() % 2 != 0)
        return status;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f')))
            return status;
    }
    status.bytes = QByteArray::fromHex(text.toLatin1());
    status.valid = true;
    return status;
}

int BinStatus::bitAt(int n) const
{
    if (!valid || n / 8 >= bytes.size())
        return -1;
    return StatusDecoder::bit(bytes, n) ? 1 : 0;
}

int BinStatus::consoleFault(int k) const
{
    if (k < 0 || k >= consoleCount)
        return -1;
    return bitAt(StatusDecoder::consoleFaultBit + k);
}

int BinStatus::extensionFault(int j) const
{
    if (j < 0 || j >= extensionCount)
        return -1;
    return bitAt(StatusDecoder::extensionFaultBit + j);
}
