#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

// Which events of the journal a history view or query shows. Times are the stored local
// times as sortable keys (yyyyMMddhhmmss, see timeKey()); devices are the journal's
// device ids (the caller turns serials, types and groups into ids), codes the event codes.
struct JournalFilter {
    qint64 fromKey = 0; // 0: no lower bound
    qint64 toKey = 0; // 0: no upper bound
    bool byDevice = false; // only the devices in deviceIds (none when it is empty)
    QVector<int> deviceIds;
    bool byCode = false; // only the codes in codes (none when it is empty)
    QVector<int> codes;
    bool unacknowledgedOnly = false;

    // "hh:mm:ss dd.MM.yyyy" as 20261207010203; 0 for a text of another form.
    static qint64 timeKey(const QString &storedTime);
    static qint64 timeKey(const QDateTime &time);
    // The same rule in SQL, over the column or expression `column` holding the text.
    static QString timeKeySql(const QString &column);

    // Narrows `codes` to those also in `other` (the first restriction sets it).
    void restrictCodes(const QVector<int> &other);
    void restrictDevices(const QVector<int> &other);
};
