#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

class DatabaseLog;

// Keeps the status journal ("status_log", every accepted status document: some 17 MB per
// device and day) within its limits: documents older than a number of days, and the
// oldest ones while the file uses more than a number of MiB, are removed. A step removes
// at most one batch and is run by a timer of its own, never by the poll tick: quickly
// one after the other while there is more to remove, then every few seconds.
class StatusLogRetention : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultDays = 7;
    static constexpr int defaultMaxMb = 2048;
    // Documents removed at most per step: by age, and while the file is too large (a
    // smaller batch there, so that not much more goes than needed).
    static constexpr int batchRows = 2000;
    static constexpr int sizeBatchRows = 256;
    static constexpr int idleIntervalMs = 10000;
    static constexpr int busyIntervalMs = 50;

    explicit StatusLogRetention(DatabaseLog *log);

    // 0 lifts a limit; with both at 0 every document is kept.
    void setLimits(int days, int maxMb);
    int days() const { return m_days; }
    int maxMb() const { return m_maxMb; }

    // Removes at most batchRows of the oldest documents that are beyond a limit. The
    // number removed; -1 when the journal could not be read or written, or when the
    // oldest document is not newer than the last one removed (the walk does not move:
    // trimming then stops, with a message in the debug log).
    int step(const QDateTime &now = QDateTime::currentDateTime());

signals:
    void trimmed(int rows);

private:
    void onTimer();
    void schedule(int ms);

    DatabaseLog *m_log;
    int m_days = defaultDays;
    int m_maxMb = defaultMaxMb;
    qint64 m_removedThrough = 0;
    bool m_more = false; // the last step removed a whole batch: there may be more
    bool m_stuck = false;
    QTimer m_timer;
};
