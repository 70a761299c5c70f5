#include "link/linevalues.h"

#include <QStringList>

#include <cmath>

LineValues LineValues::parse(const QString &answer)
{
    LineValues result;
    const QString text = answer.trimmed();
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return result;
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != lineCount)
        return result;
    result.valid = true;
    for (int n = 0; n < lineCount; ++n) {
        bool ok = false;
        const int value = fields.at(n).trimmed().toInt(&ok);
        result.measured[size_t(n)] = ok;
        result.values[size_t(n)] = ok ? value : 0;
    }
    return result;
}

qint64 LineValues::millivolts(double volts)
{
    if (!std::isfinite(volts))
        return 0;
    // Decimal fractions are not exact in binary: 24.0005 is stored as 24.000499999...,
    // which the plain formula would round down. A billionth of a millivolt is no value
    // a line can have.
    return qint64(std::floor(volts * 1000.0 + 0.5 + 1e-9));
}

QString LineValues::voltsText(qint64 millivolts)
{
    const QString sign = millivolts < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = millivolts < 0 ? -millivolts : millivolts;
    return sign + QString::number(magnitude / 1000) + QLatin1Char('.') +
        QStringLiteral("%1").arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
}
