#include "app/deviceinfoitemmodel.h"
#include "app/mainwindow.h"
#include "app/projectitemdelegate.h"
#include "app/projecttreeview.h"
#include "guitest.h"
#include "journal/databaselog.h"
#include "journal/eventtablemodel.h"
#include "monitor/sitewatch.h"
#include "pgcluster.h"
#include "testutil.h"

#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QSysInfo>

#include <memory>

// Consoles in monitoring mode whose journal is a site database: they poll no device and
// show what the monitors write. The tests play the monitors' part with plain statements
// as the monitor role; the consoles log in as the console role.

using namespace GuiTest;

namespace {

// One console: its folder, settings and window.
struct Console {
    TestUtil::WorkDir dir;
    std::unique_ptr<MainWindow> window;

    Console(const QString &url, ProjectModel *project)
    {
        const QString settings =
            windowSettings(dir.path(), true, project, {{"journal/database", url}});
        window = std::make_unique<MainWindow>(settings);
        window->setTickInterval(100);
    }
    QString siteLabel() const { return child<QLabel>(window.get(), "labelSiteDatabase")->text(); }
    QString message() const { return window->statusBar()->currentMessage(); }
    int listed() const { return window->project()->logDb->tableModel()->rowCount(); }
    QString counter(const char *name) const { return child<QLabel>(window.get(), name)->text(); }
};

const char insertEvent[] = "INSERT INTO error_log (param_time, device_unique_id, error_id, seen) "
                           "VALUES ('10:00:00 01.01.2025', %1, %2, 0);";

} // namespace

class TestSiteWatch : public QObject {
    Q_OBJECT

    std::unique_ptr<PgCluster> m_cluster;
    std::unique_ptr<ProjectModel> m_project;
    QString m_database;
    int m_databases = 0;

    // As "a monitor".
    QString monitorSql(const QString &statement)
    {
        return m_cluster->sql(m_database, statement, m_database + QStringLiteral("_mon"));
    }
    QString consoleUrl(const char *seat)
    {
        const QString login = m_database + QLatin1Char('_') + QLatin1String(seat);
        m_cluster->createLogin(login, {m_database + QStringLiteral("_console")});
        return m_cluster->url(m_database, login);
    }
    int idOf(quint32 serial) { return m_project->findDeviceBySerial(serial)->id_obj; }

private slots:
    void initTestCase()
    {
        m_cluster = std::make_unique<PgCluster>();
        QVERIFY2(m_cluster->isValid(), qPrintable(m_cluster->error()));
        m_project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        fillSample(m_project.get());
    }

    void init()
    {
        m_database = QStringLiteral("watch%1").arg(++m_databases);
        QVERIFY2(m_cluster->createDatabase(m_database), qPrintable(m_cluster->error()));
        QVERIFY(m_cluster->createLogin(m_database + QStringLiteral("_mon"),
                                       {m_database + QStringLiteral("_monitor")}));
    }

    void cleanup()
    {
        endPendingWatches();
        if (m_cluster && !m_cluster->isRunning())
            QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));
    }

    // "Просмотрено" on one console shows on the other within 5 s, with who and where.
    void acknowledgementSeenOnTheOther()
    {
        QCOMPARE(monitorSql(QString(insertEvent).arg(idOf(100)).arg(2)), QString());
        Console first(consoleUrl("post1"), m_project.get());
        Console second(consoleUrl("post2"), m_project.get());
        QTRY_COMPARE_WITH_TIMEOUT(second.siteLabel(), QStringLiteral("База данных на связи"),
                                  10000);
        QTRY_COMPARE_WITH_TIMEOUT(first.siteLabel(), QStringLiteral("База данных на связи"), 10000);
        // A new event reaches both lists without a poll of their own.
        QCOMPARE(monitorSql(QString(insertEvent).arg(idOf(103)).arg(3)), QString());
        QTRY_COMPARE_WITH_TIMEOUT(first.listed(), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(second.listed(), 2, 5000);

        first.window->on_pushButtonClearErrorStack_clicked();
        QCOMPARE(first.listed(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(second.listed(), 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(second.message().contains(m_database + QStringLiteral("_post1")),
                                 5000);
        QVERIFY2(second.message().contains(QSysInfo::machineHostName()),
                 qPrintable(second.message()));
        QTRY_COMPARE_WITH_TIMEOUT(second.counter("labelBaseRecordActual"),
                                  QStringLiteral("Актуальных: 0"), 5000);
    }

    // What a monitor writes of a device shows in the tree, the fault pane and the counters;
    // a shard its holder stopped stamping shows "нет данных" and counts as a fault.
    void deviceStateShows_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("stampAge"); // seconds; -1: never stamped
        QTest::addColumn<int>("staleSeconds");
        QTest::addColumn<int>("watched");
        QTest::addColumn<QString>("counter");

        using W = ProjectDevice::Watched;
        QTest::newRow("online, amplifier fault")
            << true << "1:0:1" << 0 << 10 << int(W::Online) << "Неисправных: 1";
        QTest::newRow("offline") << false << "" << 0 << 10 << int(W::Offline) << "Нет связи: 1";
        QTest::newRow("unstamped 11 s")
            << true << "" << 11 << 10 << int(W::NoData) << "Неисправных: 6";
        QTest::newRow("never stamped")
            << true << "" << -1 << 10 << int(W::NoData) << "Неисправных: 6";
        // The limit is the console's: stamped now, silent from then on.
        QTest::newRow("stamps stop, 2 s limit")
            << true << "" << 0 << 2 << int(W::NoData) << "Неисправных: 6";
    }

    void deviceStateShows()
    {
        QFETCH(bool, online);
        QFETCH(QString, faults);
        QFETCH(int, stampAge);
        QFETCH(int, staleSeconds);
        QFETCH(int, watched);
        QFETCH(QString, counter);

        // Every other device is online without faults.
        const int horn = idOf(103);
        for (ProjectDevice *device : m_project->allDevices()) {
            const bool it = device->id_obj == horn;
            QCOMPARE(monitorSql(QStringLiteral("INSERT INTO device_state VALUES (%1, 0, %2, "
                                               "'%3', now() - interval '2 s', now());")
                                    .arg(device->id_obj)
                                    .arg(it ? (online ? "true" : "false") : "true")
                                    .arg(it ? faults : QString())),
                     QString());
        }
        if (stampAge >= 0)
            QCOMPARE(monitorSql(QStringLiteral("UPDATE shard_state SET owner = 'mon', stamped_at "
                                               "= now() - make_interval(secs => %1);")
                                    .arg(stampAge)),
                     QString());
        Console console(consoleUrl("post"), m_project.get());
        console.window->siteWatch()->setStaleSeconds(staleSeconds);
        ProjectDevice *device = console.window->project()->findDeviceBySerial(103);
        console.window->treeView()->expandAll();
        console.window->treeView()->selectNode(device);

        QTRY_COMPARE_WITH_TIMEOUT(int(device->watched), watched, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(console.counter("labelMalfDevices") == counter ||
                                     console.counter("labelNoConnDevices") == counter,
                                 5000);
        QCOMPARE(ProjectItemDelegate::networkText(device).contains(QStringLiteral("нет данных")),
                 watched == int(ProjectDevice::Watched::NoData));
        if (watched == int(ProjectDevice::Watched::Online)) {
            QCOMPARE(device->faults.size(), 1);
            QCOMPARE(device->faults.at(0).kind, int(DeviceFault::Amplifier));
            QCOMPARE(console.window->faultModel()->rowCount(), 3);
            QVERIFY(device->lastSeen.isValid());
            // A later write of the monitor shows too.
            QCOMPARE(monitorSql(QStringLiteral("UPDATE device_state SET faults = '', changed_at "
                                               "= now() WHERE device_id = %1;")
                                    .arg(device->id_obj)),
                     QString());
            QTRY_VERIFY_WITH_TIMEOUT(device->faults.isEmpty(), 5000);
        }
        // No request went to a device.
        QCOMPARE(console.window->statusPoller()->statistics().sent, 0);
    }

    // Record numbers and change times are taken before commit: what a slow transaction
    // commits after a quicker one is still handed out, late.
    void lateCommitsStillArrive()
    {
        const QString url = consoleUrl("post");
        SiteWatcher watcher(JournalLocation::parse(url));
        QSignalSpy connected(&watcher, &SiteWatcher::connectionChanged);
        QSignalSpy events(&watcher, &SiteWatcher::eventsAdded);
        QSignalSpy states(&watcher, &SiteWatcher::devicesChanged);
        watcher.start();
        QVERIFY(connected.count() == 1 || connected.wait(10000));
        QCOMPARE(connected.last().at(0).toBool(), true);
        events.clear();
        states.clear(); // the whole table, read on connecting

        const JournalLocation monitor =
            JournalLocation::parse(m_cluster->url(m_database, m_database + QStringLiteral("_mon")));
        QVERIFY(monitor.open(QStringLiteral("slow")));
        {
            QSqlQuery slow(QSqlDatabase::database(QStringLiteral("slow")));
            QVERIFY(slow.exec("BEGIN;"));
            QVERIFY(slow.exec(QString(insertEvent).arg(1).arg(2)));
            QVERIFY(slow.exec("INSERT INTO device_state VALUES (1, 0, true, '', now(), now());"));
            QCOMPARE(monitorSql(QString(insertEvent).arg(2).arg(3)), QString());
            QCOMPARE(monitorSql("INSERT INTO device_state VALUES (2, 0, true, '', now(), now());"),
                     QString());
            QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty() && !states.isEmpty(), 5000);
            events.clear();
            states.clear();
            QVERIFY(slow.exec("COMMIT;"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("slow"));
        QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty() && !states.isEmpty(), 5000);
        const auto records = events.first().at(0).value<QVector<EventRecord>>();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.at(0).deviceId, 1);
        QCOMPARE(events.first().at(1).toBool(), false); // older than one handed out
        const auto changed = states.first().at(0).value<QVector<SiteWatcher::DeviceState>>();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).deviceId, 1);
    }

    // A console started while the server is down says so, and catches up once it is back.
    void startedWhileTheServerIsDown()
    {
        QCOMPARE(monitorSql(QString(insertEvent).arg(idOf(100)).arg(2)), QString());
        const QString url = consoleUrl("post");
        QVERIFY2(m_cluster->stop(), qPrintable(m_cluster->error()));
        Console console(url, m_project.get());
        QTRY_COMPARE_WITH_TIMEOUT(console.siteLabel(), QStringLiteral("Нет связи с базой данных"),
                                  10000);
        ProjectDevice *device = console.window->project()->findDeviceBySerial(100);
        QVERIFY(device->noData());
        QCOMPARE(console.listed(), 0);

        QVERIFY2(m_cluster->start(), qPrintable(m_cluster->error()));
        QTRY_COMPARE_WITH_TIMEOUT(console.siteLabel(), QStringLiteral("База данных на связи"),
                                  15000);
        QVERIFY2(console.message().contains(QStringLiteral("восстановлена")),
                 qPrintable(console.message()));
        QTRY_COMPARE_WITH_TIMEOUT(console.listed(), 1, 15000);
    }
};

NORDA_GUI_TEST_MAIN(TestSiteWatch)
#include "tst_sitewatch.moc"
