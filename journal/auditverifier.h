#pragma once

#include "journal/auditrecord.h"

#include <QSqlDatabase>
#include <QString>

// Checks an audit trail's hash chain, record by record in the order of their numbers
// (memory stays bounded however long the trail is), and names the first break:
//   Altered  a record whose content no longer gives its hash;
//   Removed  records missing before a record (its number jumps and its link points past
//            them);
//   Inserted a record that does not belong to the chain: the record after it links to the
//            one before it;
//   CutOff   with a head hash (taken from the copy off the machine): it is not found in the
//            trail, so the records from it on were cut off the end.
class AuditVerifier {
public:
    enum class Finding { Intact, Altered, Removed, Inserted, CutOff, Unreadable };

    struct Result {
        Finding finding = Finding::Intact;
        qint64 sequence = 0; // the record named (the first removed one for Removed)
        qint64 records = 0; // records checked
        QString lastHash; // of the last record of an intact trail
        QString message; // one line, names the record
    };

    static Result verify(const QSqlDatabase &database, const QString &head = QString());
};
