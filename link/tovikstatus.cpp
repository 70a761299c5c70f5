#include "link/tovikstatus.h"

#include <QStringList>

namespace {

const char unitFormat[] = "hh:mm:ss dd/MM/yy";

bool toUnsigned(const QStringList &fields, int index, quint64 *value)
{
    if (index >= fields.size())
        return false;
    bool ok = false;
    *value = fields.at(index).trimmed().toULongLong(&ok);
    return ok;
}

} // namespace

TovikStatus TovikStatus::parse(const QString &answer)
{
    TovikStatus status;
    const QString text = answer.trimmed();
    if (text.startsWith(QLatin1String("ERROR")) || text.contains(QLatin1Char('\n')))
        return status;
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() < 3)
        return status;
    status.valid = true;
    quint64 seconds = 0;
    // A clock beyond the year 9999 is no clock.
    if (toUnsigned(fields, 2, &seconds) && seconds < 253402300800ULL)
        status.clock = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC).toLocalTime();
    status.hasJournal = toUnsigned(fields, 3, &status.journalPosition) &&
        toUnsigned(fields, 4, &status.journalCount) &&
        toUnsigned(fields, 5, &status.journalCapacity);
    if (!status.hasJournal)
        status.journalPosition = status.journalCount = status.journalCapacity = 0;
    status.hasConsoles = toUnsigned(fields, 11, &status.consoles);
    status.hasLines = toUnsigned(fields, 12, &status.lines);
    status.hasPpk = toUnsigned(fields, 13, &status.ppk);
    quint64 state = 0;
    status.hasState = toUnsigned(fields, 14, &state) && state <= 255 &&
        toUnsigned(fields, 15, &status.ppkActive) && toUnsigned(fields, 16, &status.linesActive);
    status.state = status.hasState ? int(state) : 0;
    return status;
}

int TovikStatus::buildNumber(const QString &version)
{
    const QStringList parts = version.trimmed().split(QLatin1Char('.'));
    if (parts.size() < 3)
        return 0;
    bool ok = false;
    const int build = parts.at(2).trimmed().toInt(&ok);
    return ok && build > 0 ? build : 0;
}

QDateTime TovikStatus::parseUnitTime(const QString &text)
{
    // QDateTime reads "yy" as 19xx (and so refuses 29 February of a year 2000 + yy that
    // 19yy does not have); the units count from 2000.
    const QString trimmed = text.trimmed();
    if (trimmed.size() != 17 || trimmed.at(14) != QLatin1Char('/'))
        return QDateTime();
    return QDateTime::fromString(trimmed.left(15) + QLatin1String("20") + trimmed.mid(15),
                                 QStringLiteral("hh:mm:ss dd/MM/yyyy"));
}

QString TovikStatus::unitTimeText(const QDateTime &local)
{
    if (local < earliestUnitTime() || local > latestUnitTime())
        return QString();
    return local.toString(QLatin1String(unitFormat));
}

QDateTime TovikStatus::earliestUnitTime()
{
    return QDateTime(QDate(2000, 1, 1), QTime(0, 0));
}

QDateTime TovikStatus::latestUnitTime()
{
    return QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59));
}

QString TovikStatus::displayText(const QDateTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss dd.MM.yyyy"));
}

int TovikStatus::twoBitState(quint64 field, int number)
{
    if (number < 1 || number > 32)
        return 0;
    return int((field >> (2 * (number - 1))) & 3u);
}
