#include "tools/devsim/simjournal.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QTextStream>

namespace {

bool number(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok && *value >= low && *value <= high;
}

} // namespace

SimJournal::SimJournal()
{
    reset(defaultCapacity);
    const quint32 now = quint32(QDateTime::currentSecsSinceEpoch());
    append(record(now - 3 * 3600, 0x80 | 0x40 | 1));
    append(record(now - 2 * 3600, 0x80 | 1));
    append(record(now - 3600, 0x80 | 0x40 | 10, 0, 0x02));
}

void SimJournal::clear()
{
    reset(ring.size());
}

void SimJournal::reset(int capacity, int start)
{
    ring = QVector<QString>(qBound(1, capacity, maxCapacity));
    writePosition = qBound(0, start, ring.size() - 1);
    records = 0;
}

void SimJournal::append(const QString &text)
{
    ring[writePosition] = text;
    writePosition = (writePosition + 1) % ring.size();
    records = qMin(records + 1, ring.size());
}

QString SimJournal::record(quint32 seconds, int codeByte, int number, int mask)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((seconds >> (8 * i)) & 0xFF));
    bytes.append(char(codeByte)).append(char(number)).append(char(mask));
    return QString::fromLatin1(bytes.toHex().toUpper());
}

void SimJournal::appendMadeUp(int count, quint32 firstSeconds)
{
    // Codes 0 to 15 in turn, present and ended by turns, faults among them.
    for (int k = 0; k < count; ++k) {
        const int code = k % 16;
        const int codeByte = code | ((k / 16) % 2 ? 0 : 0x40) | (code == 8 || code == 9 ? 0 : 0x80);
        append(record(firstSeconds + quint32(60 * k), codeByte, 1 + k % 8, 1 << (k % 8)));
    }
}

bool SimJournal::apply(const QString &text, QString *error)
{
    int capacity = ring.size();
    int start = 0;
    int madeUp = -1;
    int wrong = -1;
    QStringList fromFile;
    bool haveFile = false;
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = item.section(QLatin1Char('='), 1);
        if (key == QLatin1String("capacity") && number(value, 1, maxCapacity, &capacity))
            continue;
        if (key == QLatin1String("start") && number(value, 0, maxCapacity - 1, &start))
            continue;
        if (key == QLatin1String("records") && number(value, 0, 10 * maxCapacity, &madeUp))
            continue;
        if (key == QLatin1String("wrong-index") && number(value, 0, maxCapacity - 1, &wrong))
            continue;
        if (key == QLatin1String("file") && !value.isEmpty()) {
            QFile file(value);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
                *error = QStringLiteral("cannot read journal file %1").arg(value);
                return false;
            }
            QTextStream in(&file);
            while (!in.atEnd()) {
                const QString line = in.readLine().trimmed();
                if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                    fromFile << line;
            }
            haveFile = true;
            continue;
        }
        *error = QStringLiteral("bad journal item '%1': expected capacity=N, start=P, records=N, "
                                "file=PATH or wrong-index=I")
                     .arg(item);
        return false;
    }
    if (start >= capacity) {
        *error = QStringLiteral("journal start %1 is not below its capacity %2")
                     .arg(start)
                     .arg(capacity);
        return false;
    }
    reset(capacity, start);
    wrongIndex = wrong;
    if (madeUp > 0)
        appendMadeUp(madeUp, quint32(QDateTime::currentSecsSinceEpoch()) - quint32(60 * madeUp));
    if (haveFile) {
        for (const QString &line : qAsConst(fromFile))
            append(line);
    }
    return true;
}

bool SimJournal::answer(const QString &arguments, QString *value) const
{
    const QStringList parts = arguments.split(QLatin1Char(','));
    int index = 0;
    if (parts.size() != 2 || parts.at(0).trimmed() != QLatin1String("0") ||
        !number(parts.at(1), 0, ring.size() - 1, &index))
        return false;
    const int named = index == wrongIndex ? index + 1 : index;
    *value = QStringLiteral("0,%1,%2").arg(named).arg(ring.at(index));
    return true;
}
