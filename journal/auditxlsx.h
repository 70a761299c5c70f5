#pragma once

#include "journal/auditrecord.h"

#include <QString>
#include <QVector>

// The audit trail's records as a spreadsheet: one row per record, in the order given, with
// its number, UTC time, user, host, device, action, details and hash.
class AuditXlsx {
public:
    static QStringList columns();
    static bool write(const QVector<AuditRecord> &records, const QString &path);
};
