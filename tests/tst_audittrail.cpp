#include "audittamper.h"
#include "journal/audittrail.h"
#include "journal/auditverifier.h"
#include "journal/databaselog.h"
#include "monitor/syslogforwarder.h"
#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QUdpSocket>
#include <QtTest>

using namespace TestUtil;

Q_DECLARE_METATYPE(AuditTamper::Row)

class TestAuditTrail : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        simulator.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                        {"--device", "horn:1001@127.77.9.2", "--command-port", "0"});
        QList<SimEndpoint> started;
        QByteArray output;
        QVERIFY2(waitForSimulator(simulator, &started, &output), output.constData());
        QCOMPARE(started.size(), 1);
        horn = started.first().address;
    }

    void cleanupTestCase()
    {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(10000));
    }

    void verify_data()
    {
        QTest::addColumn<AuditTamper::Row>("row");
        for (const AuditTamper::Row &row : AuditTamper::rows())
            QTest::newRow(row.name) << row;
    }

    // A trail of five records tampered with as the row says, then verified by the tool.
    void verify()
    {
        QFETCH(AuditTamper::Row, row);
        const QString file = dir.filePath(QStringLiteral("%1.sqlite").arg(QTest::currentDataTag()));
        QStringList hashes;
        {
            AuditTrail trail(JournalLocation::file(file));
            hashes = AuditTamper::fill(&trail);
        }
        QCOMPARE(hashes.size(), 5);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "tamper");
            db.setDatabaseName(file);
            QVERIFY(db.open());
            // Someone with the file drops the guards first.
            const QStringList statements = QStringList {"DROP TRIGGER audit_log_no_update;",
                                                        "DROP TRIGGER audit_log_no_delete;"} +
                row.statements;
            QCOMPARE(AuditTamper::apply(db, statements), QString());
            db.close();
        }
        QSqlDatabase::removeDatabase("tamper");
        QStringList args {"audit", "verify", file};
        if (row.head)
            args << "--head" << hashes.at(row.head - 1);
        const CliRun run = runCli(args);
        QCOMPARE(run.code, row.code);
        QVERIFY2((run.out + run.err).contains(QLatin1String(row.message)),
                 qPrintable(run.out + run.err));
    }

    // Two programs appending at once never fork the chain.
    void twoWriters()
    {
        const JournalLocation location = JournalLocation::file(dir.filePath("two.sqlite"));
        {
            AuditTrail made(location);
        }
        AuditTamper::Writer first(location, 40);
        AuditTamper::Writer second(location, 40);
        first.start();
        second.start();
        QVERIFY(first.wait(60000) && second.wait(60000));
        QCOMPARE(first.written + second.written, 80);
        const CliRun run = runCli({"audit", "verify", location.filePath()});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.startsWith("80 records, intact"), qPrintable(run.out + run.err));
    }

    // A write through the tool into a journal made before the trail existed: the table is
    // added and the record holds the value before and after.
    void deviceWriteRecorded()
    {
        const QString file = dir.filePath("old.sqlite");
        {
            DatabaseLog old(file);
        }
        QCOMPARE(sqlite3(file, "SELECT count(*) FROM sqlite_master WHERE name='audit_log';"), "0");
        CliRun run = runCli({"audit", "list", "--database", file});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString());
        run = runCli({"device", "--tcp", horn, "--database", file, "set", "MaxVolume", "33"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        run = runCli({"audit", "list", "--database", file, "--json"});
        QCOMPARE(run.code, 0);
        const QJsonObject record = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(record.value("record").toInt(), 1);
        QCOMPARE(record.value("action").toString(), "descriptor-write");
        QVERIFY2(record.value("device").toString().contains("127.77.9.2"), qPrintable(run.out));
        const QJsonObject details = record.value("details").toObject();
        QCOMPARE(details.value("name").toString(), "MaxVolume");
        QCOMPARE(details.value("before").toString(), "80");
        QCOMPARE(details.value("after").toString(), "33");
        QCOMPARE(runCli({"audit", "verify", file}).code, 0);
        // Put back for the other tests.
        QCOMPARE(
            runCli({"device", "--tcp", horn, "--database", file, "set", "MaxVolume", "80"}).code,
            0);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("prepare");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("trail cannot be opened")
            << "missing/folder/log.sqlite" << QString() << 2 << "cannot write the audit trail";
        QTest::newRow("record cannot be added")
            << "full.sqlite"
            << "CREATE TABLE audit_log (record_id INTEGER PRIMARY KEY, time TEXT, user_name "
               "TEXT, host TEXT, device TEXT, action TEXT, details TEXT, prev_hash TEXT, hash "
               "TEXT); CREATE TRIGGER full BEFORE INSERT ON audit_log BEGIN SELECT "
               "RAISE(ABORT, 'database or disk is full'); END;"
            << 4 << "the change is not made: the audit trail cannot be written";
    }

    // When the change cannot be recorded it is not made.
    void refused()
    {
        QFETCH(QString, database);
        QFETCH(QString, prepare);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QString file = dir.filePath(database);
        if (!prepare.isEmpty())
            QCOMPARE(sqlite3(file, prepare), QString());
        CliRun run =
            runCli({"device", "--tcp", horn, "--database", file, "set", "MaxVolume", "12"});
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        run = runCli({"device", "--tcp", horn, "--database", file, "get", "MaxVolume"});
        QCOMPARE(run.out, "80\n");
    }

    // Each record goes to the log collector too, with its number and hash.
    void syslogCopy()
    {
        QUdpSocket collector;
        QVERIFY(collector.bind(QHostAddress("127.0.0.1"), 0));
        SyslogForwarder forwarder;
        QVERIFY(forwarder.setTarget(QStringLiteral("127.0.0.1:%1").arg(collector.localPort())));
        AuditTrail trail(JournalLocation::file(dir.filePath("syslog.sqlite")));
        connect(&trail, &AuditTrail::appended, &forwarder, &SyslogForwarder::forwardAudit);
        QSignalSpy received(&collector, &QUdpSocket::readyRead);
        AuditRecord record;
        QVERIFY(trail.append("horn", "file-delete", {{"name", "0:\\a\"b]"}}, &record));
        QVERIFY(received.wait(5000));
        QByteArray datagram(int(collector.pendingDatagramSize()), '\0');
        collector.readDatagram(datagram.data(), datagram.size());
        QVERIFY2(datagram.startsWith("<133>1 " + record.time.toLatin1()), datagram.constData());
        QVERIFY2(datagram.contains(" AUDIT [audit@32473 seq=\"1\" hash=\"" +
                                   record.hash.toLatin1() + "\" prev=\"\" action=\"file-delete\""),
                 datagram.constData());
    }

    // The command-line tool sends the records it writes as well, when told where.
    void cliSyslogCopy()
    {
        QUdpSocket collector;
        QVERIFY(collector.bind(QHostAddress("127.0.0.1"), 0));
        const QString file = dir.filePath("clisyslog.sqlite");
        const QString target = QStringLiteral("127.0.0.1:%1").arg(collector.localPort());
        const CliRun run = runCli({"device", "--tcp", horn, "--database", file, "--syslog", target,
                                   "set", "MaxVolume", "80"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QStringList actions;
        QTRY_VERIFY_WITH_TIMEOUT(collector.hasPendingDatagrams(), 5000);
        while (collector.hasPendingDatagrams()) {
            QByteArray datagram(int(collector.pendingDatagramSize()), '\0');
            collector.readDatagram(datagram.data(), datagram.size());
            QVERIFY2(datagram.contains(" AUDIT [audit@32473 seq=\"1\" hash=\""),
                     datagram.constData());
            actions << QString::fromLatin1(datagram.mid(datagram.indexOf("action=\"") + 8, 16));
        }
        QCOMPARE(actions, QStringList {"descriptor-write"});
        QCOMPARE(runCli({"device", "--tcp", horn, "--database", file, "--syslog", "999.1.1.1",
                         "set", "MaxVolume", "80"})
                     .code,
                 1);
    }

    // A project saved by the command-line tool is recorded; without a trail it is not saved.
    void cliProjectSave()
    {
        const QString file = dir.filePath("save.sqlite");
        const QString in = QStringLiteral(NORDA_SOURCE_DIR "/scripts/demo/demo.mpj");
        const QString out = dir.filePath("saved.mpj");
        CliRun run = runCli({"project", "save-as", in, out, "--database", file});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        run = runCli({"audit", "list", "--database", file, "--json"});
        const QJsonObject record = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(record.value("action").toString(), "project-save");
        QCOMPARE(record.value("details").toObject().value("file").toString(),
                 QFileInfo(out).absoluteFilePath());
        const QString refused = dir.filePath("refused.mpj");
        run =
            runCli({"project", "save-as", in, refused, "--database", dir.filePath("no/x.sqlite")});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains("cannot write the audit trail"), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(refused));
    }

private:
    QTemporaryDir dir;
    QProcess simulator;
    QString horn;
};

QTEST_GUILESS_MAIN(TestAuditTrail)
#include "tst_audittrail.moc"
