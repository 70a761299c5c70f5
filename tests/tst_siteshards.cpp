#include "journal/databaselog.h"
#include "journal/eventspill.h"
#include "journal/journallocation.h"
#include "pgcluster.h"
#include "testutil.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <memory>

// Monitors that share a site database: shards taken over after a monitor is killed, events
// kept in the spill while the server is away, and a monitor of another project kept out.

using namespace TestUtil;

namespace {

const QString cli = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli");
const QString devsim = QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim");

const char project[] = R"({ "name": "site test", "id_obj": 9, "nodes": [
  { "nodetype": "device", "id_obj": 1, "type": "tovik2", "serial": 2001, "ip_enabled": true,
    "ip_addr": "127.86.0.2" },
  { "nodetype": "device", "id_obj": 2, "type": "horn", "serial": 2002, "ip_enabled": true,
    "ip_addr": "127.86.0.3" },
  { "nodetype": "device", "id_obj": 3, "type": "horn", "serial": 2003, "ip_enabled": true,
    "ip_addr": "127.86.0.4" }
]})";

const QString lineNormals = QStringLiteral("32 33 34 35 36 37 38 39");

EventRecord spilledEvent(int device, int code, const QString &time)
{
    EventRecord record;
    record.deviceId = device;
    record.code = code;
    record.time = time;
    return record;
}

struct SpillRow {
    const char *name;
    QByteArray content; // the file as a crash left it
    int kept;
    int damaged;
};

struct ReplayRow {
    const char *name;
    // Spilled: device, code; all with the watermark of the journal before `others`.
    QVector<QPair<int, int>> spilled;
    // Written by another monitor after the spill began: device, code.
    QVector<QPair<int, int>> others;
    const char *recorded; // device 5, then device 6: codes in record order
    int dropped;
};

} // namespace

Q_DECLARE_METATYPE(SpillRow)
Q_DECLARE_METATYPE(ReplayRow)

class TestSiteShards : public QObject {
    Q_OBJECT

    std::unique_ptr<PgCluster> m_cluster;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_databases = 0;
    QString m_database;
    QList<QProcess *> m_processes;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    // A new site database with `shards` shards and a login of its monitor role.
    QString freshDatabase(int shards = 1)
    {
        m_database = QStringLiteral("shards%1").arg(++m_databases);
        if (!m_cluster->createDatabase(m_database) ||
            !m_cluster->createLogin(m_database + QStringLiteral("_mon"),
                                    {m_database + QStringLiteral("_monitor")}))
            qWarning() << m_cluster->error();
        if (shards > 1)
            runCli({"journal", "init-db", m_cluster->url(m_database), "--shards",
                    QString::number(shards)});
        return m_cluster->url(m_database, m_database + QStringLiteral("_mon"));
    }

    QString codes(int device)
    {
        return m_cluster->value(m_database,
                                QStringLiteral("SELECT string_agg(error_id::text, ' ' ORDER BY "
                                               "record_id) FROM error_log WHERE "
                                               "device_unique_id = %1;")
                                    .arg(device));
    }

    QProcess *startSimulator(const QString &timeline, quint16 port)
    {
        if (!writeFile(path("timeline.txt"), timeline.toUtf8()))
            return nullptr;
        auto *simulator = new QProcess;
        m_processes << simulator;
        simulator->setProcessChannelMode(QProcess::MergedChannels);
        simulator->start(devsim,
                         {"--project", path("project.mpj"), "--status-port", QString::number(port),
                          "--timeline", path("timeline.txt")});
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        while (!output.contains("status on port") && clock.elapsed() < 30000 &&
               (simulator->waitForReadyRead(1000) || simulator->state() == QProcess::Running))
            output += simulator->readAll();
        return output.contains("status on port") ? simulator : nullptr;
    }

    QProcess *startMonitor(const QString &url, quint16 port, const QString &spill)
    {
        auto *monitor = new QProcess;
        m_processes << monitor;
        monitor->setWorkingDirectory(m_dir->path());
        monitor->start(cli,
                       {"monitor", path("project.mpj"), "--status-port", QString::number(port),
                        "--interval", "200", "--database", url, "--spill-file", path(spill)});
        monitor->waitForStarted();
        return monitor;
    }

    // Waits until the process printed `text` on standard error; all it printed so far.
    static bool waitForError(QProcess *process, const QByteArray &text, QByteArray *printed,
                             int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!printed->contains(text) && clock.elapsed() < timeoutMs &&
               process->state() == QProcess::Running) {
            process->waitForReadyRead(200);
            *printed += process->readAllStandardError();
        }
        *printed += process->readAllStandardError();
        return printed->contains(text);
    }

private slots:
    void initTestCase()
    {
        m_cluster = std::make_unique<PgCluster>();
        QVERIFY2(m_cluster->isValid(), qPrintable(m_cluster->error()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeFile(path("project.mpj"), project));
    }

    void cleanup()
    {
        for (QProcess *process : qAsConst(m_processes)) {
            process->kill();
            process->waitForFinished();
        }
        qDeleteAll(m_processes);
        m_processes.clear();
        if (!m_cluster->isRunning())
            QVERIFY(m_cluster->start());
    }

    void spillFile_data()
    {
        QTest::addColumn<SpillRow>("row");
        const QByteArray one = EventSpill::line(spilledEvent(5, 2, "10:00:00 01.01.2026"), 7);
        const QByteArray two = EventSpill::line(spilledEvent(6, 5, "10:00:01 01.01.2026"), 7);
        QTest::newRow("torn last line cut off") << SpillRow {"", one + two + two.left(9), 2, 1};
        QTest::newRow("a line that is no event skipped")
            << SpillRow {"", one + "{\"w\":1}\n" + "garbage\n" + two, 2, 2};
        QTest::newRow("empty") << SpillRow {"", QByteArray(), 0, 0};
    }

    void spillFile()
    {
        QFETCH(SpillRow, row);
        QVERIFY(writeFile(path("spill.jsonl"), row.content));
        QString error;
        {
            EventSpill spill(path("spill.jsonl"));
            QVERIFY2(spill.open(&error), qPrintable(error));
            QCOMPARE(spill.count(), row.kept);
            QCOMPARE(spill.damagedLines(), row.damaged);
            // A second program is kept out of it.
            EventSpill other(path("spill.jsonl"));
            QVERIFY(!other.open(&error));
            QVERIFY(error.contains("in use"));
            QVERIFY(spill.append({spilledEvent(7, 1, "10:00:02 01.01.2026")}, 9, &error));
        }
        // The next run finds what was kept, the new event on a line of its own.
        EventSpill spill(path("spill.jsonl"));
        QVERIFY2(spill.open(&error), qPrintable(error));
        const QVector<EventSpill::Entry> entries = spill.entries();
        QCOMPARE(entries.size(), row.kept + 1);
        QCOMPARE(entries.last().record.deviceId, 7);
        QCOMPARE(entries.last().watermark, qint64(9));
        QCOMPARE(spill.lastWatermark(), qint64(9));
        QVERIFY(spill.clear(&error));
        QVERIFY(spill.isEmpty() && spill.entries().isEmpty());
    }

    // Spilled events are written once the server is back, judged by the rules, and only for
    // devices nobody recorded meanwhile (a replay cut short by a crash counts as that).
    void replay_data()
    {
        QTest::addColumn<ReplayRow>("row");
        QTest::newRow("written") << ReplayRow {
            "", {{5, 2}, {6, 5}, {5, 0x40000002}}, {}, "2 1073741826|5", 0};
        QTest::newRow("newer record of one device: its events dropped")
            << ReplayRow {"", {{5, 2}, {6, 5}}, {{5, 4}}, "4|5", 1};
        QTest::newRow("written before a crash: not again")
            << ReplayRow {"", {{5, 2}, {6, 5}}, {{5, 2}, {6, 5}}, "2|5", 2};
        QTest::newRow("a fault spilled twice by two runs: once")
            << ReplayRow {"", {{5, 2}, {5, 2}, {6, 5}}, {}, "2|5", 0};
    }

    void replay()
    {
        QFETCH(ReplayRow, row);
        const JournalLocation location = JournalLocation::parse(freshDatabase());
        QString error;
        EventSpill spill(path("spill.jsonl"));
        QVERIFY2(spill.open(&error), qPrintable(error));
        const qint64 watermark =
            m_cluster
                ->value(m_database,
                        "SELECT last_value - 1 + is_called::int FROM error_log_record_id_seq;")
                .toLongLong();
        QVector<EventRecord> spilled;
        for (const auto &item : row.spilled)
            spilled << spilledEvent(item.first, item.second, "10:00:00 01.01.2026");
        QVERIFY(spill.append(spilled, watermark, &error));
        for (const auto &item : row.others)
            QCOMPARE(m_cluster->sql(m_database,
                                    QStringLiteral("INSERT INTO error_log (device_unique_id, "
                                                   "error_id, param_time, seen) VALUES (%1, %2, "
                                                   "'10:00:01 01.01.2026', 0);")
                                        .arg(item.first)
                                        .arg(item.second)),
                     QString());

        DatabaseLog log(location);
        log.setRetryInterval(50);
        log.setOwnDevices(true);
        QSignalSpy written(&log, &DatabaseLog::spillWritten);
        log.setSpill(&spill);
        QVERIFY(written.wait(10000));
        QVERIFY(spill.isEmpty());
        QCOMPARE(codes(5) + '|' + codes(6), QString::fromLatin1(row.recorded));
        QCOMPARE(written.at(0).at(1).toInt(), row.dropped);
    }

    // Two monitors on one project: the one that holds the shards polls; killed, the other
    // takes them over and the journal has every change exactly once.
    void takeover_data()
    {
        QTest::addColumn<int>("shards");
        QTest::newRow("hot standby") << 1;
        QTest::newRow("three shards") << 3;
    }

    void takeover()
    {
        QFETCH(int, shards);
        const QString url = freshDatabase(shards);
        const quint16 port = freePort("127.86.0.2");
        QVERIFY(startSimulator("at 6 s device 2 fault tamper on\n"
                               "at 14 s device 2 fault tamper off\n"
                               "at 15 s device 1 line 2 open\n"
                               "at 17 s device 1 line 2 normal\n",
                               port));
        QElapsedTimer clock;
        clock.start();
        QProcess *first = startMonitor(url, port, "a.jsonl");
        QByteArray firstErr;
        QVERIFY2(waitForError(
                     first,
                     QStringLiteral("shard %1 of %2 taken").arg(shards - 1).arg(shards).toUtf8(),
                     &firstErr, 30000),
                 firstErr.constData());
        QProcess *second = startMonitor(url, port, "b.jsonl");
        QByteArray secondErr;
        QVERIFY2(waitForError(second, "sharing the devices", &secondErr, 30000),
                 secondErr.constData());
        QTRY_COMPARE_WITH_TIMEOUT(codes(2), lineNormals + " 5", 30000);
        QVERIFY2(clock.elapsed() < 13000, "the machine is too slow for the timeline");
        QVERIFY(!secondErr.contains("taken"));
        QCOMPARE(::kill(pid_t(first->processId()), SIGKILL), 0);
        QElapsedTimer takeover;
        takeover.start();
        QVERIFY2(waitForError(second, "taken", &secondErr, 15000), secondErr.constData());
        qInfo() << "taken over after" << takeover.elapsed() << "ms";
        QTRY_COMPARE_WITH_TIMEOUT(codes(1), lineNormals + " 17 33", 30000);
        QTRY_COMPARE_WITH_TIMEOUT(codes(2), lineNormals + " 5 1073741829", 10000);
        QCOMPARE(codes(3), lineNormals);
        // The consoles' view: every device's state, the shards stamped by the second.
        QCOMPARE(m_cluster->value(m_database, "SELECT count(*) FROM device_state WHERE online;"),
                 QStringLiteral("3"));
        QCOMPARE(m_cluster->value(m_database,
                                  QStringLiteral("SELECT count(*) FROM shard_state WHERE owner "
                                                 "LIKE '%% %1' AND stamped_at > now() - "
                                                 "interval '3 s';")
                                      .arg(second->processId())),
                 QString::number(shards));
    }

    // The server stops for 30 s while the faults change, and the monitor is killed meanwhile:
    // its successor writes what the spill kept, nothing lost and nothing twice.
    void serverStopped()
    {
        const QString url = freshDatabase();
        const quint16 port = freePort("127.86.0.2");
        QVERIFY(startSimulator("at 5 s device 1 fault amplifier on\n"
                               "at 12 s device 2 fault tamper on\n"
                               "at 14 s device 1 fault amplifier off\n"
                               "at 16 s device 1 line 3 open\n"
                               "at 50 s device 2 fault tamper off\n"
                               "at 52 s device 1 line 3 normal\n",
                               port));
        QElapsedTimer clock;
        clock.start();
        QProcess *first = startMonitor(url, port, "spill.jsonl");
        QByteArray err;
        QVERIFY2(waitForError(first, "taken", &err, 30000), err.constData());
        QTRY_COMPARE_WITH_TIMEOUT(codes(1), lineNormals + " 2", 30000);
        QVERIFY2(clock.elapsed() < 11000, "the machine is too slow for the timeline");
        QVERIFY(m_cluster->stop());
        QElapsedTimer stopped;
        stopped.start();
        QVERIFY2(waitForError(first, "no longer held", &err, 10000), err.constData());
        // The three changes while the server is away are kept in the spill.
        QTRY_VERIFY_WITH_TIMEOUT(readFile(path("spill.jsonl")).count('\n') >= 3, 20000);
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(::kill(pid_t(first->processId()), SIGKILL), 0);
        QVERIFY(first->waitForFinished(10000));
        QProcess *second = startMonitor(url, port, "spill.jsonl");
        err.clear();
        QVERIFY2(waitForError(second, "holds 3 events of an earlier run", &err, 10000),
                 err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(stopped.elapsed() >= 30000, 40000);
        QVERIFY(m_cluster->start());
        QVERIFY2(waitForError(second, "spilled events written: 3, dropped", &err, 20000),
                 err.constData());
        QTRY_COMPARE_WITH_TIMEOUT(codes(1), lineNormals + " 2 1073741826 18 34", 30000);
        QTRY_COMPARE_WITH_TIMEOUT(codes(2), lineNormals + " 5 1073741829", 30000);
        QCOMPARE(codes(3), lineNormals);
        QVERIFY(readFile(path("spill.jsonl")).isEmpty());
    }

    // A monitor started with another project than the database's takes no shard.
    void otherProject()
    {
        const QString url = freshDatabase();
        QCOMPARE(m_cluster->sql(m_database,
                                "UPDATE journal_meta SET value = 'feed' WHERE key = "
                                "'project_sha256';"),
                 QString());
        const CliRun run = runCli({"monitor", path("project.mpj"), "--database", url,
                                   "--spill-file", path("spill.jsonl"), "--seconds", "30"},
                                  m_dir->path());
        QCOMPARE(run.code, 3);
        QVERIFY2(run.err.contains("not this one") && run.err.contains("no shard taken"),
                 qPrintable(run.err));
        QCOMPARE(m_cluster->value(m_database,
                                  "SELECT count(*) FROM shard_state WHERE owner IS NOT NULL;"),
                 QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestSiteShards)
#include "tst_siteshards.moc"
