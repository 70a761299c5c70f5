// What survives a kill -9:
// - a project being saved: a child process saves a 10,000-device project over and over and is
//   killed at random moments; the file on disk is always the complete old project or a
//   complete new one;
// - the event journal: `norda-cli monitor` is killed while it records events from the
//   simulator; the database passes its integrity check and every event printed before the
//   kill is in the journal exactly once.
//
// NORDA_SAVE_KILLS and NORDA_MONITOR_KILLS set the number of kills (6 and 3 by default;
// scripts/crash-safety.sh runs 100 of each).
#include "project/projectfile.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace TestUtil;

namespace {

constexpr int projectDevices = 10000;
const QString cli = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli");
const QString devsim = QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim");

int killCount(const char *variable, int fallback)
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue(variable, &ok);
    return ok && count > 0 ? count : fallback;
}

// A project of `devices` loudspeakers in groups of 100, named `name`.
QByteArray projectText(const QString &name, int devices)
{
    QJsonArray groups;
    for (int g = 0; g < devices / 100; ++g) {
        QJsonArray nodes;
        for (int d = 0; d < 100; ++d) {
            const int n = g * 100 + d;
            nodes.append(QJsonObject {
                {"nodetype", "device"},
                {"id_obj", 1000 + n},
                {"type", "horn"},
                {"serial", 100000 + n},
                {"tag", QStringLiteral("%1 %2").arg(name).arg(n)},
                {"ip_enabled", true},
                {"ip_addr",
                 QStringLiteral("10.%1.%2.%3").arg(n >> 16).arg((n >> 8) & 0xFF).arg(n & 0xFF)}});
        }
        groups.append(QJsonObject {{"nodetype", "group"},
                                   {"id_obj", 1 + g},
                                   {"name", QStringLiteral("Группа %1").arg(g)},
                                   {"nodes", nodes}});
    }
    return QJsonDocument(
               QJsonObject {{"name", name}, {"id_obj", 1000 + devices}, {"nodes", groups}})
        .toJson();
}

// The child: loads IN and saves it to OUT again and again, a line on standard output
// before the first save and after each one.
int saveLoop(const QString &in, const QString &out)
{
    ProjectModel project(ProjectModel::Journals::None);
    if (project.load(in) != 0)
        return 2;
    std::printf("loaded\n");
    std::fflush(stdout);
    for (;;) {
        if (project.save(out) != 0)
            return 3;
        std::printf("saved\n");
        std::fflush(stdout);
    }
}

// The file's text with the time of saving left out.
QByteArray withoutTime(QByteArray text)
{
    static const QRegularExpression time(QStringLiteral("\n *\"time\": \"[^\"]*\",?\n"));
    return QString::fromUtf8(text).replace(time, QStringLiteral("\n")).toUtf8();
}

struct EventKey {
    QString time;
    int device;
    int code;
    bool operator==(const EventKey &other) const
    {
        return time == other.time && device == other.device && code == other.code;
    }
};

uint qHash(const EventKey &key, uint seed = 0)
{
    return qHash(key.time, seed) ^ uint(key.device * 31 + key.code);
}

QDateTime eventTime(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("hh:mm:ss dd.MM.yyyy"));
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        qRegisterMetaType<QProcess::ExitStatus>();
    }

    void projectSaveKilled()
    {
        const QString in = dir.filePath("new.mpj");
        const QString out = dir.filePath("project.mpj");
        QVERIFY(writeFile(in, projectText("new", projectDevices)));
        // The old project, as the console saved it; the new one, as the child saves it.
        QByteArray oldBytes;
        QByteArray newBytes;
        {
            ProjectModel project(ProjectModel::Journals::None);
            QVERIFY(writeFile(out, projectText("old", projectDevices)));
            QCOMPARE(project.load(out), 0);
            QCOMPARE(project.save(out), 0);
            oldBytes = readFile(out);
            QCOMPARE(project.load(in), 0);
            const QString reference = dir.filePath("reference.mpj");
            QCOMPARE(project.save(reference), 0);
            newBytes = withoutTime(readFile(reference));
            QFile::remove(reference);
        }
        QVERIFY(withoutTime(oldBytes) != newBytes);

        // How long one save takes here (a sanitizer build is slower): kills land anywhere
        // within about two saves.
        int window = 0;
        {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--save-loop", in, out});
            QVERIFY(child.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine(), 60000);
            QCOMPARE(child.readLine(), QByteArray("loaded\n"));
            QElapsedTimer clock;
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine(), 60000);
            window = int(qMax<qint64>(2 * clock.elapsed(), 50));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            QVERIFY(writeFile(out, oldBytes));
        }
        const int kills = killCount("NORDA_SAVE_KILLS", 6);
        int oldSeen = 0, newSeen = 0, saves = 0;
        for (int i = 0; i < kills; ++i) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {"--save-loop", in, out});
            QVERIFY(child.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine() || child.state() != QProcess::Running,
                                     30000);
            QCOMPARE(child.readLine(), QByteArray("loaded\n"));
            const int moment = QRandomGenerator::global()->bounded(window);
            QSignalSpy ended(&child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
            QTimer::singleShot(moment, &child,
                               [&child] { ::kill(pid_t(child.processId()), SIGKILL); });
            QVERIFY(ended.wait(30000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            saves += child.readAll().count("saved\n");

            const QByteArray now = readFile(out);
            if (now == oldBytes) {
                ++oldSeen;
            } else {
                QVERIFY2(withoutTime(now) == newBytes,
                         qPrintable(QStringLiteral("kill %1 after %2 ms: %3 bytes, neither the old "
                                                   "nor the new project")
                                        .arg(i)
                                        .arg(moment)
                                        .arg(now.size())));
                ++newSeen;
            }
            // The next kill starts from the old file again.
            QVERIFY(writeFile(out, oldBytes));
        }
        qInfo("%d kills: %d saves completed, %d times the old file, %d times the new one", kills,
              saves, oldSeen, newSeen);
        QVERIFY(saves > 0);
    }

    void monitorKilled()
    {
        const QString work = dir.filePath("monitor");
        QVERIFY(QDir().mkpath(work));
        const quint16 port = freePort("127.0.7.2");
        QVERIFY(port != 0);

        // Eight devices whose housings open and close every few tenths of a second.
        constexpr int devices = 8;
        QJsonArray nodes;
        for (int n = 0; n < devices; ++n)
            nodes.append(QJsonObject {{"nodetype", "device"},
                                      {"id_obj", n + 1},
                                      {"type", "horn"},
                                      {"serial", 5000 + n},
                                      {"ip_enabled", true},
                                      {"ip_addr", QStringLiteral("127.0.7.%1").arg(n + 2)}});
        const QString projectPath = dir.filePath("monitor.mpj");
        QVERIFY(writeFile(
            projectPath,
            QJsonDocument(QJsonObject {{"name", "kill"}, {"id_obj", devices}, {"nodes", nodes}})
                .toJson()));
        // Twenty steps a second, enough for three seconds a kill.
        const int kills = killCount("NORDA_MONITOR_KILLS", 3);
        QByteArray timeline;
        for (int step = 1; step < 200 + kills * 60; ++step) {
            timeline += QStringLiteral("at %1 s device %2 fault tamper %3\n")
                            .arg(step * 0.05, 0, 'f', 2)
                            .arg(step % devices + 1)
                            .arg((step / devices) % 2 ? "off" : "on")
                            .toUtf8();
        }
        const QString timelinePath = dir.filePath("timeline.txt");
        QVERIFY(writeFile(timelinePath, timeline));

        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::MergedChannels);
        simulator.start(devsim,
                        {"--project", projectPath, "--status-port", QString::number(port),
                         "--timeline", timelinePath});
        QVERIFY(simulator.waitForStarted());
        QByteArray simOutput;
        QVERIFY(QTest::qWaitFor(
            [&] {
                simOutput += simulator.readAll();
                return simOutput.contains("status on port") ||
                    simulator.state() != QProcess::Running;
            },
            30000));
        QVERIFY2(simOutput.contains("status on port"),
                 qPrintable(simulator.errorString() + ": " + QString::fromUtf8(simOutput)));

        QHash<EventKey, int> printed;
        // The time of the last event each run printed.
        QList<QDateTime> lastPrinted;
        for (int i = 0; i < kills; ++i) {
            QProcess monitor;
            monitor.setWorkingDirectory(work);
            monitor.start(cli,
                          {"monitor", projectPath, "--status-port", QString::number(port),
                           "--interval", "100"});
            QVERIFY(monitor.waitForStarted());
            lastPrinted.append(QDateTime::fromSecsSinceEpoch(0));
            // Killed after a random number of events, right as the last of them is printed.
            const int wanted = 5 + QRandomGenerator::global()->bounded(30);
            int lines = 0;
            QByteArray pending;
            auto take = [&] {
                pending += monitor.readAllStandardOutput();
                int lf;
                while ((lf = pending.indexOf('\n')) >= 0) {
                    const QStringList fields = QString::fromUtf8(pending.left(lf)).split('\t');
                    pending.remove(0, lf + 1);
                    if (fields.size() < 5)
                        continue;
                    ++printed[EventKey {fields.at(0), fields.at(1).toInt(), fields.at(2).toInt()}];
                    lastPrinted.last() = qMax(lastPrinted.last(), eventTime(fields.at(0)));
                    ++lines;
                }
            };
            QVERIFY2(QTest::qWaitFor(
                         [&] {
                             take();
                             return lines >= wanted || monitor.state() != QProcess::Running;
                         },
                         60000),
                     "too few events");
            QCOMPARE(monitor.state(), QProcess::Running);
            ::kill(pid_t(monitor.processId()), SIGKILL);
            QVERIFY(monitor.waitForFinished(30000));
            take();
        }
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(30000));

        // The journal as the next start of the console finds it.
        QHash<EventKey, int> stored;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "killed");
            db.setDatabaseName(QDir(work).filePath("log.sqlite"));
            QVERIFY(db.open());
            QSqlQuery check(db);
            QVERIFY(check.exec("PRAGMA integrity_check"));
            QVERIFY(check.next());
            QCOMPARE(check.value(0).toString(), "ok");
            QSqlQuery events(db);
            QVERIFY(events.exec("SELECT param_time, device_unique_id, error_id FROM error_log"));
            while (events.next())
                ++stored[EventKey {events.value(0).toString(), events.value(1).toInt(),
                                   events.value(2).toInt()}];
        }
        QSqlDatabase::removeDatabase("killed");

        int events = 0;
        for (auto it = printed.cbegin(); it != printed.cend(); ++it) {
            events += it.value();
            QVERIFY2(stored.value(it.key()) >= it.value(),
                     qPrintable("printed but not in the journal: " + it.key().time + " device " +
                                QString::number(it.key().device) + " code " +
                                QString::number(it.key().code)));
        }
        // A record beyond what was printed is one written in the moment before a kill, whose
        // line never left: it comes within a second after the last line of a run.
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            if (it.value() <= printed.value(it.key()))
                continue;
            const QDateTime time = eventTime(it.key().time);
            const bool atKill = std::any_of(
                lastPrinted.cbegin(), lastPrinted.cend(),
                [&time](const QDateTime &last) { return time >= last && time <= last.addSecs(1); });
            QVERIFY2(atKill,
                     qPrintable("recorded but never printed: " + it.key().time + " device " +
                                QString::number(it.key().device) + " code " +
                                QString::number(it.key().code)));
        }
        int records = 0;
        for (const int count : qAsConst(stored))
            records += count;
        qInfo("%d kills, %d events printed, %d records", kills, events, records);
        QVERIFY(events >= kills * 5);
    }

private:
    QTemporaryDir dir;
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--save-loop") == 0) {
        QCoreApplication app(argc, argv);
        return saveLoop(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
