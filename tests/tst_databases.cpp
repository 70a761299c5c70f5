#include "journal/databaselog.h"
#include "journal/databaseparams.h"
#include "journal/eventlookupmemory.h"
#include "journal/eventtablemodel.h"
#include "journal/statuslogretention.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QDir>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TestUtil::sqlite3;

namespace {

const QDateTime base(QDate(2024, 3, 5), QTime(14, 7, 9));

QStringList warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings.append(message);
}

QList<int> storedCodes(const QString &file)
{
    QList<int> codes;
    const QString out = sqlite3(file,
                                QStringLiteral("SELECT error_id FROM error_log ORDER BY "
                                               "record_id;"));
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        codes.append(line.toInt());
    return codes;
}

struct RuleRow {
    const char *name, *offers, *recorded;
};

// A status document of a central unit with line `line` (0-based) open, or all normal.
QJsonObject lineDocument(int line = -1)
{
    QByteArray state(15, '\0');
    if (line >= 0) {
        const int bit = 96 + 2 * line + 1; // state 2: open circuit
        state[bit / 8] = char(1 << (bit % 8));
    }
    return QJsonObject {{"device", "tovik2"}, {"binstate", QString::fromLatin1(state.toHex())}};
}

// A connection of the test's own to a database file, in this thread.
class OtherConnection {
public:
    explicit OtherConnection(const QString &file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.open();
    }
    ~OtherConnection()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    bool exec(const QString &statement)
    {
        QSqlQuery query(QSqlDatabase::database(name, false));
        const bool ok = query.exec(statement);
        query.finish();
        return ok;
    }

private:
    const QString name = QStringLiteral("test-other");
};

struct FailureRow {
    const char *name;
    bool diskFull; // else: locked by another connection
};

} // namespace

Q_DECLARE_METATYPE(RuleRow)
Q_DECLARE_METATYPE(FailureRow)

class TestDatabases : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void schemas()
    {
        {
            DatabaseLog log;
            DatabaseParams params;
            QVERIFY(log.isOpen());
            QVERIFY(params.isOpen());
        }
        QVERIFY(QFile::exists("log.sqlite"));
        QCOMPARE(
            sqlite3("log.sqlite",
                    QStringLiteral("SELECT sql FROM sqlite_master WHERE type='table' AND "
                                   "name!='sqlite_sequence' ORDER BY name;")),
            QStringLiteral(
                "CREATE TABLE error_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,param_time "
                "TEXT,device_unique_id INTEGER,error_id INTEGER,error_description TEXT,seen "
                "INTEGER, time_key INTEGER)\n"
                "CREATE TABLE status_log (record_id INTEGER PRIMARY KEY "
                "AUTOINCREMENT,device_unique_id INTEGER,status_json TEXT,param_time TEXT)"));
        QCOMPARE(
            sqlite3("params.sqlite", "SELECT sql FROM sqlite_master WHERE name='dev_params';"),
            QStringLiteral("CREATE TABLE dev_params (record_id INTEGER PRIMARY KEY "
                           "AUTOINCREMENT,device_unique_id INTEGER,param_name TEXT,param_value "
                           "TEXT,param_time TEXT)"));
        QCOMPARE(sqlite3("log.sqlite", "PRAGMA journal_mode;"), "wal");
    }

    void storedForms()
    {
        {
            DatabaseLog log;
            QVERIFY(log.insertEvent(7, QString(), 0x40000002, base));
            QVERIFY(log.insertStatus(7, "{\"device\":\"horn\"}", base));
        }
        QCOMPARE(sqlite3("log.sqlite",
                         QStringLiteral("SELECT param_time, device_unique_id, error_id, "
                                        "quote(error_description), seen, typeof(error_id) FROM "
                                        "error_log;")),
                 "14:07:09 05.03.2024|7|1073741826|''|0|integer");
        QCOMPARE(sqlite3("log.sqlite",
                         QStringLiteral("SELECT device_unique_id, status_json, param_time FROM "
                                        "status_log;")),
                 "7|{\"device\":\"horn\"}|14:07:09 05.03.2024");
    }

    void quotesAreStoredIntact()
    {
        const QString tricky = "Вход \"главный\" it's '); DROP TABLE error_log; --";
        {
            DatabaseLog log;
            DatabaseParams params;
            QVERIFY(log.insertEvent(3, tricky, 2, base));
            QVERIFY(log.insertStatus(3, tricky, base));
            QVERIFY(params.insertParam(3, tricky, tricky, base));
            QString value;
            QDateTime time;
            QVERIFY(params.lastParam(3, tricky, value, time));
            QCOMPARE(value, tricky);
            QCOMPARE(time, base);
            const QVector<EventRecord> events = log.events(0, 10, false);
            QCOMPARE(events.size(), 1);
            QCOMPARE(events.first().description, tricky);
        }
        QCOMPARE(sqlite3("log.sqlite", "SELECT error_description FROM error_log;"), tricky);
        QCOMPARE(sqlite3("log.sqlite",
                         QStringLiteral("SELECT status_json FROM "
                                        "status_log;")),
                 tricky);
    }

    // Each offer is "code@second"; the result lists the codes that became records.
    void repetitionRules_data()
    {
        const RuleRow rows[] = {
            {"line fault repeated", "9@0 9@1 9@2", "9"},
            {"line fault, normal, fault", "9@0 9@1 33@2 9@3 9@4", "9 33 9"},
            {"line open, normal, open", "18@0 18@1 34@2 18@3", "18 34 18"},
            {"line normal always", "32@0 32@1 32@1", "32 32 32"},
            {"normal of another line does not count", "9@0 34@1 9@2", "9 34"},
            {"general fault repeated", "2@0 2@1 2@2", "2"},
            {"general fault cleared and back", "2@0 1073741826@1 2@2 2@3", "2 1073741826 2"},
            {"clearing offered twice", "3@0 1073741827@1 1073741827@2", "3 1073741827"},
            {"clearing without a fault", "1073741828@0 1073741828@1", "1073741828 1073741828"},
            {"connection lost every second", "1@11 1@12 1@13 1@14", "1"},
            {"lost, restored, lost again", "1@11 1@12 1073741825@20 1073741825@21 1@31 1@32 1@33",
             "1 1073741825 1"},
            {"fault and clearing in the same second", "5@0 1073741829@0 5@0", "5 1073741829 5"},
            // One-second times tie: the order of the records decides.
            {"lost and restored in the same second",
             "1@11 1073741825@11 1073741825@11 1073741825@12", "1 1073741825"},
            {"line normal and fault again in the same second", "9@0 33@1 9@1 9@2", "9 33 9"},
            {"fault cleared and back in the same second",
             "2@0 1073741826@0 2@0 2@1 1073741826@1 1073741826@2", "2 1073741826 2 1073741826"},
        };
        // Each case record by record, inside one transaction, and with the journal opened
        // anew for each offer (the rules read from the file alone).
        TestUtil::addRows(rows, {"", "in one transaction: ", "reopened for each: "});
    }

    void repetitionRules()
    {
        QFETCH(RuleRow, row);
        const QByteArray tag = QTest::currentDataTag();
        const bool oneTransaction = tag.startsWith("in one");
        const bool reopened = tag.startsWith("reopened");
        {
            auto log = std::make_unique<DatabaseLog>();
            DatabaseLog::Transaction transaction(oneTransaction ? log.get() : nullptr);
            for (const QString &offer : QString(row.offers).split(QLatin1Char(' '))) {
                const int code = offer.section(QLatin1Char('@'), 0, 0).toInt();
                const int second = offer.section(QLatin1Char('@'), 1).toInt();
                if (reopened)
                    log = std::make_unique<DatabaseLog>();
                QVERIFY(log->insertEvent(4, QString(), code, base.addSecs(second)));
            }
        }
        QStringList codes;
        for (int code : storedCodes("log.sqlite"))
            codes << QString::number(code);
        QCOMPARE(codes.join(QLatin1Char(' ')), row.recorded);
    }

    void transactions()
    {
        DatabaseLog log;
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        {
            DatabaseLog::Transaction outer(&log);
            QVERIFY(log.insertEvent(1, QString(), 2, base));
            {
                DatabaseLog::Transaction inner(&log);
                QVERIFY(log.insertEvent(1, QString(), 3, base));
                QVERIFY(log.insertStatus(1, "{}", base));
            }
            // Nothing is announced or visible to others before the outermost commit, and
            // the file is not locked meanwhile: another program writes at once.
            QCOMPARE(inserted.count(), 0);
            QCOMPARE(log.tableModel()->rowCount(), 0);
            QCOMPARE(sqlite3("log.sqlite", "SELECT count(*) FROM error_log;"), "0");
            QCOMPARE(sqlite3("log.sqlite", "INSERT INTO status_log (device_unique_id) VALUES (9);"),
                     QString());
            // Within it the rules see the records already made.
            QVERIFY(log.insertEvent(1, QString(), 2, base));
            QCOMPARE(log.eventCount(5), 2);
        }
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(log.tableModel()->rowCount(), 2);
        QCOMPARE(sqlite3("log.sqlite", "SELECT group_concat(error_id) FROM error_log;"), "2,3");
        QCOMPARE(sqlite3("log.sqlite", "SELECT count(*) FROM status_log;"), "2");
    }

    // A line that is open, normal, open and normal again within one second: each change
    // is recorded once.
    void lineChangesWithinOneSecond()
    {
        ProjectModel project;
        auto *unit =
            new ProjectDevice(DeviceType::Tovik2, 7, QString(), false, 0, true, "127.0.0.2", -1);
        project.addDevice(nullptr, unit);
        for (int line : {-1, 1, -1, 1, -1, -1})
            unit->setStatus(lineDocument(line), base);
        unit->setStatus(lineDocument(1), base.addSecs(1));
        QList<int> codes;
        for (int code : storedCodes("log.sqlite")) {
            if (code % 8 == 1)
                codes << code;
        }
        QCOMPARE(codes, (QList<int> {33, 17, 33, 17, 33, 17}));
    }

    // Writing fails: the records are kept, the failure is reported once, and once
    // writing works again every record is written exactly once.
    void failedWritesAreKeptAndRetried_data()
    {
        const FailureRow rows[] = {
            {"disk full", true},
            {"locked by another program", false},
        };
        TestUtil::addRows(rows);
    }

    void failedWritesAreKeptAndRetried()
    {
        QFETCH(FailureRow, row);
        DatabaseLog log;
        log.setRetryInterval(50);
        QSignalSpy failed(&log, &DatabaseLog::writeFailed);
        QSignalSpy recovered(&log, &DatabaseLog::writeRecovered);
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        OtherConnection other("log.sqlite");
        if (row.diskFull) {
            // No page can be added to the file: a document of some kilobytes needs some.
            const int pages = sqlite3("log.sqlite", "PRAGMA page_count;").toInt();
            QVERIFY(pages > 0);
            QVERIFY(log.exec(QStringLiteral("PRAGMA max_page_count=%1;").arg(pages)));
        } else {
            QVERIFY(other.exec("BEGIN IMMEDIATE;"));
        }
        {
            DatabaseLog::Transaction burst(&log);
            QVERIFY(log.insertStatus(3, QString(20000, QLatin1Char('x')), base));
            QVERIFY(log.insertEvent(3, QString(), 2, base));
            QVERIFY(log.insertEvent(3, QString(), 9, base));
        }
        QVERIFY(log.insertEvent(3, QString(), 4, base.addSecs(1)));
        // The rules and the counts know the records kept.
        QVERIFY(log.insertEvent(3, QString(), 2, base.addSecs(2)));
        QCOMPARE(log.eventCount(0), 3);
        QCOMPARE(log.pendingEvents(), 3);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(failed.count(), row.diskFull ? 1 : 0);

        if (row.diskFull)
            QVERIFY(log.exec("PRAGMA max_page_count=1073741823;"));
        else
            QVERIFY(other.exec("COMMIT;"));
        QVERIFY(inserted.wait(10000));
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(log.pendingEvents(), 0);
        QCOMPARE(recovered.count(), row.diskFull ? 1 : 0);
        QCOMPARE(failed.count(), row.diskFull ? 1 : 0);
        QCOMPARE(storedCodes("log.sqlite"), (QList<int> {2, 9, 4}));
        QCOMPARE(
            sqlite3("log.sqlite", "SELECT count(*), sum(length(status_json)) FROM status_log;"),
            "1|20000");
        QCOMPARE(log.eventCount(0), 3);
        // Written with their record numbers, in order.
        QVERIFY(inserted.at(0).at(0).value<EventRecord>().recordId <
                inserted.at(2).at(0).value<EventRecord>().recordId);
    }

    // The indexes of an old journal are built aside: the journal opens at once and takes
    // records meanwhile; once the indexes are there, what repeats the stored journal is
    // dropped and the rest is written.
    void indexesOfAnOldJournalAreBuiltAside()
    {
        const QString old = QStringLiteral(
            "PRAGMA journal_mode=WAL; CREATE TABLE status_log (record_id INTEGER PRIMARY KEY "
            "AUTOINCREMENT,device_unique_id INTEGER,status_json TEXT,param_time TEXT); CREATE "
            "TABLE error_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,param_time "
            "TEXT,device_unique_id INTEGER,error_id INTEGER,error_description TEXT,seen "
            "INTEGER); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE "
            "i<%1) INSERT INTO error_log (param_time, device_unique_id, error_id, "
            "error_description, seen) SELECT '10:00:00 01.01.2024', 100 + i % 500, 2, '', 1 "
            "FROM n; INSERT INTO error_log (param_time, device_unique_id, error_id, "
            "error_description, seen) VALUES ('10:00:01 01.01.2024', 7, 32, '', 1), "
            "('10:00:02 01.01.2024', 7, 3, '', 0);");
        QCOMPARE(sqlite3("old.sqlite", old.arg(DatabaseLog::inlineIndexRecords)), "wal");
        // Another program writes: the build cannot start before it is done.
        OtherConnection other("old.sqlite");
        QVERIFY(other.exec("BEGIN IMMEDIATE;"));
        DatabaseLog log("old.sqlite");
        QSignalSpy built(&log, &DatabaseLog::indexesBuilt);
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        QVERIFY(!log.indexesReady());
        QVERIFY(log.insertEvent(7, QString(), 3, base)); // the unacknowledged fault again
        QVERIFY(log.insertEvent(8, QString(), 3, base));
        QVERIFY(log.recordLineNormal(7, 0, base)); // line 1 of device 7 is already normal
        QVERIFY(log.recordLineNormal(9, 0, base));
        QVERIFY(log.insertStatus(7, "{}", base));
        QCOMPARE(log.pendingEvents(), 4);
        QCOMPARE(log.eventCount(0), 1 + 4);
        QVERIFY(other.exec("COMMIT;"));

        QVERIFY(built.wait(30000));
        QCOMPARE(built.first().at(0).toBool(), true);
        QVERIFY(log.indexesReady());
        QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 2, 10000);
        QCOMPARE(inserted.at(0).at(0).value<EventRecord>().deviceId, 8);
        QCOMPARE(inserted.at(1).at(0).value<EventRecord>().code, 32);
        QCOMPARE(log.eventCount(0), 3);
        QCOMPARE(sqlite3("old.sqlite",
                         "SELECT count(*) FROM sqlite_master WHERE type='index' AND "
                         "tbl_name='error_log';"),
                 "3");
        QCOMPARE(sqlite3("old.sqlite",
                         "SELECT group_concat(device_unique_id || ':' || error_id, ' ') FROM "
                         "error_log WHERE seen=0;"),
                 "7:3 8:3 9:32");
        QCOMPARE(sqlite3("old.sqlite", "SELECT count(*) FROM status_log;"), "1");
    }

    void acknowledgementAndMarkAllSeen()
    {
        DatabaseLog log;
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        QSignalSpy seen(&log, &DatabaseLog::allSeen);
        QVERIFY(log.insertEvent(4, QString(), 2, base));
        QVERIFY(log.insertEvent(4, QString(), 2, base.addSecs(1)));
        QCOMPARE(inserted.count(), 1);

        QVERIFY(log.insertEvent(-1, QString(), 255, base.addSecs(2)));
        QVERIFY(log.markAllSeen());
        QCOMPARE(seen.count(), 1);
        QCOMPARE(log.eventCount(0), 0);
        QCOMPARE(log.eventCount(5), 2);
        QCOMPARE(log.eventCount(1), 2);
        QDateTime time;
        QVERIFY(!log.lastEventTime(4, 2, time, 0));
        QVERIFY(log.lastEventTime(4, 2, time, 1));
        QCOMPARE(time, base);

        // A still-present fault is recorded again: no unacknowledged record of it remains.
        QVERIFY(log.insertEvent(4, QString(), 2, base.addSecs(3)));
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.last().at(0).value<EventRecord>().code, 2);
        QCOMPARE(log.eventCount(0), 1);

        // A second acknowledgement is recorded too.
        QVERIFY(log.insertEvent(-1, QString(), 255, base.addSecs(4)));
        QCOMPARE(inserted.count(), 4);
        QCOMPARE(storedCodes("log.sqlite"), (QList<int> {2, 255, 2, 255}));
    }

    void counts()
    {
        DatabaseLog log;
        for (int code = 8; code < 16; ++code)
            QVERIFY(log.insertEvent(1, QString(), code, base));
        QVERIFY(log.markAllSeen());
        QVERIFY(log.insertEvent(1, QString(), 2, base));
        QVERIFY(log.insertEvent(2, QString(), 2, base));
        QCOMPARE(log.eventCount(5), 10);
        QCOMPARE(log.eventCount(-1), 10);
        QCOMPARE(log.eventCount(0), 2);
        QCOMPARE(log.eventCount(1), 8);
        // The same figures read straight from the file.
        log.setLookupMemory(false);
        QCOMPARE(log.eventCount(5), 10);
        QCOMPARE(log.eventCount(0), 2);
    }

    void recordIdsAndEventById()
    {
        DatabaseLog log;
        QCOMPARE(log.maxRecordId(), 0);
        QCOMPARE(log.minRecordId(), 0);
        QDateTime time;
        int device = 0;
        int code = 0;
        QVERIFY(!log.eventById(1, time, device, code));

        QVERIFY(log.insertEvent(11, QString(), 3, base));
        QVERIFY(log.insertEvent(12, QString(), 0x40000003, base.addSecs(5)));
        QVERIFY(log.insertEvent(13, QString(), 255, base.addSecs(6)));
        QCOMPARE(log.minRecordId(), 1);
        QCOMPARE(log.maxRecordId(), 3);
        QVERIFY(log.eventById(2, time, device, code));
        QCOMPARE(time, base.addSecs(5));
        QCOMPARE(device, 12);
        QCOMPARE(code, 0x40000003);
        QVERIFY(log.exec("DELETE FROM error_log WHERE record_id=2;"));
        QVERIFY(!log.eventById(2, time, device, code));
    }

    void recordNumbersBeyond32Bits()
    {
        DatabaseLog log;
        const qint64 ids[] = {2147483647, 2147483648, 4294967297};
        for (qint64 id : ids)
            QVERIFY(log.exec(QStringLiteral("INSERT INTO error_log (record_id, param_time, "
                                            "device_unique_id, error_id, error_description, "
                                            "seen) VALUES (%1, '10:00:00 01.01.2024', 5, 2, '', "
                                            "0);")
                                 .arg(id)));
        // A page's worth below the first, so that the journal view reads on across them.
        QVERIFY(log.exec(QStringLiteral("INSERT INTO error_log (record_id, param_time, "
                                        "device_unique_id, error_id, error_description, seen) "
                                        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 "
                                        "FROM n WHERE i<300) SELECT 2147483647-i, '09:00:00 "
                                        "01.01.2024', 6, 3, '', 0 FROM n;")));
        QCOMPARE(log.maxRecordId(), Q_INT64_C(4294967297));
        QCOMPARE(log.minRecordId(), Q_INT64_C(2147483347));
        QDateTime time;
        int device = 0;
        int code = 0;
        QVERIFY(log.eventById(Q_INT64_C(4294967297), time, device, code));
        QVERIFY(!log.eventById(1, time, device, code));

        EventTableModel *model = log.tableModel();
        QVERIFY(model->select());
        while (model->canFetchMore())
            model->fetchMore();
        QCOMPARE(model->rowCount(), 303);
        QCOMPARE(model->data(model->index(0, 0)).toLongLong(), Q_INT64_C(4294967297));
        QCOMPARE(model->data(model->index(2, 0)).toLongLong(), Q_INT64_C(2147483647));
        QCOMPARE(model->record(302).recordId, Q_INT64_C(2147483347));

        // The next record goes on from there, and the view shows it on top.
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        QVERIFY(log.insertEvent(5, QString(), 4, base));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.first().at(0).value<EventRecord>().recordId, Q_INT64_C(4294967298));
        QCOMPARE(model->rowCount(), 304);
        QCOMPARE(model->record(0).recordId, Q_INT64_C(4294967298));
    }

    void lastParamTakesTheLaterInsert()
    {
        DatabaseParams params;
        QString value;
        QDateTime time;
        QVERIFY(!params.lastParam(1, "voltage", value, time));
        QVERIFY(params.insertParam(1, "voltage", "24.1", base));
        QVERIFY(params.insertParam(1, "voltage", "24.3", base));
        QVERIFY(params.insertParam(2, "voltage", "11", base));
        QVERIFY(params.lastParam(1, "voltage", value, time));
        QCOMPARE(value, "24.3");
        QCOMPARE(time, base);
    }

    void lookupsFollowAnotherConnection()
    {
        DatabaseLog log;
        QVERIFY(log.insertEvent(4, QString(), 2, base));
        QVERIFY(log.insertEvent(4, QString(), 2, base.addSecs(1)));
        QCOMPARE(log.eventCount(0), 1);

        // Another program acknowledges everything and adds a record of its own.
        QCOMPARE(sqlite3("log.sqlite",
                         QStringLiteral("UPDATE error_log SET seen=1; INSERT INTO error_log "
                                        "(device_unique_id, param_time, error_id, "
                                        "error_description, seen) VALUES (9, '10:00:00 "
                                        "01.01.2024', 1, '', 0);")),
                 QString());
        QCOMPARE(log.eventCount(0), 1);
        QCOMPARE(log.eventCount(5), 2);
        QDateTime time;
        QVERIFY(!log.lastEventTime(4, 2, time, 0));
        QVERIFY(log.lastEventTime(9, 1, time, 0));
        QVERIFY(log.insertEvent(4, QString(), 2, base.addSecs(2)));
        QCOMPARE(storedCodes("log.sqlite"), (QList<int> {2, 1, 2}));
    }

    // A memory that forgets everything while a lookup asks the file (it fills up at some
    // tens of thousands of devices) answers as one that never forgets.
    void lookupMemoryForgetsMidLookup_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::newRow("forgets at every key") << 1;
        QTest::newRow("forgets every few keys") << 5;
        QTest::newRow("large enough") << int(EventLookupMemory::defaultCapacity);
    }

    void lookupMemoryForgetsMidLookup()
    {
        QFETCH(int, capacity);
        {
            DatabaseLog writer;
            for (int device = 1; device <= 40; ++device) {
                QVERIFY(writer.insertEvent(device, QString(), 2, base.addSecs(device)));
                if (device % 2 == 0)
                    QVERIFY(writer.insertEvent(device, QString(), 3, base.addSecs(100 + device)));
            }
        }
        DatabaseLog log;
        log.setLookupMemoryCapacity(capacity);
        for (int round = 0; round < 2; ++round) {
            for (int device = 1; device <= 41; ++device) {
                for (const int code : {2, 3}) {
                    QDateTime time;
                    const bool expected = device <= 40 && (code == 2 || device % 2 == 0);
                    QCOMPARE(log.lastEventTime(device, code, time, -1), expected);
                    if (expected)
                        QCOMPARE(time, base.addSecs(code == 2 ? device : 100 + device));
                }
            }
        }
        // A fault offered twice while the first is still waiting to be written is recorded
        // once, however often the memory forgets in between.
        {
            DatabaseLog::Transaction batch(&log);
            for (int device = 1; device <= 41; ++device)
                QVERIFY(log.insertEvent(device, QString(), 5, base.addSecs(200)));
            for (int device = 1; device <= 41; ++device)
                QVERIFY(log.insertEvent(device, QString(), 5, base.addSecs(201)));
            QCOMPARE(log.pendingEvents(), 41);
        }
        QCOMPARE(log.pendingEvents(), 0);
    }

    void lookupsUseIndexes_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("unacknowledged") << "SELECT param_time FROM error_log WHERE "
                                           "device_unique_id=3 AND error_id=9 AND seen=0 ORDER BY "
                                           "record_id DESC LIMIT 1;";
        QTest::newRow("any") << "SELECT param_time FROM error_log WHERE device_unique_id=3 AND "
                                "error_id=9 ORDER BY record_id DESC LIMIT 1;";
        QTest::newRow("journal page") << "SELECT record_id, param_time FROM error_log WHERE seen=0 "
                                         "AND record_id<100 ORDER BY record_id DESC LIMIT 256;";
        QTest::newRow("count unacknowledged")
            << "SELECT count(*) as total FROM error_log WHERE seen=0";
    }

    void lookupsUseIndexes()
    {
        QFETCH(QString, statement);
        {
            DatabaseLog log;
        }
        const QString plan = sqlite3("log.sqlite", "EXPLAIN QUERY PLAN " + statement);
        QVERIFY2(plan.contains(QLatin1String("INDEX")), qPrintable(plan));
        QVERIFY2(!plan.contains(QLatin1String("SCAN error_log")), qPrintable(plan));
        QVERIFY2(!plan.contains(QLatin1String("TEMP B-TREE")), qPrintable(plan));
    }

    void tableModel()
    {
        DatabaseLog log;
        EventTableModel *model = log.tableModel();
        QCOMPARE(model->rowCount(), 0);

        QVERIFY(log.insertEvent(5, QString(), 2, base));
        QVERIFY(log.insertEvent(5, QString(), 3, base.addSecs(1)));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(0, 3)).toInt(), 3);
        QCOMPARE(model->data(model->index(0, 1)).toString(), "14:07:10 05.03.2024");
        QCOMPARE(model->data(model->index(1, 0)).toInt(), 1);
        QCOMPARE(model->data(model->index(1, 5)).toInt(), 0);

        QVERIFY(log.markAllSeen());
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(log.insertEvent(-1, QString(), 255, base.addSecs(2)));
        QCOMPARE(model->rowCount(), 1);

        // A fresh connection shows the same: only unacknowledged records, newest first.
        DatabaseLog again;
        QCOMPARE(again.tableModel()->rowCount(), 1);
        QCOMPARE(again.tableModel()->data(again.tableModel()->index(0, 3)).toInt(), 255);
    }

    void tableModelPages()
    {
        {
            DatabaseLog log;
            {
                DatabaseLog::Transaction all(&log);
                for (int i = 0; i < 600; ++i)
                    QVERIFY(log.insertEvent(i, QString(), 2, base));
            }
            QVERIFY(log.exec("UPDATE error_log SET seen=1 WHERE record_id % 3 = 0;"));
        }
        DatabaseLog log;
        EventTableModel *model = log.tableModel();
        QCOMPARE(model->rowCount(), EventTableModel::pageSize);
        QVERIFY(model->canFetchMore());
        while (model->canFetchMore())
            model->fetchMore();
        QCOMPARE(model->rowCount(), 400);
        qint64 previous = std::numeric_limits<qint64>::max();
        for (int row = 0; row < model->rowCount(); ++row) {
            const EventRecord record = model->record(row);
            QVERIFY(record.recordId < previous);
            QVERIFY(record.recordId % 3 != 0);
            previous = record.recordId;
        }
    }

    void writesAreCommittedWhileTheModelShowsAPage()
    {
        DatabaseLog log;
        for (int i = 0; i < 300; ++i)
            QVERIFY(log.insertEvent(i, QString(), 5, base));
        QVERIFY(log.tableModel()->select());
        QVERIFY(log.tableModel()->canFetchMore());
        QVERIFY(log.insertEvent(1000, QString(), 5, base));
        // Seen at once by another process: nothing waits for the view to finish reading.
        QCOMPARE(
            sqlite3("log.sqlite", "SELECT count(*) FROM error_log WHERE device_unique_id=1000;"),
            "1");
        // and the write-ahead log is checkpointed back into the file.
        QCOMPARE(sqlite3("log.sqlite", "PRAGMA wal_checkpoint(TRUNCATE);")
                     .section(QLatin1Char('|'), 0, 0),
                 "0");
    }

    // The status journal keeps to its limits, trimmed a batch at a time by its own timer.
    void statusJournalRetention_data()
    {
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("maxMb");
        QTest::addColumn<int>("oldDocuments"); // ten days old
        QTest::addColumn<int>("size"); // bytes of each
        QTest::addColumn<int>("kept"); // of the old ones
        QTest::newRow("older than the days")
            << 7 << 0 << StatusLogRetention::batchRows + 500 << 2 << 0;
        QTest::newRow("larger than the size") << 0 << 1 << 600 << 5000 << -1;
        QTest::newRow("no limits") << 0 << 0 << 600 << 5000 << 600;
    }

    void statusJournalRetention()
    {
        QFETCH(int, days);
        QFETCH(int, maxMb);
        QFETCH(int, oldDocuments);
        QFETCH(int, size);
        QFETCH(int, kept);
        DatabaseLog log;
        const QDateTime now = QDateTime::currentDateTime();
        {
            DatabaseLog::Transaction fill(&log);
            for (int i = 0; i < oldDocuments; ++i)
                QVERIFY(log.insertStatus(1, QString(size, QLatin1Char('o')), now.addDays(-10)));
            for (int i = 0; i < 10; ++i)
                QVERIFY(log.insertStatus(2, "{}", now));
        }
        QSignalSpy trimmed(log.statusRetention(), &StatusLogRetention::trimmed);
        log.setStatusRetention(days, maxMb);
        auto left = [] {
            return sqlite3("log.sqlite",
                           "SELECT count(*) FROM status_log WHERE device_unique_id=1;")
                .toInt();
        };
        if (kept == oldDocuments) {
            QCOMPARE(log.statusRetention()->step(), 0);
            QCOMPARE(left(), oldDocuments);
            return;
        }
        if (kept >= 0) {
            QTRY_COMPARE_WITH_TIMEOUT(left(), kept, 10000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(log.usedBytes() <= qint64(maxMb) * 1024 * 1024, 10000);
            QVERIFY(left() > 0);
        }
        // In batches, each one step of the timer.
        QVERIFY(trimmed.count() >= 2);
        for (const QList<QVariant> &step : qAsConst(trimmed))
            QVERIFY(step.at(0).toInt() <= StatusLogRetention::batchRows);
        // The recent documents stay.
        QCOMPARE(sqlite3("log.sqlite", "SELECT count(*) FROM status_log WHERE device_unique_id=2;"),
                 "10");
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("logged");
        QTest::newRow("folder missing") << "no/such/folder/log.sqlite" << QByteArray()
                                        << "no/such/folder/log.sqlite Error open db";
        QTest::newRow("not a database")
            << "garbage.sqlite" << QByteArray(8192, 'x')
            << "garbage.sqlite Error exec request file is not a database";
    }

    void unusableFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, logged);
        if (!content.isEmpty())
            QVERIFY(TestUtil::writeFile(file, content));
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        DatabaseLog log(file);
        QVERIFY2(!warnings.isEmpty() && warnings.first().startsWith(logged),
                 qPrintable(warnings.value(0)));
        QVERIFY(!log.insertEvent(1, QString(), 2, base));
        QVERIFY(!log.insertStatus(1, "{}", base));
        QCOMPARE(log.eventCount(0), 0);
        QCOMPARE(log.maxRecordId(), 0);
        QDateTime time;
        QVERIFY(!log.lastEventTime(1, 2, time, 0));
        QVERIFY(!log.markAllSeen());
        QCOMPARE(log.tableModel()->rowCount(), 0);
    }

    void projectModelOpensBothJournals()
    {
        {
            ProjectModel model;
            QVERIFY(model.logDb);
            QVERIFY(model.paramsDb);
            QVERIFY(model.logDb->insertEvent(1, QString(), 2, base));
        }
        QVERIFY(QFile::exists("log.sqlite"));
        QVERIFY(QFile::exists("params.sqlite"));
        QVERIFY(!QSqlDatabase::contains("log.sqlite"));

        QVERIFY(QFile::remove("params.sqlite"));
        ProjectModel bare(ProjectModel::Journals::None);
        QVERIFY(!bare.logDb);
        QVERIFY(!bare.paramsDb);
        QVERIFY(!QFile::exists("params.sqlite"));
    }

    void twoModelsInOneFolder()
    {
        ProjectModel first;
        ProjectModel second;
        QVERIFY(first.logDb->connectionName() != second.logDb->connectionName());
        QVERIFY(first.logDb->insertEvent(1, QString(), 2, base));
        QVERIFY(second.logDb->insertEvent(2, QString(), 2, base));
        QCOMPARE(first.logDb->eventCount(5), 2);
        QCOMPARE(second.logDb->eventCount(5), 2);
    }

private:
    std::unique_ptr<TestUtil::WorkDir> m_dir;
};

QTEST_GUILESS_MAIN(TestDatabases)
#include "tst_databases.moc"
