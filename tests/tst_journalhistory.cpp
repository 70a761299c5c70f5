#include "testutil.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/journalexporter.h"
#include "journal/journalquery.h"
#include "journal/readonlydatabase.h"
#include "monitor/journaldevices.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <algorithm>

using namespace TestUtil;

namespace {

const char oldErrorLog[] =
    "CREATE TABLE error_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,param_time "
    "TEXT,device_unique_id INTEGER,error_id INTEGER,error_description TEXT,seen INTEGER);"
    "CREATE TABLE status_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,device_unique_id "
    "INTEGER,status_json TEXT,param_time TEXT);";

// How an older version inserts: without the time key.
QString oldInsert(int device, const char *time, int code)
{
    return QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, error_id, "
                          "error_description, seen) VALUES (%1, '%2', %3, '', 0);")
        .arg(device)
        .arg(QLatin1String(time))
        .arg(code);
}

struct Stored {
    qint64 id;
    QDateTime time;
    int device;
    int code;
    bool seen;
};

struct FilterRow {
    const char *name;
    const char *cli; // norda-cli journal query options, separated by '|' ("" none)
};

} // namespace

Q_DECLARE_METATYPE(FilterRow)

class TestJournalHistory : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // A cleared project's nodes go by deleteLater(); nothing else runs the loop for them.
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // Older journals get the time key in place, once; what an older version writes into
    // an upgraded file gets its key from the file itself.
    void upgradeInPlace_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("small, at once") << 100;
        QTest::newRow("large, on a thread") << DatabaseLog::inlineIndexRecords + 5000;
    }

    void upgradeInPlace()
    {
        QFETCH(int, records);
        const QString path = m_dir->filePath("log.sqlite");
        QCOMPARE(sqlite3(path,
                         QString::fromLatin1(oldErrorLog) +
                             QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT "
                                            "i+1 FROM n WHERE i<%1) INSERT INTO error_log "
                                            "(param_time, device_unique_id, error_id, "
                                            "error_description, seen) SELECT time('10:00:00', "
                                            "'+' || (i % 3600) || ' seconds') || ' 0' || (1 + i "
                                            "% 9) || '.12.2025', i % 7, 2, '', 0 FROM n;")
                                 .arg(records - 1)),
                 QString());
        {
            DatabaseLog log(path);
            QVERIFY(log.isUsable());
            if (!log.indexesReady()) {
                QSignalSpy built(&log, &DatabaseLog::indexesBuilt);
                // Held in memory meanwhile, written after.
                QVERIFY(log.insertEvent(1, QString(), 17,
                                        QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))));
                QVERIFY(built.wait(60000));
                QCOMPARE(built.first().first().toBool(), true);
            } else {
                QVERIFY(log.insertEvent(1, QString(), 17,
                                        QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))));
            }
            QCOMPARE(log.pendingEvents(), 0);
        }
        QCOMPARE(sqlite3(path, "SELECT count(*) FROM error_log WHERE time_key IS NULL;"), "0");
        // Keys agree with the text of every record.
        QCOMPARE(sqlite3(path,
                         "SELECT count(*) FROM error_log WHERE time_key <> CAST(substr(param_time,"
                         "16,4)||substr(param_time,13,2)||substr(param_time,10,2)||substr("
                         "param_time,1,2)||substr(param_time,4,2)||substr(param_time,7,2) AS "
                         "INTEGER);"),
                 "0");
        QCOMPARE(sqlite3(path, "SELECT time_key FROM error_log WHERE error_id=17;"),
                 "20260102030405");
        QCOMPARE(sqlite3(path,
                         "SELECT count(*) FROM sqlite_master WHERE name IN "
                         "('error_log_time','error_log_device_time','error_log_code_time',"
                         "'error_log_time_key');"),
                 "4");

        // An older version opens the file and writes as it always did.
        QCOMPARE(sqlite3(path,
                         QString::fromLatin1(oldErrorLog)
                                 .replace("CREATE TABLE", "CREATE TABLE IF NOT EXISTS") +
                             oldInsert(4, "23:59:58 31.12.2026", 3)),
                 QString());
        QCOMPARE(sqlite3(path, "SELECT time_key FROM error_log WHERE error_id=3;"),
                 "20261231235958");
        QCOMPARE(sqlite3(path, "PRAGMA integrity_check;"), "ok");

        // Opened again: nothing left to upgrade.
        DatabaseLog again(path);
        QVERIFY(again.indexesReady());
        JournalQuery query(again.database());
        JournalQuery::Cursor cursor;
        QVector<EventRecord> rows;
        QVERIFY(query.page(JournalFilter(), &cursor, 2, &rows));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).code, 3);
        QCOMPARE(rows.at(1).code, 17);
    }

    void filters_data()
    {
        static const FilterRow rows[] = {
            {"everything", ""},
            {"from", "--from|12:00:00 02.03.2026"},
            {"to", "--to|12:00:00 02.03.2026"},
            {"time range", "--from|06:30:00 02.03.2026|--to|18:00:00 03.03.2026"},
            {"one serial", "--serial|702"},
            {"type", "--type|horn"},
            {"group, subgroups included", "--group|Корпус"},
            {"code", "--code|1"},
            {"unacknowledged", "--unacknowledged"},
            {"serial and code", "--serial|4201|--code|17"},
            {"type, time and unacknowledged",
             "--type|norda4200|--from|00:00:00 03.03.2026|--unacknowledged"},
            {"no such serial", "--serial|999"},
        };
        addRows(rows);
    }

    // The CLI and the query against an oracle over the records as inserted; pages of
    // seven cross the ties of records within one second.
    void filters()
    {
        QFETCH(FilterRow, row);
        const QVector<Stored> stored = fillJournal();
        const QStringList options =
            QString::fromUtf8(row.cli).split(QLatin1Char('|'), Qt::SkipEmptyParts);

        // The oracle.
        QVector<Stored> expected;
        for (const Stored &s : stored) {
            bool keep = true;
            for (int i = 0; i < options.size(); ++i) {
                const QString option = options.at(i);
                if (option == "--unacknowledged") {
                    keep = keep && !s.seen;
                    continue;
                }
                const QString value = options.value(++i);
                const QDateTime bound = QDateTime::fromString(value, "hh:mm:ss dd.MM.yyyy");
                if (option == "--from")
                    keep = keep && s.time >= bound;
                else if (option == "--to")
                    keep = keep && s.time <= bound;
                else if (option == "--serial")
                    keep = keep && m_serials.value(s.device) == value.toUInt() && s.code != 255;
                else if (option == "--type")
                    keep = keep && m_types.value(s.device) == value;
                else if (option == "--group")
                    keep = keep && (s.device == 1 || s.device == 2 || s.device == 4);
                else if (option == "--code")
                    keep = keep && s.code == value.toInt();
            }
            if (keep)
                expected << s;
        }
        std::sort(expected.begin(), expected.end(), [](const Stored &a, const Stored &b) {
            return a.time != b.time ? a.time > b.time : a.id > b.id;
        });
        QStringList expectedLines;
        for (const Stored &s : expected)
            expectedLines << QStringLiteral("%1\t%2\t%3\t%4")
                                 .arg(s.time.toString("hh:mm:ss dd.MM.yyyy"))
                                 .arg(s.code == 255 ? QStringLiteral("-")
                                                    : QString::number(m_serials.value(s.device)))
                                 .arg(s.code)
                                 .arg(EventCode::text(s.code));

        // The query in pages of seven, the filter made as the CLI makes it.
        const CliRun run = runCli(
            QStringList {"journal", "query", "log.sqlite", "--project", "project.mpj"} + options,
            m_dir->path());
        QCOMPARE(run.err, QString());
        QCOMPARE(run.code, 0);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, expectedLines);

        JournalFilter filter;
        if (row.name == QByteArray("one serial"))
            filter.restrictDevices(JournalDevices::withSerial(&m_project, 702));
        else if (row.name == QByteArray("type"))
            filter.restrictDevices(JournalDevices::ofType(&m_project, DeviceType::Horn));
        else if (row.name == QByteArray("code"))
            filter.restrictCodes({1});
        else if (row.name == QByteArray("unacknowledged"))
            filter.unacknowledgedOnly = true;
        else if (row.name != QByteArray("everything"))
            return;
        ReadOnlyDatabase reader(m_dir->filePath("log.sqlite"));
        JournalQuery query(reader.database());
        JournalQuery::Cursor cursor;
        QVector<qint64> ids;
        QVector<EventRecord> page;
        while (!cursor.atEnd) {
            QVERIFY(query.page(filter, &cursor, 7, &page));
            QVERIFY(page.size() <= 7);
            for (const EventRecord &r : qAsConst(page))
                ids << r.recordId;
        }
        QVector<qint64> expectedIds;
        for (const Stored &s : expected)
            expectedIds << s.id;
        QCOMPARE(ids, expectedIds);

        // Many devices: tested along the time index instead of device by device.
        if (row.name == QByteArray("type")) {
            JournalFilter wide = filter;
            for (int id = 1000; wide.deviceIds.size() <= JournalQuery::maxPartitions; ++id)
                wide.deviceIds << id;
            JournalQuery::Cursor wideCursor;
            QVector<qint64> wideIds;
            while (!wideCursor.atEnd) {
                QVERIFY(query.page(wide, &wideCursor, 7, &page));
                for (const EventRecord &r : qAsConst(page))
                    wideIds << r.recordId;
            }
            QCOMPARE(wideIds, expectedIds);
        }
    }

    void jsonAndErrors()
    {
        fillJournal();
        const CliRun json = runCli({"journal", "query", "log.sqlite", "--project", "project.mpj",
                                    "--serial", "4201", "--code", "17", "--json"},
                                   m_dir->path());
        QCOMPARE(json.code, 0);
        const QStringList lines = json.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        const QJsonObject first = QJsonDocument::fromJson(lines.first().toUtf8()).object();
        QCOMPARE(first.value("serial").toInt(), 4201);
        QCOMPARE(first.value("code").toInt(), 17);
        QCOMPARE(first.value("text").toString(), QStringLiteral("Обрыв ЛО2"));

        const struct {
            QStringList args;
            int code;
            const char *message;
        } failures[] = {
            {{"--serial", "4201"}, 1, "need --project"},
            {{"--from", "12:00 02.03.2026"}, 1, "--from takes a time"},
            {{"--to", "25:00:00 02.03.2026"}, 1, "--to takes a time"},
            {{"--project", "project.mpj", "--type", "bell"}, 1, "unknown type key"},
            {{"--code", "x"}, 1, "--code takes a number"},
        };
        for (const auto &failure : failures) {
            const CliRun run = runCli(QStringList {"journal", "query", "log.sqlite"} + failure.args,
                                      m_dir->path());
            QCOMPARE(run.code, failure.code);
            QVERIFY2(run.err.contains(QLatin1String(failure.message)), qPrintable(run.err));
        }
        QCOMPARE(runCli({"journal", "query", "nothere.sqlite"}, m_dir->path()).code, 2);
        QVERIFY(writeFile(m_dir->filePath("other.sqlite"), QByteArray()));
        QCOMPARE(sqlite3(m_dir->filePath("other.sqlite"), "CREATE TABLE t(x);"), QString());
        QCOMPARE(runCli({"journal", "query", "other.sqlite"}, m_dir->path()).code, 3);
    }

    // A journal no version with the time key has opened: read (never written) in record
    // order, the time bounds tested on the stored text.
    void journalWithoutTimeKey()
    {
        const QString path = m_dir->filePath("old.sqlite");
        QCOMPARE(sqlite3(path,
                         QString::fromLatin1(oldErrorLog) + oldInsert(1, "10:00:00 01.03.2026", 2) +
                             oldInsert(1, "09:00:00 02.03.2026", 3) +
                             oldInsert(1, "11:00:00 01.03.2026", 4)),
                 QString());
        const QByteArray before = readFile(path);
        const CliRun run = runCli(
            {"journal", "query", "old.sqlite", "--from", "10:30:00 01.03.2026"}, m_dir->path());
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out,
                 QStringLiteral("11:00:00 01.03.2026\t-\t4\tНет питания 220В\n"
                                "09:00:00 02.03.2026\t-\t3\tНеисправность батареи\n"));
        QCOMPARE(readFile(path), before);
    }

    // The history's export holds exactly the records of the filter, in its order.
    void filteredExport()
    {
        const QVector<Stored> stored = fillJournal();
        JournalFilter filter;
        filter.restrictDevices(JournalDevices::withSerial(&m_project, 702));
        filter.restrictCodes(EventCode::codesOf(EventCode::Kind::Connection));
        int expected = 0;
        for (const Stored &s : stored)
            expected += (s.device == 3 && (s.code == 1 || s.code == EventCode::ConnectionRestored));
        QVERIFY(expected > 0);
        const QString out = m_dir->filePath("history.xlsx");
        const JournalExporter::Outcome outcome = JournalExporter::exportFile(
            m_dir->filePath("log.sqlite"), JournalDevices::snapshot(&m_project), out,
            QDateTime::currentDateTime(), {}, 3, &filter);
        QCOMPARE(int(outcome.result), int(JournalExporter::Result::Written));
        QCOMPARE(outcome.records, qint64(expected));
        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c",
                      "import openpyxl,sys; s=openpyxl.load_workbook(sys.argv[1]).worksheets[0]; "
                      "print('\\n'.join(str(c.value) for c in s['C'] if c.value))",
                      out});
        QVERIFY(python.waitForFinished(30000));
        const QStringList texts =
            QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(
            texts.filter(QRegularExpression("^(Нет подключения|Подключение установлено)$")).size(),
            expected);
    }

private:
    // A project of five devices in nested groups and a journal of 300 records over three
    // days, several in each second, not in time order by record number.
    QVector<Stored> fillJournal()
    {
        m_project.clear();
        auto *building = new ProjectGroup("Корпус", &m_project);
        auto *floor = new ProjectGroup("Этаж 2", building);
        building->nodes << floor;
        auto add = [this](ProjectGroup *group, int id, int type, quint32 serial) {
            auto *device =
                new ProjectDevice(type, serial, QString(), false, 0, false, QString(), -1);
            device->id_obj = id;
            if (group) {
                device->setParent(group);
                group->nodes << device;
            } else {
                device->setParent(&m_project);
                m_project.nodes << device;
            }
            m_serials.insert(id, serial);
            m_types.insert(id, deviceTypeKey(type));
        };
        add(building, 1, DeviceType::Norda4200, 4201);
        add(building, 2, DeviceType::Horn, 701);
        add(nullptr, 3, DeviceType::Horn, 702);
        add(floor, 4, DeviceType::IpPult, 4301);
        add(nullptr, 5, DeviceType::Media, 901);
        m_project.nodes.prepend(building);
        m_project.lastId = 10;
        if (m_project.save(m_dir->filePath("project.mpj")) != 0)
            return {};

        QVector<Stored> stored;
        DatabaseLog log(m_dir->filePath("log.sqlite"));
        const int codes[] = {
            1, EventCode::ConnectionRestored, 2, EventCode::Cleared + 2, 17, 33, 5, 255};
        const QDateTime start(QDate(2026, 3, 1), QTime(0, 0));
        for (int i = 0; i < 300; ++i) {
            // Times go back now and then: record order is not time order.
            const QDateTime time = start.addSecs((i * 797) % (3 * 86400) / 3600 * 3600);
            const int code = codes[(i * 5) % 8];
            const int device = code == 255 ? -1 : 1 + i % 5;
            log.insertEvent(device, QString(), code, time);
            if (i == 150)
                log.markAllSeen();
        }
        log.flush();
        // What the journal kept (its repetition rules skip some), read back as stored.
        QSqlQuery query(log.database());
        query.exec("SELECT record_id, param_time, device_unique_id, error_id, seen FROM error_log");
        while (query.next())
            stored.append({query.value(0).toLongLong(),
                           QDateTime::fromString(query.value(1).toString(), "hh:mm:ss dd.MM.yyyy"),
                           query.value(2).toInt(), query.value(3).toInt(),
                           query.value(4).toInt() != 0});
        return stored;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    ProjectModel m_project {ProjectModel::Journals::None};
    QHash<int, quint32> m_serials;
    QHash<int, QString> m_types;
};

QTEST_GUILESS_MAIN(TestJournalHistory)
#include "tst_journalhistory.moc"
