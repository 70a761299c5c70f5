#include "journal/journallocation.h"
#include "testutil.h"

#include <QtTest>

namespace {

struct UrlRow {
    const char *name;
    const char *text;
    const char *options; // the connect options; empty: refused
    const char *error; // part of the error text when refused
};

} // namespace

Q_DECLARE_METATYPE(UrlRow)

class TestJournalLocation : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        const UrlRow rows[] = {
            {"one host", "postgresql://db1/site", "host='db1';dbname='site'", ""},
            {"host and port, user", "postgresql://ops@db1:5433/site",
             "host='db1';port='5433';dbname='site';user='ops'", ""},
            {"several hosts, one without port", "postgres://db1:5432,db2,[::1]:5434/site",
             "host='db1,db2,::1';port='5432,,5434';dbname='site'", ""},
            {"percent-encoded parts", "postgresql://op%40s@%2Fvar%2Frun/s%C3%A9te%20a",
             "host='/var/run';dbname='séte a';user='op@s'", ""},
            {"parameters as options",
             "postgresql://db1/site?sslmode=require&connect_timeout=3&keepalives_idle=2&"
             "application_name=norda%20mon&service=main",
             "host='db1';dbname='site';sslmode='require';connect_timeout='3';keepalives_idle='2';"
             "application_name='norda mon';service='main'",
             ""},
            {"quote in a value", "postgresql://db1/site?application_name=it's",
             "host='db1';dbname='site';application_name='it\\'s'", ""},
            {"no host: libpq's default", "postgresql:///site?user=ops", "dbname='site';user='ops'",
             ""},
            {"password in the user part", "postgresql://ops:pw@db1/site", "", "PGPASSWORD"},
            {"password as a parameter", "postgresql://db1/site?password=pw", "", "~/.pgpass"},
            {"unknown parameter", "postgresql://db1/site?colour=red", "", "colour"},
            {"no database", "postgresql://db1", "", "names no database"},
            {"bad port", "postgresql://db1:54x/site", "", "bad port"},
            {"port out of range", "postgresql://db1:70000/site", "", "bad port"},
            {"empty port", "postgresql://db1:/site", "", "empty port"},
            {"bad percent-encoding", "postgresql://db1/si%2", "", "percent"},
            {"other scheme", "mysql://db1/site", "", "neither a file"},
            {"parameter without value", "postgresql://db1/site?sslmode", "", "KEY=VALUE"},
            {"semicolon in a value", "postgresql://db1/site?application_name=a;b", "", "';'"},
            {"empty host in a list", "postgresql://db1,,db2/site", "", "empty or bad host"},
            {"nothing", "  ", "", "no journal"},
        };
        TestUtil::addRows(rows);
    }

    void parse()
    {
        QFETCH(UrlRow, row);
        const JournalLocation location = JournalLocation::parse(QString::fromUtf8(row.text));
        if (*row.options) {
            QVERIFY2(location.isPostgres(), qPrintable(location.error()));
            QCOMPARE(location.connectOptions(), QString::fromUtf8(row.options));
        } else {
            QVERIFY(!location.isValid());
            QVERIFY2(location.error().contains(QString::fromUtf8(row.error)),
                     qPrintable(location.error()));
        }
    }

    void fileNames()
    {
        const JournalLocation location = JournalLocation::parse(QStringLiteral("site/log.sqlite"));
        QCOMPARE(location.kind(), JournalLocation::Kind::SqliteFile);
        QCOMPARE(location.filePath(), QStringLiteral("site/log.sqlite"));
    }
};

QTEST_GUILESS_MAIN(TestJournalLocation)
#include "tst_journallocation.moc"
