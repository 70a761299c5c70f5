#include "journal/statuslogretention.h"

#include "journal/databaselog.h"

#include <QDebug>

StatusLogRetention::StatusLogRetention(DatabaseLog *log)
    : QObject(log)
    , m_log(log)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StatusLogRetention::onTimer);
    schedule(idleIntervalMs);
}

void StatusLogRetention::setLimits(int days, int maxMb)
{
    m_days = qMax(0, days);
    m_maxMb = qMax(0, maxMb);
    // The first step soon: a journal opened beyond its limits starts trimming at once.
    schedule(busyIntervalMs);
}

void StatusLogRetention::schedule(int ms)
{
    if (m_stuck || !m_log->isUsable() || (m_days == 0 && m_maxMb == 0)) {
        m_timer.stop();
        return;
    }
    m_timer.start(ms);
}

void StatusLogRetention::onTimer()
{
    step();
    schedule(m_more ? busyIntervalMs : idleIntervalMs);
}

int StatusLogRetention::step(const QDateTime &now)
{
    m_more = false;
    if (m_stuck)
        return -1;
    if ((m_days == 0 && m_maxMb == 0) || !m_log->isUsable() || !m_log->indexesReady())
        return 0;
    QVector<QPair<qint64, QString>> oldest;
    if (!m_log->oldestStatuses(batchRows, oldest))
        return -1;
    if (oldest.isEmpty())
        return 0;
    if (oldest.first().first <= m_removedThrough) {
        m_stuck = true;
        qWarning().noquote() << m_log->fileName() << "status journal not trimmed: record"
                             << oldest.first().first << "is still there after removing up to"
                             << m_removedThrough;
        return -1;
    }
    qint64 through = 0;
    int count = 0;
    if (m_days > 0) {
        const QDateTime cutoff = now.addDays(-m_days);
        for (const auto &row : qAsConst(oldest)) {
            const QDateTime time = DatabaseLog::parseTime(row.second);
            // A time that cannot be read cannot be kept by its age either.
            if (time.isValid() && time >= cutoff)
                break;
            through = row.first;
            ++count;
        }
        m_more = count == batchRows;
    }
    if (through == 0 && m_maxMb > 0 && m_log->usedBytes() > qint64(m_maxMb) * 1024 * 1024) {
        count = qMin(int(oldest.size()), sizeBatchRows);
        through = oldest.at(count - 1).first;
        m_more = true; // until the size is checked again
    }
    if (through == 0)
        return 0;
    const int removed = m_log->removeStatusesThrough(through);
    if (removed < 0)
        return -1;
    m_removedThrough = through;
    emit trimmed(removed);
    return removed;
}
