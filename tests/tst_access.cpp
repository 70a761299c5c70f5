// Access levels on the command line (norda-cli against the simulator), the users and their
// failed log-ins, the idle fallback, and the alarm's state.

#include "journal/accesssession.h"
#include "journal/audittrail.h"
#include "journal/userstore.h"
#include "monitor/alarmstate.h"
#include "project/accesslevels.h"
#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestUtil;

namespace {

constexpr int exitRefused = 6;

// Arguments of each device command of the access table, aimed at the simulated loudspeaker;
// where the command is allowed they fail early or do no harm.
QStringList cliArguments(const QString &rule, const QTemporaryDir &dir)
{
    const QString missing = dir.filePath(QStringLiteral("missing"));
    const QMap<QString, QStringList> arguments = {
        {"device version", {}},
        {"device get", {"SerialNumber"}},
        {"device read", {"SerialNumber", "MaxVolume"}},
        {"device ls", {"0:\\audio"}},
        {"device download", {"0:\\config.ini", dir.filePath("config.ini")}},
        {"device screen", {dir.filePath("screen.png")}},
        {"device journal", {}},
        {"device set", {"MaxVolume", "80"}},
        {"device set factory", {"SerialNumber", "1001"}},
        {"device upload", {missing, "0:\\audio\\a.wav"}},
        {"device rm", {"0:\\audio\\none.wav"}},
        {"device write-project", {missing + ".mpj"}},
        {"device backup", {dir.filePath("backup.json")}},
        {"device restore", {missing + ".json"}},
        {"device flash", {missing + ".norda"}},
        {"device flash-all", {missing + ".mpj", missing + ".norda"}},
    };
    QStringList words = rule.split(' ');
    if (words.value(2) == QLatin1String("factory"))
        words.removeLast();
    return words.mid(1) + arguments.value(rule);
}

struct AlarmRow {
    const char *name;
    bool enabled;
    // f: a new fault, m: "Отключить звук", 0-9: that many unacknowledged, r: two repetitions
    const char *steps;
    bool sounding;
};

} // namespace

Q_DECLARE_METATYPE(AlarmRow)

class TestAccess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        qputenv("NORDA_LOGIN_DELAY_MS", "20");
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NORDA_LOGIN_DELAY_MS", "20");
        environment.insert("XDG_DATA_HOME", dir.filePath("xdg"));
        simulator.setProcessChannelMode(QProcess::SeparateChannels);
        simulator.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                        {"--device", "horn:1001@127.77.9.2", "--command-port", "0", "--request-log",
                         dir.filePath("requests")});
        QList<SimEndpoint> started;
        QByteArray output;
        QVERIFY2(waitForSimulator(simulator, &started, &output), output.constData());
        QCOMPARE(started.size(), 1);
        address = started.first().address;
        for (int level = 1; level <= 4; ++level)
            QVERIFY(writeFile(passwordFile(level), "pass" + QByteArray::number(level) + "\r\n"));
        QVERIFY(writeFile(dir.filePath("wrong"), "nope\n"));
    }

    void cleanupTestCase()
    {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(10000));
    }

    // Before any user exists the command line works as it always did; the first user must
    // be of level 4, the next ones are added by a user of level 4.
    void firstUsers()
    {
        CliRun run = cli({"device", "--tcp", address, "set", "MaxVolume", "80"});
        QCOMPARE(run.code, 0);
        run = cli({"users", "add", "u3", "--level", "3", "--new-password-file", passwordFile(3)});
        QCOMPARE(run.code, 4);
        QVERIFY(run.err.contains("the first user must have level 4"));
        QCOMPARE(cli({"users", "add", "u4", "--level", "4", "--new-password-file", passwordFile(4)})
                     .code,
                 0);
        for (int level = 1; level <= 3; ++level) {
            run = cli({"users", "add", QStringLiteral("u%1").arg(level), "--level",
                       QString::number(level), "--new-password-file", passwordFile(level), "--user",
                       "u4", "--password-file", passwordFile(4)});
            QVERIFY2(run.code == 0, qPrintable(run.err));
        }
        run = cli({"users", "list"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.count('\n'), 4);
        QVERIFY(run.err.contains("(--database)"));
        // The tool looks where it was told, else in the working folder.
        QVERIFY(cli({"users", "list"}, false).err.contains("the working folder"));
    }

    // Every device command of the table at every level: refused below its level with
    // nothing sent to the device, never refused at or above it.
    void cliLevels_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<int>("level");
        for (const AccessLevels::Rule &rule : AccessLevels::rules()) {
            const QString name = QString::fromUtf8(rule.name);
            if (rule.place != AccessLevels::Place::Cli || !name.startsWith("device ") ||
                name == QLatin1String("device ports"))
                continue;
            for (int level = 1; level <= 4; ++level)
                QTest::addRow("%s at %d", rule.name, level) << name << level;
        }
    }

    void cliLevels()
    {
        QFETCH(QString, rule);
        QFETCH(int, level);
        const QStringList words = cliArguments(rule, dir);
        const int needed = AccessLevels::requiredForCli("device " + words.first(), words.mid(1));
        QCOMPARE(needed, AccessLevels::required(AccessLevels::Place::Cli, rule));
        const qint64 before = QFileInfo(dir.filePath("requests")).size();
        QStringList args = {"device",
                            "--tcp",
                            address,
                            "--user",
                            QStringLiteral("u%1").arg(level),
                            "--password-file",
                            passwordFile(level)};
        if (rule == QLatin1String("device flash-all"))
            args = args.mid(0, 1) + args.mid(3);
        const CliRun run = cli(args + words);
        if (level < needed) {
            QCOMPARE(run.code, exitRefused);
            QVERIFY2(run.err.contains(QStringLiteral("level %1 is needed").arg(needed)),
                     qPrintable(run.err));
            QCOMPARE(QFileInfo(dir.filePath("requests")).size(), before);
        } else {
            QVERIFY2(run.code != exitRefused && run.code >= 0, qPrintable(run.err));
        }
    }

    // Users' management needs level 4, one's own password the old one; a device command
    // needs a user once users exist.
    void cliUsers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        const QString p1 = passwordFile(1), p4 = passwordFile(4), wrong = dir.filePath("wrong");
        QTest::addRow("set without a user")
            << QStringList {"device", "--tcp", "127.0.0.1:1", "set", "MaxVolume", "1"}
            << exitRefused;
        QTest::addRow("add by level 1")
            << QStringList {"users", "add",    "x",  "--level",         "1", "--new-password-file",
                            p1,      "--user", "u1", "--password-file", p1}
            << exitRefused;
        QTest::addRow("remove by level 1")
            << QStringList {"users", "remove", "u2", "--user", "u1", "--password-file", p1}
            << exitRefused;
        QTest::addRow("own password, old one wrong")
            << QStringList {"users", "passwd",          "u1",  "--user",
                            "u1",    "--password-file", wrong, "--new-password-file",
                            p1}
            << exitRefused;
        QTest::addRow("own password")
            << QStringList {"users", "passwd",          "u1", "--user",
                            "u1",    "--password-file", p1,   "--new-password-file",
                            p1}
            << 0;
        QTest::addRow("existing name")
            << QStringList {"users", "add",    "u2", "--level",         "2", "--new-password-file",
                            p1,      "--user", "u4", "--password-file", p4}
            << 4;
        QTest::addRow("last of level 4")
            << QStringList {"users", "remove", "u4", "--user", "u4", "--password-file", p4} << 4;
        QTest::addRow("password on the command line")
            << QStringList {"users", "remove", "u2", "--user", "u4", "--password", "pass4"} << 1;
    }

    void cliUsers()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        const CliRun run = cli(args);
        QVERIFY2(run.code == code, qPrintable(run.err));
        QTRY_VERIFY_WITH_TIMEOUT(waitOver("u1"), 5000);
    }

    // Failed log-ins wait longer and longer, in every program using the database, until a
    // good one; each is reported with its wait.
    void failedLogins()
    {
        AuditTrail trail(JournalLocation::file(database()));
        QVERIFY(trail.isUsable());
        AuditTrail::setDefaultTrail(&trail);
        UserStore store(JournalLocation::file(database()));
        QVERIFY(store.open());
        AccessSession session(&store, 3);
        QSignalSpy failed(&session, &AccessSession::loginFailed);
        QSignalSpy in(&session, &AccessSession::loggedIn);
        QVector<double> waits;
        for (int attempt = 0; attempt < 4; ++attempt) {
            QTRY_VERIFY_WITH_TIMEOUT(waitOver("u2"), 5000);
            QCOMPARE(session.logIn("u2", "bad").check, UserStore::Check::BadPassword);
            waits << failed.last().at(1).toDouble();
        }
        QCOMPARE(waits, QVector<double>({0.02, 0.04, 0.08, 0.16}));
        // During the wait the password is not even looked at.
        QCOMPARE(session.logIn("u2", "pass2").check, UserStore::Check::Waiting);
        QCOMPARE(failed.count(), 5);
        // Another program counts on.
        QTRY_VERIFY_WITH_TIMEOUT(waitOver("u2"), 5000);
        QCOMPARE(cli({"device", "--tcp", "127.0.0.1:1", "--user", "u2", "--password-file",
                      dir.filePath("wrong"), "get", "SerialNumber"})
                     .code,
                 exitRefused);
        QCOMPARE(store.find("u2")->failedLogins, 5);
        QTRY_VERIFY_WITH_TIMEOUT(waitOver("u2"), 5000);
        QCOMPARE(session.logIn("u2", "pass2").check, UserStore::Check::Ok);
        QCOMPARE(in.count(), 1);
        QCOMPARE(in.first(), QVariantList({"u2", 2}));
        QCOMPARE(store.find("u2")->failedLogins, 0);
        QCOMPARE(session.level(), 2);
        // The wait grows to 60 times the first and no further.
        for (const auto &step :
             {qMakePair(1, 20), qMakePair(6, 640), qMakePair(7, 1200), qMakePair(40, 1200)})
            QCOMPARE(UserStore::failureDelayMs(step.first), qint64(step.second));
    }

    // Log-ins, failed ones and changes of users are in the audit trail, by whoever acted,
    // from the tool and from the console's session alike; the chain of both holds.
    void recordedInTrail()
    {
        const CliRun run = cli({"audit", "list", "--database", database(), "--json"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QMap<QString, int> seen;
        for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
            const QJsonObject details = record.value("details").toObject();
            const QString key =
                QStringList {record.value("action").toString(), record.value("user").toString(),
                             details.value("name").toString(), details.value("change").toString(),
                             details.value("outcome").toString()}
                    .join('/');
            seen[key] += 1;
        }
        // Exact counts of the changes and the failures; log-ins and writes happened at least
        // once (every command of the table logs in).
        const QMap<QString, int> expected = {
            {"user-change//u4/add/", 1},           {"user-change/u4/u1/add/", 1},
            {"user-change/u4/u2/add/", 1},         {"user-change/u4/u3/add/", 1},
            {"user-change/u1/u1/passwd/", 1},      {"login-failed//u1//bad password", 1},
            {"login-failed//u2//bad password", 5}, {"login-failed//u2//waiting", 1},
        };
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(seen.value(it.key()) == it.value(),
                     qPrintable(QStringLiteral("%1: %2 records\n%3")
                                    .arg(it.key())
                                    .arg(seen.value(it.key()))
                                    .arg(run.out)));
        for (const char *atLeastOnce :
             {"login/u2/u2//", "login/u4/u4//", "descriptor-write/u3/MaxVolume//"})
            QVERIFY2(seen.value(atLeastOnce) >= 1, atLeastOnce);
        QCOMPARE(cli({"audit", "verify", database()}, false).code, 0);
    }

    // The guide's table is the program's: every command with its level, word for word.
    void guideTable()
    {
        QFile guide(QStringLiteral(NORDA_SOURCE_DIR "/docs/access.md"));
        QVERIFY(guide.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(guide.readAll());
        for (const AccessLevels::Rule &rule : AccessLevels::rules()) {
            const QString row = QStringLiteral("| %1 | `%2` | %3 |")
                                    .arg(QString::fromUtf8(rule.text).replace('|', "\\|"),
                                         QString::fromUtf8(rule.name))
                                    .arg(rule.level);
            QVERIFY2(text.contains(row), qPrintable(row));
        }
    }

    // Without input the console falls back to level 1; input keeps the level.
    void idleFallback()
    {
        UserStore store(JournalLocation::file(database()));
        QVERIFY(store.open());
        AccessSession session(&store, 4);
        QCOMPARE(session.level(), 1);
        session.setIdleTimeout(300);
        QSignalSpy out(&session, &AccessSession::loggedOut);
        QSignalSpy levels(&session, &AccessSession::levelChanged);
        QTRY_VERIFY_WITH_TIMEOUT(waitOver("u3"), 5000);
        QCOMPARE(session.logIn("u3", "pass3").check, UserStore::Check::Ok);
        QCOMPARE(session.level(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(out.count(), 1, 5000);
        QCOMPARE(out.first(), QVariantList({"u3"}));
        QCOMPARE(session.level(), 1);
        QCOMPARE(levels.count(), 2);
    }

    // An older journal file (no users table) gets the table and keeps its records.
    void upgradeOlderJournal()
    {
        const QString path = dir.filePath("old.sqlite");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("CREATE TABLE error_log (record_id INTEGER PRIMARY KEY, "
                               "error_id INTEGER);"));
            QVERIFY(query.exec("INSERT INTO error_log (error_id) VALUES (7);"));
        }
        QSqlDatabase::removeDatabase("old");
        UserStore store(JournalLocation::file(path));
        QVERIFY(store.open());
        QVERIFY(!store.hasUsers());
        QString error;
        QVERIFY(store.add("admin", 4, "secret", "test", &error));
        QCOMPARE(cli({"users", "list", "--database", path}).out, "admin\t4\tзавод\t0\n");
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query("SELECT error_id FROM error_log;", db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 7);
    }

    void alarm_data()
    {
        addRows<AlarmRow>({
            {"a new fault sounds", true, "1f", true},
            {"and repeats", true, "1fr", true},
            {"acknowledged, it stops", true, "1f0", false},
            {"partly acknowledged, it goes on", true, "2f1", true},
            {"silenced, it stops", true, "1fm", false},
            {"a newer fault sounds again", true, "1fm2f", true},
            {"switched off, nothing sounds", false, "1f", false},
        });
    }

    void alarm()
    {
        QFETCH(AlarmRow, row);
        AlarmState alarm;
        alarm.setEnabled(row.enabled);
        alarm.setRepeatInterval(20);
        QSignalSpy rings(&alarm, &AlarmState::ring);
        int expected = 0;
        for (const char *step = row.steps; *step; ++step) {
            if (*step == 'f') {
                alarm.faultArrived();
                expected += row.enabled ? 1 : 0;
            } else if (*step == 'm') {
                alarm.silence();
            } else if (*step == 'r') {
                QTRY_VERIFY_WITH_TIMEOUT(rings.count() >= expected + 2, 5000);
                expected = rings.count();
            } else {
                alarm.setUnacknowledged(*step - '0');
            }
            QCOMPARE(rings.count(), expected);
        }
        QCOMPARE(alarm.isSounding(), row.sounding);
        // Silent means silent: no repetition comes any more.
        if (!row.sounding) {
            QVERIFY(!rings.wait(60));
            QCOMPARE(rings.count(), expected);
        }
    }

private:
    QString passwordFile(int level) const { return dir.filePath(QStringLiteral("p%1").arg(level)); }
    QString database() const { return dir.filePath("users.sqlite"); }
    CliRun cli(const QStringList &args, bool withDatabase = true)
    {
        QStringList options;
        if (withDatabase && !args.contains("--database"))
            options << "--database" << database();
        if (args.first() == QLatin1String("device"))
            options << "--timeout"
                    << "5";
        return runCli(args.mid(0, 1) + options + args.mid(1), dir.path(), environment);
    }
    bool waitOver(const QString &name)
    {
        UserStore store(JournalLocation::file(database()));
        const auto user = store.open() ? store.find(name) : std::nullopt;
        return user && QDateTime::currentMSecsSinceEpoch() >= user->retryAfterMs;
    }

    QTemporaryDir dir;
    QProcess simulator;
    QProcessEnvironment environment;
    QString address;
};

QTEST_GUILESS_MAIN(TestAccess)
#include "tst_access.moc"
