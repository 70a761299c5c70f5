#pragma once

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One row of the event journal ("error_log"), as stored.
struct EventRecord {
    qint64 recordId = 0; // record numbers go beyond 32 bits
    QString time; // "hh:mm:ss dd.MM.yyyy"
    int deviceId = 0;
    int code = 0;
    QString description;
    int seen = 0;
    // The stored time as a sortable number (yyyyMMddhhmmss), where it was read.
    qint64 timeKey = 0;
};

Q_DECLARE_METATYPE(EventRecord)
