#include "project/ipv4address.h"

bool Ipv4Address::parse(const QString &text, quint32 *value)
{
    quint32 result = 0;
    int parts = 0;
    int digits = 0;
    quint32 part = 0;
    for (int i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text.at(i) == QLatin1Char('.')) {
            if (digits == 0 || part > 255 || ++parts > 4)
                return false;
            result = (result << 8) | part;
            digits = 0;
            part = 0;
            continue;
        }
        const QChar c = text.at(i);
        // Only the ASCII digits: QChar::isDigit() would take other scripts' digits too.
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || ++digits > 3)
            return false;
        part = part * 10 + quint32(c.unicode() - '0');
    }
    if (parts != 4)
        return false;
    if (value)
        *value = result;
    return true;
}

QString Ipv4Address::toString(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

QString Ipv4Address::canonical(const QString &text)
{
    quint32 value = 0;
    return parse(text, &value) ? toString(value) : QString();
}

QString Ipv4Address::networkHost(const QString &text)
{
    const QString address = canonical(text);
    if (!address.isEmpty())
        return address;
    // IPv6 addresses have colons; host names end in a label that starts with a letter
    // (no top-level domain is numeric), before an optional final dot. Anything else would
    // be read as an IPv4 address.
    if (text.contains(QLatin1Char(':')))
        return text;
    QString name = text;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    const QString last = name.section(QLatin1Char('.'), -1);
    if (!last.isEmpty() && last.at(0) >= QLatin1Char('0') && last.at(0) <= QLatin1Char('9'))
        return QString();
    return text;
}

bool Ipv4Address::sameHost(const QString &a, const QString &b)
{
    quint32 left = 0;
    quint32 right = 0;
    if (parse(a, &left) && parse(b, &right))
        return left == right;
    return a == b;
}
