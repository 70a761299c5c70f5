#pragma once

#include "journal/exportdevice.h"
#include "journal/journalfilter.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <functional>

// The export of an event database to a spreadsheet, shared by the main window's
// "Экспорт..." (on a worker thread, JournalExportJob) and by norda-cli.
//
// The database file is read over a read-only connection of the export's own: the file
// is never written, whatever its mode, and the program that owns it (the console) goes
// on writing it meanwhile. Records are read a page at a time, newest first; a page that
// does not move strictly below the previous one ends the export with an error instead of
// going round in circles.
class JournalExporter {
public:
    enum class Result {
        Written, // the spreadsheet is complete
        Cancelled,
        CannotRead, // the database could not be opened or read
        Stuck, // the walk over the records did not move on
        CannotWrite, // the spreadsheet could not be written or put in place
    };

    struct Outcome {
        Result result = Result::CannotRead;
        qint64 records = 0; // events written
        QString temporaryPath; // the complete spreadsheet, not yet in place (write())
        QString error; // what went wrong, for the debug log and the command line
    };

    // (events written so far, events in the database when the export started)
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // Events read from the database at a time.
    static constexpr int defaultPageSize = 10000;

    // The file name the save dialog proposes: "Журнал_БД_" + date ("yyyyMMdd") +
    // ".xlsx", inside `folder` (the [paths] savelogpath setting) when it is not empty.
    static QString proposedFileName(const QString &folder, const QDate &date);

    // Writes every event of the database file `databasePath`, newest first, into a
    // temporary file in the folder of `path`: acknowledgements as "ПК" / "Подтверждение
    // просмотра", other events with the device found by identifier in `devices` and the
    // text of their code. Runs on the calling thread; `cancel`, when set, stops it
    // between two records. On success the outcome names the temporary file, which the
    // caller moves into place with commit() or removes with discard().
    // With a `filter`, only the events it matches, newest first by stored time (the
    // history's order); the progress total is then 0 (not known in advance).
    static Outcome write(const QString &databasePath, const ExportDevices &devices,
                         const QString &path, const QDateTime &created,
                         const std::atomic_bool *cancel = nullptr, const Progress &progress = {},
                         int pageSize = defaultPageSize, const JournalFilter *filter = nullptr);
    // Puts a written spreadsheet at `path`, replacing what was there in one step.
    static bool commit(const QString &temporaryPath, const QString &path);
    static void discard(const QString &temporaryPath);

    // write() and commit(): the spreadsheet is at `path` when the result is Written.
    static Outcome exportFile(const QString &databasePath, const ExportDevices &devices,
                              const QString &path,
                              const QDateTime &created = QDateTime::currentDateTime(),
                              const Progress &progress = {}, int pageSize = defaultPageSize,
                              const JournalFilter *filter = nullptr);
};
