#include "project/faultlisttext.h"

#include <QStringList>

QString FaultListText::format(const QVector<DeviceFault> &faults)
{
    QStringList entries;
    entries.reserve(faults.size());
    for (const DeviceFault &fault : faults)
        entries << QStringLiteral("%1:%2:%3").arg(fault.kind).arg(fault.index).arg(fault.state);
    return entries.join(QLatin1Char(';'));
}

QVector<DeviceFault> FaultListText::parse(const QString &text, bool *ok)
{
    QVector<DeviceFault> faults;
    bool allGood = true;
    const QStringList entries = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        if (faults.size() >= maxFaults) {
            allGood = false;
            break;
        }
        const QStringList parts = entry.split(QLatin1Char(':'));
        bool good = parts.size() == 3;
        DeviceFault fault;
        if (good) {
            bool a = false, b = false, c = false;
            fault.kind = parts.at(0).toInt(&a);
            fault.index = parts.at(1).toInt(&b);
            fault.state = parts.at(2).toInt(&c);
            good = a && b && c && fault.kind >= 0 && fault.kind <= DeviceFault::None;
        }
        if (good)
            faults << fault;
        else
            allGood = false;
    }
    if (ok)
        *ok = allGood;
    return faults;
}
