#pragma once

#include <QMetaType>
#include <QString>

// One row of the event journal ("error_log"), as stored.
struct EventRecord {
    int recordId = 0;
    QString time; // "hh:mm:ss dd.MM.yyyy"
    int deviceId = 0;
    int code = 0;
    QString description;
    int seen = 0;
};

Q_DECLARE_METATYPE(EventRecord)
