#pragma once

#include <QString>

#include <functional>

// Copies a journal between an SQLite file and a site database (either way, or between two
// of a kind): every table of JournalSchema::tables(), record by record with their record
// numbers, acknowledgements and, where both sides have them, the columns only one engine
// has; columns the target has and the source lacks (the server's times) are derived from
// the stored time text. Records whose number the target already holds are not copied
// again, so a second run copies nothing new.
//
// The users of the consoles go along: a user the target does not have is added with the
// same level and password hash (the failed log-ins start again at none); one it has is
// left as the target holds it.
//
// On SQLite the event journal is the file named; tables of another file (the parameters)
// are read from and written to that file beside it. The source is only read. A site
// database must have the journal schema of this program (init-db); an SQLite target is
// made when missing.
class JournalCopy {
public:
    // (records copied so far, records to copy)
    using Progress = std::function<void(qint64 done, qint64 total)>;

    struct Outcome {
        bool ok = false;
        qint64 copied = 0;
        qint64 usersAdded = 0;
        QString error;
    };

    static constexpr int pageRows = 5000;

    static Outcome copy(const QString &from, const QString &to, const Progress &progress = {});
};
