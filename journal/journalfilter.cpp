#include "journal/journalfilter.h"

#include "journal/databasewrapper.h"

#include <algorithm>

qint64 JournalFilter::timeKey(const QString &storedTime)
{
    // Positions of "hh:mm:ss dd.MM.yyyy".
    if (storedTime.size() != 19)
        return 0;
    static const int digits[] = {15, 16, 17, 18, 12, 13, 9, 10, 0, 1, 3, 4, 6, 7};
    qint64 key = 0;
    for (const int at : digits) {
        const QChar c = storedTime.at(at);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        key = key * 10 + (c.unicode() - '0');
    }
    return key;
}

qint64 JournalFilter::timeKey(const QDateTime &time)
{
    return time.isValid() ? timeKey(DatabaseWrapper::timeText(time)) : 0;
}

QString JournalFilter::timeKeySql(const QString &column)
{
    return QStringLiteral("CAST(substr(%1,16,4)||substr(%1,13,2)||substr(%1,10,2)||"
                          "substr(%1,1,2)||substr(%1,4,2)||substr(%1,7,2) AS INTEGER)")
        .arg(column);
}

namespace {

QVector<int> intersect(bool restricted, const QVector<int> &current, const QVector<int> &other)
{
    QVector<int> result;
    if (!restricted) {
        result = other;
    } else {
        for (const int value : current) {
            if (other.contains(value))
                result.append(value);
        }
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

} // namespace

void JournalFilter::restrictCodes(const QVector<int> &other)
{
    codes = intersect(byCode, codes, other);
    byCode = true;
}

void JournalFilter::restrictDevices(const QVector<int> &other)
{
    deviceIds = intersect(byDevice, deviceIds, other);
    byDevice = true;
}
