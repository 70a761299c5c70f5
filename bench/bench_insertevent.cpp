// insertEvent() with a large event journal: fills log.sqlite with N records (10 million
// unless told), then times insertEvent with the lookups answered from the file (a fresh
// connection) and from memory, and the two record counts of every tick. Then opens an
// old journal of M records without its indexes (1 million unless told) and measures how
// long the opening and the event loop are held while the indexes are built aside.
//
//   bench_insertevent [--rows 10000000] [--folder DIR] [--unindexed 1000000]
//   (DIR keeps the file for reuse)

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/eventtablemodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int devices = 1000;

int randomCode(QRandomGenerator &random)
{
    static const int codes[] = {1, 0x40000001, 2, 0x40000002, 3, 4, 5, 0x40000005};
    const int pick = random.bounded(16);
    if (pick < 8)
        return codes[pick];
    return 8 + random.bounded(32); // line faults and normal
}

void fill(const QString &file, qint64 rows, QTextStream &out)
{
    {
        DatabaseLog create(file);
    } // schema and indexes
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(file);
    db.open();
    {
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA synchronous=OFF;"));
        QSqlQuery count(db);
        count.exec(QStringLiteral("SELECT count(*) FROM error_log;"));
        count.next();
        qint64 have = count.value(0).toLongLong();
        count.finish();
        if (have >= rows) {
            out << "using the " << have << " records already in " << file << Qt::endl;
            return;
        }
        out << "filling " << file << " with " << rows - have << " records..." << Qt::endl;
        QElapsedTimer clock;
        clock.start();
        QRandomGenerator random(42);
        query.prepare(QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, "
                                     "error_id, error_description, seen) VALUES (?, ?, ?, '', "
                                     "?);"));
        const QDateTime start = QDateTime::currentDateTime().addSecs(-rows / 10);
        while (have < rows) {
            db.transaction();
            for (int i = 0; i < 100000 && have < rows; ++i, ++have) {
                query.bindValue(0, int(random.bounded(devices)));
                query.bindValue(1, DatabaseWrapper::timeText(start.addSecs(have / 10)));
                query.bindValue(2, randomCode(random));
                // Most of history is acknowledged; the newest tenth is not.
                query.bindValue(3, have < rows - rows / 10 ? 1 : 0);
                query.exec();
            }
            db.commit();
        }
        out << "filled in " << clock.elapsed() / 1000 << " s" << Qt::endl;
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

QString figures(QVector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    auto at = [&ns](double share) {
        return ns.at(qBound(0, int(share * ns.size()) - 1, int(ns.size()) - 1)) / 1e6;
    };
    return QString::asprintf("p50 %.3f ms, p99 %.3f ms, max %.3f ms (%d calls)", at(0.5), at(0.99),
                             ns.last() / 1e6, int(ns.size()));
}

void timeInserts(DatabaseLog &log, int calls, QTextStream &out, const char *label)
{
    QRandomGenerator random(7);
    QVector<qint64> ns;
    QElapsedTimer clock;
    for (int i = 0; i < calls; ++i) {
        const int device = random.bounded(devices);
        const int code = randomCode(random);
        const QDateTime now = QDateTime::currentDateTime();
        clock.start();
        log.insertEvent(device, QString(), code, now);
        ns.append(clock.nsecsElapsed());
    }
    out << label << ": " << figures(ns) << Qt::endl;
}

// An old journal without indexes: opened, an event recorded at once, and the event loop's
// latency (a 10 ms timer) measured until the indexes are built aside.
void openUnindexed(const QString &file, qint64 rows, QTextStream &out)
{
    QFile::remove(file);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery query(db);
        query.exec(QStringLiteral("PRAGMA journal_mode=WAL;"));
        query.exec(QStringLiteral("CREATE TABLE error_log (record_id INTEGER PRIMARY KEY "
                                  "AUTOINCREMENT,param_time TEXT,device_unique_id INTEGER,error_id "
                                  "INTEGER,error_description TEXT,seen INTEGER);"));
        query.exec(QStringLiteral("CREATE TABLE status_log (record_id INTEGER PRIMARY KEY "
                                  "AUTOINCREMENT,device_unique_id INTEGER,status_json "
                                  "TEXT,param_time TEXT);"));
        query.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
                                  "WHERE i<%1) INSERT INTO error_log (param_time, "
                                  "device_unique_id, error_id, error_description, seen) SELECT "
                                  "'10:00:00 01.01.2024', i % %2, 8 + i % 32, '', 1 FROM n;")
                       .arg(rows)
                       .arg(devices));
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    QElapsedTimer clock;
    clock.start();
    DatabaseLog log(file);
    const double openMs = clock.nsecsElapsed() / 1e6;
    clock.start();
    log.insertEvent(1, QString(), 2, QDateTime::currentDateTime());
    const double firstMs = clock.nsecsElapsed() / 1e6;
    QElapsedTimer total;
    total.start();
    qint64 worstLateNs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstLateNs = qMax(worstLateNs, sinceTick.nsecsElapsed() - 10 * 1000000);
        sinceTick.start();
    });
    ticker.start();
    QEventLoop loop;
    QObject::connect(&log, &DatabaseLog::indexesBuilt, &loop, &QEventLoop::quit);
    if (!log.indexesReady())
        loop.exec();
    out << "journal of " << rows << " events without indexes: opened in " << openMs
        << " ms, first event taken in " << firstMs << " ms, indexes built aside in "
        << total.elapsed() << " ms; event loop late by at most " << worstLateNs / 1e6
        << " ms meanwhile; events waiting " << log.pendingEvents() << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption rowsOption("rows", "Records in the journal.", "N", "10000000");
    const QCommandLineOption folderOption("folder", "Folder for log.sqlite (kept).", "DIR");
    const QCommandLineOption unindexedOption("unindexed",
                                             "Records of the journal opened "
                                             "without indexes (0: skip).",
                                             "M", "1000000");
    parser.addOptions({rowsOption, folderOption, unindexedOption});
    parser.process(app);
    QTextStream out(stdout);

    QTemporaryDir temporary;
    const QString folder =
        parser.isSet(folderOption) ? parser.value(folderOption) : temporary.path();
    QDir().mkpath(folder);
    const QString file = QDir(folder).filePath(QStringLiteral("log.sqlite"));
    fill(file, parser.value(rowsOption).toLongLong(), out);
    out << "file size " << QFileInfo(file).size() / (1024 * 1024) << " MiB" << Qt::endl;

    {
        DatabaseLog log(file);
        log.setLookupMemory(false);
        timeInserts(log, 5000, out, "insertEvent, every lookup from the file");
        QElapsedTimer clock;
        clock.start();
        log.eventCount(-1);
        log.eventCount(0);
        out << "both record counts from the file: " << clock.nsecsElapsed() / 1e6 << " ms"
            << Qt::endl;
    }
    {
        DatabaseLog log(file);
        timeInserts(log, 20000, out, "insertEvent, fresh connection, lookups remembered");
        timeInserts(log, 20000, out, "insertEvent, warm");
        QVector<qint64> ns;
        QElapsedTimer clock;
        for (int i = 0; i < 1000; ++i) {
            clock.start();
            log.eventCount(-1);
            log.eventCount(0);
            ns.append(clock.nsecsElapsed());
        }
        out << "both record counts per tick, remembered: " << figures(ns) << Qt::endl;
    }
    {
        // The journal view: read again from the file after every event (a table model
        // re-selected per insert), against the events of one status document added at its
        // top in one insertion when their transaction commits.
        DatabaseLog log(file);
        QVector<qint64> selects;
        QElapsedTimer clock;
        for (int i = 0; i < 200; ++i) {
            clock.start();
            log.tableModel()->select();
            selects.append(clock.nsecsElapsed());
        }
        out << "journal view read again (one page): " << figures(selects) << Qt::endl;
        QRandomGenerator random(11);
        QVector<qint64> documents;
        for (int i = 0; i < 2000; ++i) {
            const int device = random.bounded(devices);
            const QDateTime now = QDateTime::currentDateTime();
            clock.start();
            {
                DatabaseLog::Transaction document(&log);
                for (int line = 0; line < 8; ++line)
                    log.insertEvent(device, QString(), 8 + 8 * random.bounded(4) + line, now);
            }
            documents.append(clock.nsecsElapsed());
        }
        out << "one status document's 8 line events, stored and shown: " << figures(documents)
            << "; view rows " << log.tableModel()->rowCount() << Qt::endl;
    }
    if (const qint64 unindexed = parser.value(unindexedOption).toLongLong(); unindexed > 0)
        openUnindexed(QDir(temporary.path()).filePath(QStringLiteral("old.sqlite")), unindexed,
                      out);
    return 0;
}
