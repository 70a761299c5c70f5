#include "audittamper.h"
#include "journal/audittrail.h"
#include "journal/journallocation.h"
#include "journal/userstore.h"
#include "pgcluster.h"
#include "testutil.h"

#include <QtTest>

#include <memory>

using namespace TestUtil;

Q_DECLARE_METATYPE(AuditTamper::Row)

// The audit trail on a site database: the same chain as on SQLite, kept by several writers
// at once, verified there and after copies either way; consoles can only add to it.
class TestSiteAudit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        cluster = std::make_unique<PgCluster>();
        QVERIFY2(cluster->isValid(), qPrintable(cluster->error()));
    }

    void cleanupTestCase() { cluster.reset(); }

    void verify_data()
    {
        QTest::addColumn<AuditTamper::Row>("row");
        for (const AuditTamper::Row &row : AuditTamper::rows())
            QTest::newRow(row.name) << row;
    }

    void verify()
    {
        QFETCH(AuditTamper::Row, row);
        const QString url = freshDatabase();
        QStringList hashes;
        {
            AuditTrail trail(JournalLocation::parse(url));
            hashes = AuditTamper::fill(&trail);
        }
        QCOMPARE(hashes.size(), 5);
        for (const QString &statement : row.statements)
            QCOMPARE(cluster->sql(database, statement), QString());
        QStringList args {"audit", "verify", url};
        if (row.head)
            args << "--head" << hashes.at(row.head - 1);
        const CliRun run = runCli(args);
        QCOMPARE(run.code, row.code);
        QVERIFY2((run.out + run.err).contains(QLatin1String(row.message)),
                 qPrintable(run.out + run.err));
    }

    // Two consoles appending at once, then the trail copied to a file and on to another
    // site database: the same chain, the same last hash everywhere.
    void writersAndCopies()
    {
        const QString url = freshDatabase();
        AuditTamper::Writer first(JournalLocation::parse(url), 30);
        AuditTamper::Writer second(JournalLocation::parse(url), 30);
        first.start();
        second.start();
        QVERIFY(first.wait(60000) && second.wait(60000));
        QCOMPARE(first.written + second.written, 60);
        // The users go along, hashes and all (their records are in the trail already).
        {
            UserStore users(JournalLocation::parse(cluster->url(database)));
            QVERIFY(users.open());
            QString error;
            QVERIFY2(users.add("chief", 4, "secret4", "test", &error), qPrintable(error));
            QVERIFY2(users.add("duty", 2, "secret2", "chief", &error), qPrintable(error));
        }
        const QString file = dir.filePath("copy.sqlite");
        const QString other = freshDatabase();
        // Into a site database as its owner.
        const QString otherOwner = cluster->url(database);
        CliRun copied = runCli({"journal", "copy", "--from", url, "--to", file});
        QCOMPARE(copied.code, 0);
        QVERIFY2(copied.out.endsWith("2 users added there\n"), qPrintable(copied.out));
        QCOMPARE(runCli({"journal", "copy", "--from", file, "--to", otherOwner}).code, 0);
        // A console may not add users: the copy says so.
        const QString third = freshDatabase();
        copied = runCli({"journal", "copy", "--from", file, "--to", third});
        QCOMPARE(copied.code, 4);
        QVERIFY2(copied.err.contains("copying users: ") && copied.err.contains("permission denied"),
                 qPrintable(copied.err));
        // A second copy adds nobody and keeps what the target holds.
        copied = runCli({"journal", "copy", "--from", url, "--to", file});
        QVERIFY2(!copied.out.contains("users"), qPrintable(copied.out));
        {
            UserStore users(JournalLocation::parse(other));
            QVERIFY(users.open());
            QCOMPARE(users.find("duty")->level, 2);
            QCOMPARE(users.verify("chief", "secret4").check, UserStore::Check::Ok);
        }
        QString last;
        for (const QString &where : {url, file, other}) {
            const CliRun run = runCli({"audit", "verify", where});
            QVERIFY2(run.code == 0, qPrintable(where + run.err));
            QVERIFY2(run.out.startsWith("60 records, intact"), qPrintable(run.out));
            if (!last.isEmpty())
                QCOMPARE(run.out.section(' ', -1), last);
            last = run.out.section(' ', -1);
        }
    }

    // A console adds records; changing or removing one is refused by the server.
    void consoleOnlyAdds()
    {
        const QString url = freshDatabase();
        {
            AuditTrail trail(JournalLocation::parse(url));
            QVERIFY(!AuditTamper::fill(&trail).isEmpty());
        }
        for (const char *statement :
             {"UPDATE audit_log SET user_name = 'x';", "DELETE FROM audit_log;"})
            QVERIFY(cluster->sql(database, statement, login).contains("permission denied"));
        QCOMPARE(cluster->value(database, "SELECT count(*) FROM audit_log;"), "5");
    }

    // A site database of an older schema, without the table: refused until init-db
    // upgrades it, then recorded into.
    void upgrade()
    {
        const QString url = freshDatabase();
        QCOMPARE(cluster->sql(database,
                              "DROP TABLE audit_log; UPDATE journal_meta SET value = "
                              "'1' WHERE key = 'schema_version';"),
                 QString());
        {
            AuditTrail old(JournalLocation::parse(url));
            QVERIFY(!old.isUsable());
            QVERIFY2(old.error().contains("init-db"), qPrintable(old.error()));
        }
        const CliRun run = runCli({"journal", "init-db", cluster->url(database)});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        AuditTrail upgraded(JournalLocation::parse(url));
        QVERIFY(upgraded.isUsable());
        QVERIFY(upgraded.append("horn", "descriptor-write", {}));
    }

private:
    // A new site database with a console login; its URL.
    QString freshDatabase()
    {
        database = QStringLiteral("audit%1").arg(++databases);
        login = database + QStringLiteral("_user");
        if (!cluster->createDatabase(database) ||
            !cluster->createLogin(login, {database + QStringLiteral("_console")}))
            qWarning() << cluster->error();
        return cluster->url(database, login);
    }

    QTemporaryDir dir;
    std::unique_ptr<PgCluster> cluster;
    QString database;
    QString login;
    int databases = 0;
};

QTEST_GUILESS_MAIN(TestSiteAudit)
#include "tst_siteaudit.moc"
