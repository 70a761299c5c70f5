#include "testutil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

const char errorLogTable[] =
    "CREATE TABLE error_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,param_time "
    "TEXT,device_unique_id INTEGER,error_id INTEGER,error_description TEXT,seen INTEGER);";
const char statusLogTable[] =
    "CREATE TABLE status_log (record_id INTEGER PRIMARY KEY AUTOINCREMENT,device_unique_id "
    "INTEGER,status_json TEXT,param_time TEXT);";
const char errorLogIndexes[] =
    "CREATE INDEX error_log_device_code ON error_log(device_unique_id, error_id); CREATE INDEX "
    "error_log_device_code_seen ON error_log(device_unique_id, error_id, seen); CREATE INDEX "
    "error_log_seen ON error_log(seen);";

// `count` events with record numbers from `first` on, ten a second from 10:00:00.
QString insertEvents(qint64 first, int count, int code = 2)
{
    return QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE "
                          "i<%2) INSERT INTO error_log (record_id, param_time, device_unique_id, "
                          "error_id, error_description, seen) SELECT %1+i, "
                          "time('10:00:00', '+' || (i/10) || ' seconds') || ' 01.01.2024', "
                          "i % 3 + 1, %3, '', 0 FROM n;")
        .arg(first)
        .arg(count - 1)
        .arg(code);
}

QByteArray fileHash(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

struct ExportRow {
    const char *name;
    const char *setup; // statements run by sqlite3 on the new file
    bool keptOpen; // another program has the file open, with records in its log
};

struct RecordNumberRow {
    const char *name;
    qint64 first[3]; // three runs of events: first record numbers (0: none)
    int count[3];
};

struct ConfigRow {
    const char *name;
    const char *ini; // monitor.ini
    QStringList args; // after "monitor --config monitor.ini"
    int code;
    QString message; // in standard error
};

// The service manager's end of NOTIFY_SOCKET: a datagram socket in a folder of the test's.
class NotifySocket {
public:
    explicit NotifySocket(const QString &path)
        : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (m_fd < 0 || name.size() >= int(sizeof address.sun_path))
            return;
        memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_bound; }
    // Every state sent so far, one entry per datagram.
    const QStringList &received()
    {
        char buffer[4096];
        ssize_t size;
        while ((size = ::recv(m_fd, buffer, sizeof buffer, 0)) > 0)
            m_received << QString::fromUtf8(buffer, int(size));
        return m_received;
    }

private:
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_received;
};

} // namespace

Q_DECLARE_METATYPE(ConfigRow)
Q_DECLARE_METATYPE(ExportRow)
Q_DECLARE_METATYPE(RecordNumberRow)

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

    // The timeline at a tenth of the time: the tick and the lost rule with it.
    void scriptedTimeline()
    {
        QVERIFY(startSimulator(QStringLiteral("at 500 ms device 3 http silent\n"
                                              "at 600 ms device 1 line 2 open\n"
                                              "at 700 ms device 2 fault tamper on\n"
                                              "at 900 ms device 1 line 2 normal\n"
                                              "at 1000 ms device 2 fault tamper off\n"
                                              "at 1100 ms device 1 fault amplifier on\n"
                                              "at 2300 ms device 3 http normal\n")));
        // Status documents of long ago: removed by the retention of the status journal.
        const QString log = path("log.sqlite");
        QCOMPARE(sqlite3(log,
                         QString::fromLatin1(statusLogTable) +
                             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
                             "WHERE i<100) INSERT INTO status_log (device_unique_id, "
                             "status_json, param_time) SELECT 9, '{}', '10:00:00 01.01.2020' "
                             "FROM n;"),
                 QString());
        // A collector of this test's own receives the events as well.
        QUdpSocket collector;
        QVERIFY(collector.bind(QHostAddress::LocalHost, 0));
        const CliRun run =
            runCli({"monitor", path("project.mpj"), "--status-port", QString::number(m_port),
                    "--seconds", "3", "--interval", "100", "--status-log-days", "7", "--syslog",
                    "127.0.0.1:" + QString::number(collector.localPort())},
                   m_dir->path());
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains(QLatin1String("monitoring 3 of 3 devices")), qPrintable(run.err));

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
        // Every accepted status is in the status journal, in compact form; the old ones
        // are gone.
        QVERIFY(sqlite3(log, "SELECT count(*) FROM status_log WHERE device_unique_id=1;").toInt() >=
                15);
        QCOMPARE(sqlite3(log, "SELECT count(*) FROM status_log WHERE device_unique_id=9;"), "0");
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
        // One syslog message per record, in record order, with the device's serial.
        QStringList forwarded;
        while (collector.hasPendingDatagrams()) {
            const QString message = QString::fromUtf8(collector.receiveDatagram().data());
            const QRegularExpressionMatch m =
                QRegularExpression(
                    QStringLiteral("^<1\\d\\d>1 \\S+ \\S+ norda-cli \\d+ [A-Z]+ \\[event@32473 "
                                   "record=\"\\d+\" code=\"(\\d+)\"\\]\\[device@32473 id=\"(\\d)\" "
                                   "serial=\"100\\2\" type=\"\\w+\" ip=\"127.0.6.\\d\"\\] "))
                    .match(message);
            QVERIFY2(m.hasMatch(), qPrintable(message));
            forwarded << m.captured(2) + ' ' + m.captured(1);
        }
        QCOMPARE(forwarded.join(' '),
                 sqlite3(log,
                         "SELECT group_concat(device_unique_id || ' ' || error_id, ' ') "
                         "FROM (SELECT * FROM error_log ORDER BY record_id);"));
        QVERIFY2(run.err.contains(QStringLiteral("%1 events sent to 127.0.0.1:").arg(lines.size())),
                 qPrintable(run.err));

        // The recorded journal as a spreadsheet, newest first, the devices named.
        const CliRun exported = runCli({"journal", "export", "log.sqlite", "journal.xlsx",
                                        "--project", "project.mpj", "--progress"},
                                       m_dir->path());
        QCOMPARE(exported.code, 0);
        QCOMPARE(exported.out.trimmed(),
                 QStringLiteral("%1 events written to journal.xlsx").arg(lines.size()));
        // The bar, drawn on standard error as asked.
        QVERIFY2(exported.err.contains(QLatin1String("export")) &&
                     exported.err.trimmed().endsWith(QLatin1String("100%")),
                 qPrintable(exported.err));
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
        const QStringList sheet =
            QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(sheet.value(0), QString::number(4 + lines.size()));
        QCOMPARE(sheet.value(1), "Подключение установлено");
        // The tagged horn's ten records: two-line device cells in rows of double height.
        QCOMPARE(sheet.value(2), "10 [30.0]");
    }

    void signalStopsCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void signalStopsCleanly()
    {
        QFETCH(int, signalNumber);
        QVERIFY(startSimulator("at 200 ms device 1 fault battery on\n"));
        QProcess monitor;
        monitor.setWorkingDirectory(m_dir->path());
        monitor.start(cli,
                      {"monitor", path("project.mpj"), "--status-port", QString::number(m_port),
                       "--interval", "100"});
        QVERIFY(monitor.waitForStarted());
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("\t3\tНеисправность батареи") && clock.elapsed() < 30000) {
            monitor.waitForReadyRead(1000);
            out += monitor.readAllStandardOutput();
        }
        QVERIFY2(out.contains("\t3\tНеисправность батареи"), out.constData());
        QCOMPARE(::kill(pid_t(monitor.processId()), signalNumber), 0);
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

    // The export only reads: the file's bytes and the folder stay exactly as they were,
    // whatever the file's mode, and the records of a program that has it open are read.
    void exportLeavesTheDatabaseAsItWas_data()
    {
        static const QByteArray wal = "PRAGMA journal_mode=WAL;";
        static const QByteArray tables =
            QByteArray(errorLogTable) + statusLogTable + insertEvents(1, 50).toUtf8();
        static const QByteArray rollback = tables;
        static const QByteArray walIndexed = wal + tables + errorLogIndexes;
        static const QByteArray walBare = wal + tables;
        const ExportRow rows[] = {
            {"rollback journal", rollback.constData(), false},
            {"write-ahead log", walIndexed.constData(), false},
            {"without indexes", walBare.constData(), false},
            {"in use by another program", walIndexed.constData(), true},
        };
        addRows(rows);
    }

    void exportLeavesTheDatabaseAsItWas()
    {
        QFETCH(ExportRow, row);
        const QString file = path("log.sqlite");
        QVERIFY(sqlite3(file, QString::fromUtf8(row.setup)).isEmpty() ||
                sqlite3(file, "PRAGMA journal_mode;") == "wal");
        int expected = 50;
        const QString other = QStringLiteral("other program");
        if (row.keptOpen) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), other);
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(insertEvents(1000, 5, 3)));
            expected += 5;
            QVERIFY(QFile::exists(file + "-wal"));
        }
        const QByteArray before = fileHash(file);
        const QStringList folder = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);

        const CliRun run = runCli({"journal", "export", "log.sqlite", "out.xlsx"}, m_dir->path());
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), QStringLiteral("%1 events written to out.xlsx").arg(expected));
        QCOMPARE(fileHash(file), before);
        // Only the spreadsheet is new; no log or shared memory was made beside the file.
        QStringList after = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
        after.removeOne(QStringLiteral("out.xlsx"));
        QCOMPARE(after, folder);
        if (row.keptOpen) {
            QSqlDatabase::database(other, false).close();
            QSqlDatabase::removeDatabase(other);
        }
    }

    // Record numbers beyond 31 and 32 bits: every event is written once, and the export
    // ends (it once went round its first page for ever, or stopped early).
    void exportOfLargeRecordNumbers_data()
    {
        const RecordNumberRow rows[] = {
            {"across 2^31", {2147483646, 2147483648, 0}, {2, 12000, 0}},
            {"across 2^32", {2147483647, 2147483648, 4294967297}, {1, 1, 10000}},
        };
        addRows(rows);
    }

    void exportOfLargeRecordNumbers()
    {
        QFETCH(RecordNumberRow, row);
        QString statements = QString::fromLatin1(errorLogTable);
        int total = 0;
        for (int run = 0; run < 3; ++run) {
            if (row.count[run] == 0)
                continue;
            // The oldest run has its own event code: it must be on the last row.
            statements += insertEvents(row.first[run], row.count[run], run == 0 ? 4 : 2);
            total += row.count[run];
        }
        QCOMPARE(sqlite3(path("log.sqlite"), statements), QString());
        // Bounded: an export going round in circles is stopped.
        const CliRun run = runCli({"journal", "export", "log.sqlite", "out.xlsx"}, m_dir->path(),
                                  QProcessEnvironment::systemEnvironment(), 30000);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.trimmed(), QStringLiteral("%1 events written to out.xlsx").arg(total));
        // The last row of the worksheet, read straight from the file.
        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c",
                      "import re,sys,zipfile\n"
                      "x=zipfile.ZipFile(sys.argv[1]).read('xl/worksheets/sheet1.xml').decode()\n"
                      "row=x[x.rindex('<row '):]\n"
                      "print(re.search(r'r=\"(\\d+)\"',row).group(1), "
                      "re.findall(r'<t[^>]*>([^<]*)</t>',row)[-1])\n",
                      path("out.xlsx")});
        QVERIFY(python.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(python.readAllStandardOutput()).trimmed(),
                 QStringLiteral("%1 Нет питания 220В").arg(4 + total));
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
            {"bad interval", {"monitor", "project.mpj", "--interval", "0"}, 1, "--interval"},
            {"bad retention", {"monitor", "project.mpj", "--status-log-days", "-1"}, 1, "--status-log-days"},
            {"bad syslog target", {"monitor", "project.mpj", "--syslog", "127.1:514"}, 1, "--syslog"},
            {"bad metrics address", {"monitor", "project.mpj", "--metrics", "localhost:9464"}, 1, "--metrics"},
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

    // The configuration file: its keys stand for options, the command line wins, and a bad
    // key or value names the file and the key.
    void configFile_data()
    {
        const ConfigRow rows[] = {
            // clang-format off
            {"project and port from the file", "[monitor]\nproject = project.mpj\n[network]\nstatusport = 9123\n", {}, 0, "devices of %DIR%/project.mpj on port 9123"},
            {"the command line wins", "[monitor]\nproject = project.mpj\n[network]\nstatusport = 9123\n", {"--status-port", "9124"}, 0, "on port 9124"},
            {"quoted value with a comma", "[monitor]\nproject = project.mpj\n[journal]\ndatabase = \"events, site.sqlite\"\nsyslog =\n", {}, 0, "events in events, site.sqlite"},
            {"unquoted comma", "[journal]\ndatabase = a,b\n", {"project.mpj"}, 1, "monitor.ini: [journal] database: a value with a comma must be in double quotes"},
            {"unknown key", "[monitor]\nprojekt = project.mpj\n", {"project.mpj"}, 1, "monitor.ini: [monitor] projekt: unknown key"},
            {"key outside a group", "statusport = 1\n", {"project.mpj"}, 1, "monitor.ini: statusport (outside any [group]): unknown key"},
            {"bad metrics address", "[monitor]\nmetrics = 127.0.0.1:0\n", {"project.mpj"}, 1, "monitor.ini: [monitor] metrics: "},
            {"bad port", "[network]\nstatusport = 70000\n", {"project.mpj"}, 1, "monitor.ini: [network] statusport takes 1..65535"},
            {"bad retention", "[journal]\nstatuslogdays = -1\n", {"project.mpj"}, 1, "monitor.ini: [journal] statuslogdays takes 0..36500"},
            {"bad syslog target", "[journal]\nsyslog = 127.1:514\n", {"project.mpj"}, 1, "monitor.ini: [journal] syslog takes HOST:PORT"},
            {"no project anywhere", "[network]\nstatusport = 9123\n", {}, 1, "wrong number of arguments"},
            {"missing file", nullptr, {}, 2, "cannot open configuration file monitor.ini: no such file"},
            // clang-format on
        };
        addRows(rows);
    }

    void configFile()
    {
        QFETCH(ConfigRow, row);
        if (row.ini)
            QVERIFY(writeFile(path("monitor.ini"), row.ini));
        const CliRun run =
            runCli(QStringList {"monitor", "--config", "monitor.ini", "--seconds", "1"} + row.args,
                   m_dir->path());
        QCOMPARE(run.code, row.code);
        QString message = row.message;
        message.replace(QLatin1String("%DIR%"), m_dir->path());
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    // Under a service manager: readiness, the watchdog from the event loop and the stop go
    // to NOTIFY_SOCKET; lines written to the journal carry the severities of the syslog
    // forwarding (a lost device an error, its return a notice).
    void serviceManager()
    {
        QVERIFY(
            startSimulator("at 200 ms device 3 http silent\nat 2000 ms device 3 http normal\n"));
        NotifySocket notify(path("notify"));
        QVERIFY(notify.isValid());
        const QString log = path("journal.txt");
        QVERIFY(writeFile(log, QByteArray()));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(log).constData(), &info), 0);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NOTIFY_SOCKET", path("notify"));
        environment.insert("WATCHDOG_USEC", "200000");
        environment.insert(
            "JOURNAL_STREAM",
            QStringLiteral("%1:%2").arg(qulonglong(info.st_dev)).arg(qulonglong(info.st_ino)));
        QProcess monitor;
        monitor.setProcessEnvironment(environment);
        monitor.setWorkingDirectory(m_dir->path());
        monitor.setStandardOutputFile(log, QIODevice::Append);
        monitor.setStandardErrorFile(log, QIODevice::Append);
        monitor.start(cli,
                      {"monitor", path("project.mpj"), "--status-port", QString::number(m_port),
                       "--interval", "100"});
        QVERIFY(monitor.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(notify.received().count("WATCHDOG=1") >= 3, 20000);
        QVERIFY2(notify.received().constFirst().startsWith(
                     "READY=1\nSTATUS=monitoring 3 of 3 devices of "),
                 qPrintable(notify.received().join('|')));
        // Read as a service manager does: a full socket would hold the monitor up.
        QTRY_VERIFY_WITH_TIMEOUT(
            !notify.received().isEmpty() && readFile(log).contains("\t1073741825\t"), 20000);
        QCOMPARE(::kill(pid_t(monitor.processId()), SIGTERM), 0);
        QVERIFY(monitor.waitForFinished(30000));
        QCOMPARE(monitor.exitCode(), 0);
        QCOMPARE(notify.received().constLast(), "STOPPING=1");

        const QString lines = QString::fromUtf8(readFile(log));
        QVERIFY2(lines.contains(QRegularExpression(
                     QStringLiteral("(^|\n)<3>[^\n]*\t3\t1\tНет подключения\t"))),
                 qPrintable(lines));
        QVERIFY2(
            lines.contains(QRegularExpression(QStringLiteral("(^|\n)<5>[^\n]*\t3\t1073741825\t"))),
            qPrintable(lines));
        // Every event line carries a severity.
        QVERIFY(!lines.contains(QRegularExpression(QStringLiteral("(^|\n)\\d\\d:\\d\\d:"))));
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
