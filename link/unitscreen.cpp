#include "link/unitscreen.h"

UnitScreen::UnitScreen(const QByteArray &bytes)
    : buffer(bytes)
{
}

UnitScreen UnitScreen::fromAnswer(const QString &answer)
{
    const QString text = answer.trimmed();
    if (text.size() != 2 * bufferBytes)
        return UnitScreen();
    // QByteArray::fromHex() skips what is not a digit; a damaged answer is no screen.
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool digit =
            (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!digit)
            return UnitScreen();
    }
    return UnitScreen(QByteArray::fromHex(text.toLatin1()));
}

UnitScreen UnitScreen::blank()
{
    return UnitScreen(QByteArray(bufferBytes, '\0'));
}

bool UnitScreen::dot(int column, int row) const
{
    if (!isValid() || column < 0 || column >= columns || row < 0 || row >= rows)
        return false;
    const uchar byte = uchar(buffer.at((row / 8) * pageBytes + column));
    return (byte >> (row % 8)) & 1;
}

void UnitScreen::setDot(int column, int row, bool on)
{
    if (!isValid() || column < 0 || column >= columns || row < 0 || row >= rows)
        return;
    const int index = (row / 8) * pageBytes + column;
    const uchar bit = uchar(1u << (row % 8));
    const uchar byte = uchar(buffer.at(index));
    buffer[index] = char(on ? (byte | bit) : (byte & ~bit));
}
