// The history over a large event journal: builds an old-style journal of N records
// (default 10 million, 5000 devices over a year) with the sqlite3 tool, opens it as the
// console does (the time keys and their indexes are added on a thread, while the event
// loop keeps turning), then times the first and the next page of each kind of filter the
// history view offers, on the console's own connection.
//
//   bench_history [RECORDS] [FOLDER]   (FOLDER keeps the journal for another run)

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/journalquery.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace {

QTextStream out(stdout);

bool sqlite3(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        out << "sqlite3 failed: " << process.readAllStandardError() << Qt::endl;
        return false;
    }
    return true;
}

struct Case {
    const char *name;
    JournalFilter filter;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 records = argc > 1 ? QString::fromLatin1(argv[1]).toLongLong() : 10000000;
    std::unique_ptr<QTemporaryDir> temporary;
    QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (folder.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        folder = temporary->path();
    }
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/log.sqlite");

    QElapsedTimer clock;
    if (!QFileInfo::exists(path)) {
        clock.start();
        // One record every ~3 s over a year; device i % 5000 + 1; codes by a fixed mix:
        // mostly line faults and their end, some connection events, few acknowledgements.
        const bool made = sqlite3(
            path,
            QStringLiteral(
                "PRAGMA journal_mode=WAL; CREATE TABLE status_log (record_id INTEGER PRIMARY "
                "KEY AUTOINCREMENT,device_unique_id INTEGER,status_json TEXT,param_time TEXT); "
                "CREATE TABLE error_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,param_time "
                "TEXT,device_unique_id INTEGER,error_id INTEGER,error_description TEXT,seen "
                "INTEGER); WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE "
                "i<%1) INSERT INTO error_log (param_time, device_unique_id, error_id, "
                "error_description, seen) SELECT strftime('%H:%M:%S %d.%m.%Y', 1767225600 + "
                "i * 3, 'unixepoch'), CASE WHEN i % 997 = 0 THEN -1 ELSE i % 5000 + 1 END, "
                "CASE WHEN i % 997 = 0 THEN 255 WHEN i % 10 = 0 THEN 1 WHEN i % 10 = 1 THEN "
                "1073741825 WHEN i % 10 < 6 THEN 8 + i % 24 ELSE 32 + i % 8 END, '', "
                "CASE WHEN i < %1 - 50000 THEN 1 ELSE 0 END FROM n;")
                .arg(records - 1));
        if (!made)
            return 1;
        out << "journal of " << records << " records written by sqlite3 in "
            << clock.elapsed() / 1000.0 << " s, " << QFileInfo(path).size() / 1048576 << " MiB"
            << Qt::endl;
    }

    // Opened as the console opens it: the upgrade runs aside; the loop's lateness shows
    // whether anything held it.
    clock.start();
    DatabaseLog log(path);
    const qint64 openMs = clock.elapsed();
    qint64 worstLateMs = 0;
    if (!log.indexesReady()) {
        QElapsedTimer tick;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (tick.isValid())
                worstLateMs = qMax(worstLateMs, tick.elapsed() - 10);
            tick.restart();
        });
        timer.start();
        QSignalSpy built(&log, &DatabaseLog::indexesBuilt);
        built.wait(3600 * 1000);
        out << "upgrade (time keys and indexes, on a thread): " << clock.elapsed() / 1000.0
            << " s; opening took " << openMs << " ms, the event loop was at most " << worstLateMs
            << " ms late meanwhile" << Qt::endl;
    } else {
        out << "journal already upgraded; opened in " << openMs << " ms" << Qt::endl;
    }

    QVector<Case> cases;
    cases.append({"no filter", JournalFilter()});
    JournalFilter one;
    one.restrictDevices({2501});
    cases.append({"one device", one});
    JournalFilter group;
    QVector<int> fifty;
    for (int id = 1001; id <= 1050; ++id)
        fifty << id;
    group.restrictDevices(fifty);
    cases.append({"a group of 50 devices", group});
    JournalFilter type;
    QVector<int> thousand;
    for (int id = 1; id <= 5000; id += 5)
        thousand << id;
    type.restrictDevices(thousand);
    cases.append({"a type of 1000 devices", type});
    JournalFilter ack;
    ack.restrictCodes(EventCode::codesOf(EventCode::Kind::Acknowledgement));
    cases.append({"acknowledgements (rare)", ack});
    JournalFilter faults;
    faults.restrictCodes(EventCode::codesOf(EventCode::Kind::Fault));
    cases.append({"faults", faults});
    JournalFilter text;
    text.restrictCodes(EventCode::codesWithText(QStringLiteral("ЛО3")));
    cases.append({"text \"ЛО3\"", text});
    JournalFilter day;
    day.fromKey = 20260615000000;
    day.toKey = 20260615235959;
    cases.append({"one day in June", day});
    JournalFilter dayDevice = day;
    dayDevice.restrictDevices({2501});
    cases.append({"one device, one day", dayDevice});
    JournalFilter unseen;
    unseen.unacknowledgedOnly = true;
    cases.append({"unacknowledged", unseen});
    JournalFilter typeFaults = type;
    typeFaults.restrictCodes(EventCode::codesOf(EventCode::Kind::Connection));
    cases.append({"a type, connection events", typeFaults});

    out << "\nfilter                          first page   next page   rows  (pages of 200)"
        << Qt::endl;
    JournalQuery query(log.database());
    for (const Case &c : qAsConst(cases)) {
        JournalQuery::Cursor cursor;
        QVector<EventRecord> rows;
        clock.start();
        const bool ok = query.page(c.filter, &cursor, 200, &rows);
        const qint64 firstUs = clock.nsecsElapsed() / 1000;
        const int firstRows = rows.size();
        clock.start();
        query.page(c.filter, &cursor, 200, &rows);
        const qint64 nextUs = clock.nsecsElapsed() / 1000;
        out << QString::fromUtf8(c.name).leftJustified(30)
            << QString::number(firstUs / 1000.0, 'f', 1).rightJustified(9) << " ms"
            << QString::number(nextUs / 1000.0, 'f', 1).rightJustified(9) << " ms"
            << QString::number(firstRows).rightJustified(7) << (ok ? "" : "  FAILED") << Qt::endl;
    }
    return 0;
}
