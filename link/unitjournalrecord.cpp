#include "link/unitjournalrecord.h"

#include <QByteArray>
#include <QStringList>

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
        (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
        (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// "<prefix>1, <prefix>3" for the set bits of `mask`.
QString numberList(int mask, const QString &prefix)
{
    QStringList items;
    for (int bit = 0; bit < 8; ++bit) {
        if (mask & (1 << bit))
            items << prefix + QString::number(bit + 1);
    }
    return items.join(QStringLiteral(", "));
}

bool plainNumber(const QString &text, quint64 *value)
{
    // Digits only: no sign, no blanks, no base prefix.
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    *value = text.toULongLong(&ok);
    return ok;
}

} // namespace

bool UnitJournalRecord::decode(const QString &hex, UnitJournalRecord *record)
{
    if (hex.size() != 2 * recordBytes)
        return false;
    for (const QChar c : hex) {
        if (!isHexDigit(c))
            return false;
    }
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (bytes.size() != recordBytes)
        return false;
    const auto byte = [&bytes](int i) { return quint32(uchar(bytes.at(i))); };
    record->seconds = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
    record->code = int(byte(4) & 0x3F);
    record->present = (byte(4) & 0x40) != 0;
    record->faultBit = (byte(4) & 0x80) != 0;
    record->number = int(byte(5));
    record->mask = int(byte(6));
    return true;
}

bool UnitJournalRecord::parseAnswer(const QString &answer, quint64 index, UnitJournalRecord *record)
{
    const QStringList fields = answer.trimmed().split(QLatin1Char(','));
    if (fields.size() != 3)
        return false;
    quint64 value = 0;
    if (!plainNumber(fields.at(0).trimmed(), &value) || value != 0)
        return false;
    if (!plainNumber(fields.at(1).trimmed(), &value) || value != index)
        return false;
    return decode(fields.at(2).trimmed(), record);
}

QString UnitJournalRecord::timeText() const
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC)
        .toLocalTime()
        .toString(QStringLiteral("hh:mm:ss dd.MM.yyyy"));
}

bool UnitJournalRecord::isFault() const
{
    return faultBit && code != 8;
}

QString UnitJournalRecord::typeText() const
{
    return isFault() ? QStringLiteral("неисправность") : QStringLiteral("событие");
}

uint32_t UnitJournalRecord::typeColor() const
{
    return isFault() ? 0x45465C : 0x597D62;
}

QString UnitJournalRecord::text() const
{
    if (code == 8)
        return QStringLiteral("СБРОС СОСТОЯНИЯ");
    QString prefix;
    if (code >= 10 && code <= 12)
        prefix = QStringLiteral("Изменение состояния линий: ");
    else if (code < 9)
        prefix = present ? QString() : QStringLiteral("Окончание неисправности: ");
    else
        prefix = QStringLiteral("Неиправность ");
    QString body;
    switch (code) {
    case 0:
        body = QStringLiteral("Неисправность батареи");
        break;
    case 1:
        body = QStringLiteral("Неисправность сети");
        break;
    case 2:
        body = QStringLiteral("Неисправность УМ");
        break;
    case 3:
        body = QStringLiteral("Неисправность Входа Управления");
        break;
    case 4:
        body = QStringLiteral("Вскрытие прибора");
        break;
    case 5:
        body = QStringLiteral("Ошибка связи с пультом №") + QString::number(number);
        break;
    case 6:
        body = QStringLiteral("Ошибка связи с БР") + QString::number(number);
        break;
    case 7:
        body = QStringLiteral("Общая ошибка БР") + QString::number(number);
        break;
    case 9:
        body = numberList(mask, QStringLiteral("ППК"));
        break;
    case 10:
        body = QStringLiteral("Короткое замыкание ") + numberList(mask, QStringLiteral("ЛО"));
        break;
    case 11:
        body = QStringLiteral("Обрыв ") + numberList(mask, QStringLiteral("ЛО"));
        break;
    case 12:
        body = QStringLiteral("выход за пределы ") + numberList(mask, QStringLiteral("ЛО"));
        break;
    case 13:
        body = QStringLiteral("Неисправность ВХОД 1");
        break;
    case 14:
        body = QStringLiteral("Неисправность ВХОД 2");
        break;
    case 15:
        body = QStringLiteral("Неисправность связи с ЦБ");
        break;
    default:
        body = QStringLiteral("Неизвестно");
        break;
    }
    return prefix + body;
}
