#include "testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace TestUtil;

namespace {

const QString cli = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli");
const QString devsim = QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim");

// Three devices with Ethernet on this test's own loopback addresses.
const char project[] = R"({ "name": "monitor test", "id_obj": 3, "nodes": [
  { "nodetype": "device", "id_obj": 1, "type": "tovik2", "serial": 1001, "ip_enabled": true,
    "ip_addr": "127.0.6.2" },
  { "nodetype": "device", "id_obj": 2, "type": "horn", "serial": 1002, "tag": "Этаж 2",
    "ip_enabled": true, "ip_addr": "127.0.6.3" },
  { "nodetype": "device", "id_obj": 3, "type": "horn", "serial": 1003, "ip_enabled": true,
    "ip_addr": "127.0.6.4" }
]})";

} // namespace

class TestCliMonitor : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(writeFile(path("project.mpj"), project));
        m_port = freePort("127.0.6.2");
        QVERIFY(m_port != 0);
    }

    void cleanup()
    {
        if (m_simulator) {
            m_simulator->kill();
            m_simulator->waitForFinished();
            delete m_simulator;
            m_simulator = nullptr;
        }
        delete m_dir;
    }

    void scriptedTimeline()
    {
        QVERIFY(startSimulator(QStringLiteral("at 1 s device 3 http silent\n"
                                              "at 3 s device 1 line 2 open\n"
                                              "at 4 s device 2 fault tamper on\n"
                                              "at 6 s device 1 line 2 normal\n"
                                              "at 7 s device 2 fault tamper off\n"
                                              "at 8 s device 1 fault amplifier on\n"
                                              "at 15 s device 3 http normal\n")));
        const CliRun run = runCli({"monitor", path("project.mpj"), "--status-port",
                                   QString::number(m_port), "--seconds", "23"},
                                  m_dir->path());
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains(QLatin1String("monitoring 3 of 3 devices")), qPrintable(run.err));

        const QString log = path("log.sqlite");
        QVERIFY(QFile::exists(log));
        QVERIFY(QFile::exists(path("params.sqlite")));
        QCOMPARE(sqlite3(log, "PRAGMA integrity_check;"), "ok");
        auto codes = [&log](int device) {
            return sqlite3(log,
                           QStringLiteral("SELECT group_concat(error_id, ' ') FROM (SELECT "
                                          "error_id FROM error_log WHERE device_unique_id=%1 "
                                          "ORDER BY record_id);")
                               .arg(device));
        };
        const QString normal = "32 33 34 35 36 37 38 39";
        QCOMPARE(codes(1), normal + " 17 33 2");
        QCOMPARE(codes(2), normal + " 5 1073741829");
        QCOMPARE(codes(3), normal + " 1 1073741825");
        QCOMPARE(sqlite3(log,
                         "SELECT count(*) FROM error_log WHERE seen<>0 OR "
                         "error_description<>'';"),
                 "0");
        // Every accepted status is in the status journal, in compact form.
        QVERIFY(sqlite3(log, "SELECT count(*) FROM status_log WHERE device_unique_id=1;").toInt() >=
                15);
        const QString document =
            sqlite3(log, "SELECT status_json FROM status_log WHERE device_unique_id=2 LIMIT 1;");
        QCOMPARE(QJsonDocument::fromJson(document.toUtf8()).object().value("device").toString(),
                 "horn");
        QVERIFY(!document.contains(QLatin1Char(' ')));

        // One printed line per record, in record order.
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), sqlite3(log, "SELECT count(*) FROM error_log;").toInt());
        QVERIFY(lines.indexOf(QRegularExpression(QStringLiteral(
                    "^\\d\\d:\\d\\d:\\d\\d \\d\\d\\.\\d\\d\\.\\d{4}\t3\t1\tНет подключения\t"
                    "Оповещатель/Громкоговоритель NORDA исп.IP \\(серийный номер 1003\\) "
                    "127.0.6.4$"))) >= 0);
        QVERIFY2(lines.last().contains("\t1073741825\tПодключение установлено\t"),
                 qPrintable(lines.last()));
    }

    void ctrlCStopsCleanly()
    {
        QVERIFY(startSimulator("at 2 s device 1 fault battery on\n"));
        QProcess monitor;
        monitor.setWorkingDirectory(m_dir->path());
        monitor.start(cli,
                      {"monitor", path("project.mpj"), "--status-port", QString::number(m_port)});
        QVERIFY(monitor.waitForStarted());
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("\t3\tНеисправность батареи") && clock.elapsed() < 30000) {
            monitor.waitForReadyRead(1000);
            out += monitor.readAllStandardOutput();
        }
        QVERIFY2(out.contains("\t3\tНеисправность батареи"), out.constData());
        QCOMPARE(::kill(pid_t(monitor.processId()), SIGINT), 0);
        QVERIFY(monitor.waitForFinished(30000));
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), 0);
        QVERIFY(monitor.readAllStandardError().contains("stopped by a signal"));
        // Closed properly: the write-ahead log was folded back and removed.
        QVERIFY(!QFile::exists(path("log.sqlite-wal")));
        QCOMPARE(sqlite3(path("log.sqlite"), "PRAGMA integrity_check;"), "ok");
        QCOMPARE(sqlite3(path("log.sqlite"), "SELECT count(*) FROM error_log WHERE error_id=3;"),
                 "1");
    }

    void exportOfTheRecordedJournal()
    {
        QVERIFY(startSimulator("at 1 s device 1 line 8 short\n"));
        const CliRun monitor = runCli({"monitor", path("project.mpj"), "--status-port",
                                       QString::number(m_port), "--seconds", "4"},
                                      m_dir->path());
        QCOMPARE(monitor.code, 0);
        const int events = sqlite3(path("log.sqlite"), "SELECT count(*) FROM error_log;").toInt();
        QCOMPARE(events, 25);

        // The event database must not be written by the export: checked by its content.
        const CliRun run =
            runCli({"journal", "export", "log.sqlite", "journal.xlsx", "--project", "project.mpj"},
                   m_dir->path());
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), "25 events written to journal.xlsx");

        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c",
                      "import openpyxl,sys\n"
                      "s=openpyxl.load_workbook(sys.argv[1])['Журнал']\n"
                      "print(s.max_row)\n"
                      "print(s['C5'].value)\n"
                      "rows=[c.row for c in s['B'] if c.value=='Оповещатель/Громкоговоритель "
                      "NORDA исп.IP\\nЭтаж 2']\n"
                      "print(len(rows), sorted(set(s.row_dimensions[r].height for r in rows)))\n",
                      path("journal.xlsx")});
        QVERIFY(python.waitForFinished(60000));
        const QStringList lines =
            QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QString::number(4 + events));
        QCOMPARE(lines.value(1), "Короткое замыкание ЛО8");
        // The tagged horn's eight records: two-line device cells in rows of double height.
        QCOMPARE(lines.value(2), "8 [30.0]");
    }

    void commandLineErrors_data()
    {
        const CliFailure rows[] = {
            // clang-format off
            {"no project", {"monitor"}, 1, "wrong number of arguments"},
            {"missing project", {"monitor", "nothere.mpj"}, 2, "no such file"},
            {"not a project", {"monitor", "timeline.txt"}, 3, "not a project document"},
            {"bad seconds", {"monitor", "project.mpj", "--seconds", "x"}, 1, "--seconds"},
            {"bad port", {"monitor", "project.mpj", "--status-port", "70000"}, 1, "--status-port"},
            {"missing journal", {"journal", "export", "nothere.sqlite", "x.xlsx"}, 2, "no such file"},
            {"not an event database", {"journal", "export", "params.sqlite", "x.xlsx"}, 3, "is not an event database"},
            {"unknown journal command", {"journal", "import"}, 1, "unknown journal command"},
            // clang-format on
        };
        addRows(rows);
    }

    void commandLineErrors()
    {
        QFETCH(CliFailure, row);
        QVERIFY(writeFile(path("timeline.txt"), "at 1 s all http silent\n"));
        QCOMPARE(sqlite3(path("params.sqlite"), "CREATE TABLE dev_params (x);"), QString());

        const CliRun run = runCli(row.args, m_dir->path());
        QCOMPARE(run.code, row.code);
        QVERIFY2(run.err.contains(row.message), qPrintable(run.err));
        // Nothing is added to a database that is not an event database.
        QCOMPARE(sqlite3(path("params.sqlite"), "SELECT group_concat(name) FROM sqlite_master;"),
                 "dev_params");
    }

    void projectCommandsLeaveNoJournals()
    {
        const CliRun show = runCli({"project", "show", "project.mpj"}, m_dir->path());
        QCOMPARE(show.code, 0);
        const CliRun save =
            runCli({"project", "save-as", "project.mpj", "copy.mpj"}, m_dir->path());
        QCOMPARE(save.code, 0);
        QVERIFY(!QFile::exists(path("log.sqlite")));
        QVERIFY(!QFile::exists(path("params.sqlite")));
    }

private:
    // Starts the simulator for the project with a timeline; false when it does not come up.
    bool startSimulator(const QString &timeline)
    {
        if (!writeFile(path("timeline.txt"), timeline.toUtf8()))
            return false;
        m_simulator = new QProcess;
        m_simulator->setProcessChannelMode(QProcess::MergedChannels);
        m_simulator->start(devsim,
                           {"--project", path("project.mpj"), "--status-port",
                            QString::number(m_port), "--timeline", path("timeline.txt")});
        QByteArray output;
        QElapsedTimer clock;
        clock.start();
        while (!output.contains("status on port") && clock.elapsed() < 30000) {
            if (!m_simulator->waitForReadyRead(1000) && m_simulator->state() != QProcess::Running)
                break;
            output += m_simulator->readAll();
        }
        if (!output.contains("status on port"))
            qWarning() << "norda-devsim:" << output;
        return output.contains("status on port");
    }

    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

    QTemporaryDir *m_dir = nullptr;
    QProcess *m_simulator = nullptr;
    quint16 m_port = 0;
};

QTEST_GUILESS_MAIN(TestCliMonitor)
#include "tst_climonitor.moc"
