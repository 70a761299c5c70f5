#include "journal/databaselog.h"
#include "journal/databaseparams.h"
#include "journal/eventtablemodel.h"
#include "journal/journalexporter.h"
#include "journal/journallocation.h"
#include "journal/journalquery.h"
#include "pgcluster.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

// The journal's behaviour on both engines: every test runs once on an SQLite file and once
// on a database of a throwaway PostgreSQL cluster, written by a login of the monitor and
// console roles (so the roles' rights are what the journal gets).

namespace {

const QDateTime base(QDate(2024, 3, 5), QTime(14, 7, 9));

struct RuleRow {
    const char *name, *offers, *recorded;
};

} // namespace

Q_DECLARE_METATYPE(RuleRow)

class TestSiteJournal : public QObject {
    Q_OBJECT

    std::unique_ptr<PgCluster> m_cluster;
    std::unique_ptr<TestUtil::WorkDir> m_dir;
    QString m_database; // PostgreSQL: this test's database
    int m_databases = 0;

    bool onServer() const
    {
        QFETCH_GLOBAL(bool, server);
        return server;
    }

    // A new, empty journal of this test's engine.
    JournalLocation freshJournal()
    {
        if (!onServer())
            return JournalLocation::file(m_dir->filePath(QStringLiteral("log.sqlite")));
        m_database = QStringLiteral("site%1").arg(++m_databases);
        const QString writer = m_database + QStringLiteral("_writer");
        if (!m_cluster->createDatabase(m_database) ||
            !m_cluster->createLogin(
                writer,
                {m_database + QStringLiteral("_monitor"), m_database + QStringLiteral("_console")}))
            qWarning() << m_cluster->error();
        return JournalLocation::parse(m_cluster->url(m_database, writer));
    }

    // A statement with the owner's rights, beside the journal.
    QString ownerExec(const QString &statement)
    {
        if (onServer())
            return m_cluster->sql(m_database, statement);
        return TestUtil::sqlite3(m_dir->filePath(QStringLiteral("log.sqlite")), statement);
    }

    QString ownerValue(const QString &query)
    {
        if (onServer())
            return m_cluster->value(m_database, query);
        return TestUtil::sqlite3(m_dir->filePath(QStringLiteral("log.sqlite")), query).trimmed();
    }

    QString codes()
    {
        return ownerValue(onServer() ? QStringLiteral("SELECT string_agg(error_id::text, ' ' "
                                                      "ORDER BY record_id) FROM error_log;")
                                     : QStringLiteral("SELECT group_concat(error_id, ' ') FROM "
                                                      "(SELECT error_id FROM error_log ORDER "
                                                      "BY record_id);"));
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

    void initTestCase()
    {
        m_cluster = std::make_unique<PgCluster>();
        QVERIFY2(m_cluster->isValid(), qPrintable(m_cluster->error()));
    }

    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        m_dir.reset();
        // A test that failed while the server was stopped leaves it stopped.
        if (m_cluster && !m_cluster->isRunning())
            QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));
    }

    void repetitionRules_data()
    {
        const RuleRow rows[] = {
            {"line fault, normal, fault", "9@0 9@1 33@2 9@3 9@4", "9 33 9"},
            {"general fault cleared and back", "2@0 1073741826@1 2@2 2@3", "2 1073741826 2"},
            {"lost, restored, lost again", "1@11 1@12 1073741825@20 1073741825@21 1@31 1@32",
             "1 1073741825 1"},
            {"lost and restored in the same second",
             "1@11 1073741825@11 1073741825@11 1073741825@12", "1 1073741825"},
        };
        TestUtil::addRows(rows, {"", "reopened for each: "});
    }

    void repetitionRules()
    {
        QFETCH(RuleRow, row);
        const bool reopened = QByteArray(QTest::currentDataTag()).startsWith("reopened");
        const JournalLocation journal = freshJournal();
        auto log = std::make_unique<DatabaseLog>(journal);
        QVERIFY2(log->isUsable(), qPrintable(log->openError()));
        for (const QString &offer : QString(row.offers).split(QLatin1Char(' '))) {
            if (reopened)
                log = std::make_unique<DatabaseLog>(journal);
            QVERIFY(log->insertEvent(4, QString(), offer.section(QLatin1Char('@'), 0, 0).toInt(),
                                     base.addSecs(offer.section(QLatin1Char('@'), 1).toInt())));
        }
        log.reset();
        QCOMPARE(codes(), QString::fromLatin1(row.recorded));
    }

    // Record numbers beyond 32 bits, in the journal, its view and its lookups.
    void recordNumbersBeyond32Bits()
    {
        const JournalLocation journal = freshJournal();
        {
            DatabaseLog made(journal); // the file's tables
        }
        QCOMPARE(ownerExec(QStringLiteral("INSERT INTO error_log (record_id, param_time, "
                                          "device_unique_id, error_id, error_description, seen) "
                                          "VALUES (4294967297, '10:00:00 01.01.2024', 5, 2, '', "
                                          "0);")),
                 QString());
        if (onServer())
            QCOMPARE(m_cluster->value(m_database,
                                      "SELECT setval('error_log_record_id_seq', "
                                      "4294967297);"),
                     QStringLiteral("4294967297"));
        DatabaseLog log(journal);
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        QVERIFY(log.insertEvent(5, QString(), 4, base));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.first().at(0).value<EventRecord>().recordId, Q_INT64_C(4294967298));
        QCOMPARE(log.maxRecordId(), Q_INT64_C(4294967298));
        QDateTime time;
        int device = 0;
        int code = 0;
        QVERIFY(log.eventById(Q_INT64_C(4294967297), time, device, code));
        QCOMPARE(code, 2);
        QCOMPARE(log.tableModel()->rowCount(), 2);
        QCOMPARE(log.tableModel()->record(0).recordId, Q_INT64_C(4294967298));
        // The fault already recorded is not recorded again.
        QVERIFY(log.insertEvent(5, QString(), 2, base.addSecs(1)));
        QCOMPARE(log.eventCount(0), 2);
    }

    // The history's pages: newest first by time, then by record number, each page going on
    // below the last.
    void historyPaging()
    {
        const JournalLocation journal = freshJournal();
        DatabaseLog log(journal);
        {
            DatabaseLog::Transaction burst(&log);
            for (int i = 0; i < 30; ++i) // devices 1..3, times going back and forth
                QVERIFY(
                    log.insertEvent(1 + i % 3, QString(), 1000 + i, base.addSecs((i * 7) % 11)));
        }
        QVector<int> expected;
        for (int second = 10; second >= 0; --second) {
            for (int i = 29; i >= 0; --i) {
                if ((i * 7) % 11 == second && i % 3 != 2)
                    expected << 1000 + i;
            }
        }
        JournalFilter filter;
        filter.restrictDevices({1, 2});
        JournalQuery query(log.database());
        JournalQuery::Cursor cursor;
        QVector<int> seen;
        QVector<EventRecord> rows;
        while (!cursor.atEnd) {
            QString error;
            QVERIFY2(query.page(filter, &cursor, 6, &rows, &error), qPrintable(error));
            QVERIFY(rows.size() <= 6);
            for (const EventRecord &record : qAsConst(rows))
                seen << record.code;
        }
        QCOMPARE(seen, expected);
    }

    // The spreadsheet of the journal, read back with openpyxl.
    void exportToSpreadsheet()
    {
        const JournalLocation journal = freshJournal();
        {
            DatabaseLog log(journal);
            QVERIFY(log.insertEvent(3, QString(), 2, base));
            QVERIFY(log.insertEvent(3, QString(), 1073741826, base.addSecs(1)));
            QVERIFY(log.insertEvent(-1, QString(), 255, base.addSecs(2)));
        }
        const QString path = m_dir->filePath(QStringLiteral("out.xlsx"));
        const JournalExporter::Outcome outcome = JournalExporter::exportFile(
            journal.text(), {{3, {QStringLiteral("Громкоговоритель"), QString()}}}, path,
            base.addDays(1));
        QVERIFY2(outcome.result == JournalExporter::Result::Written, qPrintable(outcome.error));
        QCOMPARE(outcome.records, 3);
        QProcess python;
        python.start("/usr/bin/python3",
                     {QStringLiteral(NORDA_SOURCE_DIR "/tests/xlsxdump.py"), path});
        QVERIFY(python.waitForFinished(60000));
        QStringList cells;
        const QJsonArray all = QJsonDocument::fromJson(python.readAllStandardOutput())
                                   .object()
                                   .value("sheets")
                                   .toArray()
                                   .at(0)
                                   .toObject()
                                   .value("cells")
                                   .toArray();
        for (const QJsonValue &cell : all) {
            const QString ref = cell.toObject().value("ref").toString();
            if (ref.mid(1).toInt() >= 5)
                cells << ref + QLatin1Char('=') + cell.toObject().value("value").toString();
        }
        QCOMPARE(cells,
                 (QStringList {"A5=14:07:11 05.03.2024", "B5=ПК", "C5=Подтверждение просмотра",
                               "A6=14:07:10 05.03.2024", "B6=Громкоговоритель",
                               "C6=Неисправность УМ снята", "A7=14:07:09 05.03.2024",
                               "B7=Громкоговоритель", "C7=Неисправность УМ"}));
    }

    // Records offered while the journal cannot be written are kept and written once it can:
    // a file locked by another program, a server that is stopped.
    void writesKeptWhileTheDatabaseIsDown()
    {
        const JournalLocation journal = freshJournal();
        DatabaseLog log(journal);
        log.setRetryInterval(100);
        QSignalSpy inserted(&log, &DatabaseLog::eventInserted);
        QSignalSpy failed(&log, &DatabaseLog::writeFailed);
        QVERIFY(log.insertEvent(7, QString(), 2, base));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(log.eventCount(0), 1); // the console's counter, read every second

        std::unique_ptr<QSqlQuery> lock;
        if (onServer()) {
            QVERIFY2(m_cluster->stop(), qPrintable(m_cluster->error()));
        } else {
            QVERIFY(journal.open(QStringLiteral("locker")));
            lock = std::make_unique<QSqlQuery>(QSqlDatabase::database("locker"));
            QVERIFY(lock->exec("BEGIN IMMEDIATE;"));
        }
        QVERIFY(log.insertEvent(7, QString(), 1073741826, base.addSecs(1)));
        QVERIFY(log.insertEvent(7, QString(), 2, base.addSecs(2)));
        QVERIFY(log.insertEvent(7, QString(), 2, base.addSecs(3))); // repeated: skipped
        QVERIFY(log.insertStatus(7, QStringLiteral("{\"a\":1}"), base.addSecs(3)));
        QCOMPARE(log.pendingEvents(), 2);
        QCOMPARE(log.eventCount(0), 3);
        QCOMPARE(inserted.count(), 1);
        if (onServer()) {
            QVERIFY(failed.count() == 1 || failed.wait(10000));
            QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));
        } else {
            QVERIFY(lock->exec("COMMIT;"));
            lock.reset();
            QSqlDatabase::database("locker").close();
            QSqlDatabase::removeDatabase("locker");
        }
        QTRY_COMPARE_WITH_TIMEOUT(inserted.count(), 3, 30000);
        QCOMPARE(log.pendingEvents(), 0);
        QCOMPARE(codes(), QStringLiteral("2 1073741826 2"));
        QCOMPARE(ownerValue("SELECT count(*) FROM status_log;"), QStringLiteral("1"));
    }

    // "Просмотрено" acknowledges what the list showed, not what arrived since; the
    // acknowledgement itself is never left to acknowledge. A site database keeps who.
    void acknowledgeWhatTheListShowed_data()
    {
        QTest::addColumn<QString>("by");
        QTest::addColumn<bool>("login");
        QTest::newRow("the login") << QString() << true;
        QTest::newRow("a named user") << QStringLiteral("Иванов") << false;
    }

    void acknowledgeWhatTheListShowed()
    {
        QFETCH(QString, by);
        QFETCH(bool, login);
        DatabaseLog log(freshJournal());
        QVERIFY(log.insertEvent(7, QString(), 2, base));
        QVERIFY(log.insertEvent(8, QString(), 3, base));
        const qint64 shown = log.maxRecordId();
        QVERIFY(log.insertEvent(9, QString(), 4, base.addSecs(1))); // arrived since
        QVERIFY(log.acknowledge(shown, base.addSecs(2), by));
        QCOMPARE(log.eventCount(0), 1);
        QCOMPARE(ownerValue("SELECT count(*) FROM error_log WHERE seen = 0 AND error_id = 4;"),
                 QStringLiteral("1"));
        QCOMPARE(log.tableModel()->rowCount(), 1);
        // The rules see the unacknowledged fault: offered again, it is not recorded twice.
        QVERIFY(log.insertEvent(9, QString(), 4, base.addSecs(3)));
        QCOMPARE(codes(), QStringLiteral("2 3 4 255"));
        if (!onServer())
            return;
        const QString who = login ? m_database + QStringLiteral("_writer") : by;
        QCOMPARE(ownerValue("SELECT string_agg(DISTINCT seen_by, ',') FROM error_log WHERE "
                            "seen = 1;"),
                 who);
        QCOMPARE(ownerValue("SELECT count(*) FROM error_log WHERE seen = 1 AND seen_host <> '' "
                            "AND seen_at IS NOT NULL;"),
                 QStringLiteral("3"));
    }

    // A journal copied to the other engine and back keeps its records, numbers and
    // acknowledgements; a second copy finds nothing new.
    void copyToTheOtherEngineAndBack()
    {
        const JournalLocation journal = freshJournal();
        {
            DatabaseLog log(journal);
            QVERIFY(log.insertEvent(2, QString(), 2, base));
            QVERIFY(log.insertEvent(-1, QString(), 255, base.addSecs(1)));
            QVERIFY(log.markAllSeen());
            QVERIFY(log.insertEvent(2, QString(), 9, base.addSecs(2)));
            QVERIFY(log.insertStatus(2, QStringLiteral("{\"s\":1}"), base));
            std::unique_ptr<DatabaseParams> params = journal.isPostgres()
                ? std::make_unique<DatabaseParams>(journal)
                : std::make_unique<DatabaseParams>(m_dir->filePath("params.sqlite"));
            QVERIFY(params->insertParam(2, QStringLiteral("volume"), QStringLiteral("7"), base));
        }
        const QString other = QStringLiteral("other%1").arg(++m_databases);
        QVERIFY2(m_cluster->createDatabase(other), qPrintable(m_cluster->error()));
        QDir().mkpath(m_dir->filePath("a"));
        QDir().mkpath(m_dir->filePath("b"));
        const QString there =
            journal.isPostgres() ? m_dir->filePath("a/log.sqlite") : m_cluster->url(other);
        const QString back =
            journal.isPostgres() ? m_cluster->url(other) : m_dir->filePath("b/log.sqlite");
        for (const auto &step : {std::make_pair(journal.text(), there), {there, back}}) {
            const TestUtil::CliRun copied = TestUtil::runCli(
                {"journal", "copy", "--from", step.first, "--to", step.second, "--progress"});
            QVERIFY2(copied.err.contains("] 100%"), qPrintable(copied.err));
            QCOMPARE(copied.out, QStringLiteral("5 records copied to %1\n").arg(step.second));
            QCOMPARE(copied.code, 0);
        }
        const TestUtil::CliRun again =
            TestUtil::runCli({"journal", "copy", "--from", journal.text(), "--to", there});
        QCOMPARE(again.out, QStringLiteral("0 records copied to %1\n").arg(there));

        // What came back matches the original, record by record.
        const TestUtil::CliRun original =
            TestUtil::runCli({"journal", "query", journal.text(), "--json"});
        const TestUtil::CliRun returned = TestUtil::runCli({"journal", "query", back, "--json"});
        QCOMPARE(original.code, 0);
        QCOMPARE(returned.out, original.out);
        QCOMPARE(original.out.count('\n'), 3);
        QVERIFY(original.out.contains("\"acknowledged\":true"));
        // New records on a copied site database go on above the copied numbers.
        if (!journal.isPostgres()) {
            DatabaseLog copy(JournalLocation::parse(there));
            QVERIFY(copy.insertEvent(9, QString(), 3, base));
            QCOMPARE(copy.maxRecordId(), Q_INT64_C(4));
        }
    }

    // A database of another schema version is refused, naming the command that upgrades
    // it; the roles keep each login to its rights.
    void schemaVersionAndRoles()
    {
        if (!onServer())
            QSKIP("site databases only");
        const JournalLocation journal = freshJournal();
        QCOMPARE(ownerExec("UPDATE journal_meta SET value='0' WHERE key='schema_version';"),
                 QString());
        {
            DatabaseLog log(journal);
            QVERIFY(!log.isUsable());
            QVERIFY2(log.openError().contains("norda-cli journal init-db"),
                     qPrintable(log.openError()));
        }
        TestUtil::WorkDir folder;
        TestUtil::writeFile(folder.filePath("p.mpj"), "{\"nodes\": []}");
        const TestUtil::CliRun monitor = TestUtil::runCli(
            {"monitor", "--database", journal.text(), "--seconds", "1", folder.filePath("p.mpj")},
            folder.path());
        QCOMPARE(monitor.code, 3);
        QVERIFY2(monitor.err.contains("norda-cli journal init-db"), qPrintable(monitor.err));
        QVERIFY(m_cluster->createDatabase(m_database + QStringLiteral("x")));
        QCOMPARE(TestUtil::runCli({"journal", "init-db", journal.text()}).code, 4); // no rights
        QCOMPARE(TestUtil::runCli({"journal", "init-db", m_cluster->url(m_database)}).code, 0);
        QVERIFY(DatabaseLog(journal).isUsable());

        // The console: reads, acknowledges, never deletes or rewrites events.
        const QString console = m_database + QStringLiteral("_seat");
        QVERIFY(m_cluster->createLogin(console, {m_database + QStringLiteral("_console")}));
        QCOMPARE(ownerExec("INSERT INTO error_log (param_time, device_unique_id, error_id, seen) "
                           "VALUES ('10:00:00 01.01.2024', 1, 2, 0);"),
                 QString());
        QVERIFY(m_cluster->sql(m_database, "DELETE FROM error_log;", console)
                    .contains("permission denied"));
        QVERIFY(m_cluster->sql(m_database, "UPDATE error_log SET error_id=3;", console)
                    .contains("permission denied"));
        // Only an acknowledgement moves the counter the monitors watch.
        QCOMPARE(ownerValue("SELECT is_called::int FROM ack_changes;"), QStringLiteral("0"));
        QCOMPARE(m_cluster->sql(m_database, "UPDATE error_log SET seen=1, seen_by=current_user;",
                                console),
                 QString());
        QCOMPARE(ownerValue("SELECT seen_by FROM error_log;"), console);
        QCOMPARE(ownerValue("SELECT is_called::int FROM ack_changes;"), QStringLiteral("1"));
        // Users: the console reads them and records failed log-ins, never changes them.
        QCOMPARE(ownerExec("INSERT INTO users (name, level, password_hash) VALUES ('a', 4, 'h');"),
                 QString());
        for (const char *change :
             {"INSERT INTO users (name, level, password_hash) VALUES ('b', "
              "4, 'h');",
              "UPDATE users SET level=1, password_hash='x';", "DELETE FROM users;"})
            QVERIFY(m_cluster->sql(m_database, change, console).contains("permission denied"));
        QCOMPARE(
            m_cluster->sql(m_database, "UPDATE users SET failed_logins=1, retry_after=5;", console),
            QString());
        QCOMPARE(ownerValue("SELECT failed_logins FROM users;"), QStringLiteral("1"));
        // Another site's roles cannot even connect; the password comes from PGPASSWORD too.
        QVERIFY(m_cluster->sql("postgres", "SELECT 1;", console).isEmpty());
        QVERIFY(!m_cluster->sql(m_database + QStringLiteral("x"), "SELECT 1;", console).isEmpty());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("PGPASSFILE");
        environment.insert("PGPASSWORD", PgCluster::password());
        QCOMPARE(TestUtil::runCli({"journal", "query", m_cluster->url(m_database, console)},
                                  QString(), environment)
                     .code,
                 0);
        environment.insert("PGPASSWORD", "wrong");
        QCOMPARE(TestUtil::runCli({"journal", "query", m_cluster->url(m_database, console)},
                                  QString(), environment)
                     .code,
                 2);
    }
};

QTEST_GUILESS_MAIN(TestSiteJournal)
#include "tst_sitejournal.moc"
