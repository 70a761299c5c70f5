#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/eventtablemodel.h"
#include "monitor/statuspoller.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using TestUtil::eventCodes;

namespace {

// Generous: the machine may be busy with other tests.
constexpr int wait = 15000;

struct PauseRow {
    const char *name;
    bool editing; // else: the ticks are held up (a long job, a suspended machine)
    bool unitSilent; // the central unit does not answer from the start
    int lostAtTick; // polling ticks after the pause until the unit is recorded lost
};

// Horns at 127.0.15.2 upwards, in a project and in a simulator, and a poller for them.
struct HornSite {
    ProjectModel project {ProjectModel::Journals::None};
    Simulator simulator;
    std::unique_ptr<SimStatusServer> server;
    StatusPoller poller;

    // False, with the reason, when a device or the status server could not be set up.
    bool start(int count, quint16 port, QString *error)
    {
        project.monitoring = true;
        for (int i = 0; i < count; ++i) {
            const QString address =
                QStringLiteral("127.0.%1.%2").arg(15 + i / 250).arg(2 + i % 250);
            project.addDevice(nullptr,
                              new ProjectDevice(DeviceType::Horn, 5000 + i, QString(), false, 0,
                                                true, address, -1));
            if (!simulator.addDevice(DeviceType::Horn, 5000 + i, QHostAddress(address))) {
                *error = QStringLiteral("no simulated horn at ") + address;
                return false;
            }
        }
        server = std::make_unique<SimStatusServer>(&simulator, port);
        if (!server->start(error))
            return false;
        poller.setStatusPort(server->port());
        poller.setProject(&project);
        return true;
    }
};

} // namespace

Q_DECLARE_METATYPE(PauseRow)

// Ticks once and waits until every answer is in.
#define TICK_AND_SETTLE(polling)                                                                   \
    do {                                                                                           \
        m_poller->tick(polling);                                                                   \
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);                               \
    } while (false)

class TestStatusPoller : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        QVERIFY(m_dir->isValid());

        m_project = new ProjectModel;
        m_project->monitoring = true;
        auto add = [this](int type, int serial, bool ip, const char *address) {
            auto *device = new ProjectDevice(type, serial, QString(), false, 0, ip,
                                             QLatin1String(address), -1);
            m_project->addDevice(nullptr, device);
            return device;
        };
        m_unit = add(DeviceType::Tovik2, 1001, true, "127.0.5.2");
        m_horn = add(DeviceType::Horn, 1002, true, "127.0.5.3");
        m_dark = add(DeviceType::Horn, 1003, false, "127.0.5.4");

        m_simulator = new Simulator;
        for (const char *device :
             {"tovik2:1001@127.0.5.2", "horn:1002@127.0.5.3", "horn:1003@127.0.5.4"})
            QVERIFY(m_simulator->addDevice(QLatin1String(device)));
        const quint16 port = TestUtil::freePort("127.0.5.2");
        QVERIFY(port != 0);
        m_server = new SimStatusServer(m_simulator, port);
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
        m_script = new SimTimeline(m_simulator, m_server);

        m_poller = new StatusPoller;
        m_poller->setStatusPort(port);
        m_poller->setProject(m_project);
    }

    void cleanup()
    {
        delete m_poller;
        delete m_script;
        delete m_server;
        delete m_simulator;
        delete m_project;
        m_dir.reset();
    }

    void statusUrl()
    {
        QCOMPARE(StatusPoller::statusUrl("127.0.0.2", 8080).toString(),
                 "http://127.0.0.2:8080/status");
        // An address cannot smuggle in a port or a path.
        QCOMPARE(StatusPoller::statusUrl("127.0.0.2:9/x?", 8080).host(), QString());
        QCOMPARE(StatusPoller::statusUrl(QString(), 8080).host(), QString());
    }

    void dottedAddressIsDecimal()
    {
        // A device written "127.0.5.010" is asked at 127.0.5.10 (read as octal, 010 would be
        // 127.0.5.8), and the answer from 127.0.5.10 is its own.
        auto *device = new ProjectDevice(DeviceType::Horn, 1010, QString(), false, 0, true,
                                         QStringLiteral("127.0.5.010"), -1);
        m_project->addDevice(nullptr, device);
        QCOMPARE(m_project->findDeviceByIp("127.0.5.10"), device);
        Simulator simulator;
        QVERIFY(simulator.addDevice(QStringLiteral("horn:1010@127.0.5.10")));
        const quint16 port = TestUtil::freePort("127.0.5.10");
        QVERIFY(port != 0);
        SimStatusServer server(&simulator, port);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        m_poller->setStatusPort(port);

        QCOMPARE(StatusPoller::statusUrl("127.0.5.010", port).host(), "127.0.5.10");
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        TICK_AND_SETTLE(true);
        QCOMPARE(server.requestCount(simulator.devices().at(0)), 1);
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(accepted.first().at(0).value<ProjectDevice *>(), device);
        QVERIFY(device->netFound);
        QVERIFY(device->isOnline());
    }

    void oneRequestPerPolledDevicePerTick()
    {
        QSignalSpy requests(m_server, &SimStatusServer::requestReceived);
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        for (int tick = 1; tick <= 3; ++tick) {
            TICK_AND_SETTLE(true);
            QCOMPARE(m_server->requestCount(m_simulator->devices().at(0)), tick);
            QCOMPARE(m_server->requestCount(m_simulator->devices().at(1)), tick);
            QCOMPARE(m_server->requestCount(m_simulator->devices().at(2)), 0);
            QCOMPARE(accepted.count(), 2 * tick);
        }
        QCOMPARE(requests.count(), 6);
        for (const QList<QVariant> &request : qAsConst(requests))
            QCOMPARE(request.at(1).toString(), "/status");
        // Each device is asked over one connection, kept open from one tick to the next.
        QCOMPARE(m_server->connectionCount(m_simulator->devices().at(0)), 1);
        QCOMPARE(m_server->connectionCount(m_simulator->devices().at(1)), 1);
        QCOMPARE(m_poller->openConnections(), 2);
        QVERIFY(m_unit->netFound);
        QVERIFY(!m_dark->netFound);
    }

    void configurationModeAndSearch()
    {
        m_project->monitoring = false;
        QSignalSpy countersChanged(m_poller, &StatusPoller::countersChanged);
        TICK_AND_SETTLE(false);
        QCOMPARE(m_server->totalRequests(), 0);
        QCOMPARE(countersChanged.count(), 1);
        QCOMPARE(countersChanged.first().at(0).value<StatusPoller::Counters>().total, 3);

        // "Поиск устройств LAN": one request per device with Ethernet, however often it is
        // pressed while the answers are on their way.
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        QSignalSpy dropped(m_poller, &StatusPoller::replyDropped);
        int sent = 0;
        for (int press = 0; press < 5; ++press)
            sent += m_poller->sendRequests();
        QCOMPARE(sent, 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);
        QCOMPARE(m_server->totalRequests(), 2);
        QCOMPARE(accepted.count(), 2);
        QCOMPARE(dropped.count(), 0);
        QVERIFY(m_unit->netFound);
        QVERIFY(m_horn->netFound);
    }

    void acceptedStatusReachesTheDevice()
    {
        QVERIFY(m_script->apply("device 1 line 3 open"));
        QVERIFY(m_script->apply("device 1 mode 2"));
        QVERIFY(m_script->apply("device 1 version 4.2"));
        QSignalSpy changed(m_unit, &ProjectDevice::statusChanged);
        TICK_AND_SETTLE(true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_unit->mode, 2);
        QCOMPARE(m_unit->firmwareVersion, "4.2");
        QCOMPARE(m_unit->faults.size(), 1);
        QCOMPARE(m_unit->faults.first().kind, int(DeviceFault::Line));
        QCOMPARE(m_unit->faults.first().index, 2);
        QCOMPARE(m_unit->faults.first().state, 2);
        QVERIFY(eventCodes(m_project->logDb, m_unit->id_obj).contains(18));
    }

    void answersOfOnePassShareOneCommit()
    {
        QVERIFY(m_script->apply("device 1 line 3 open"));
        // Seen by another process while the first answer is being handled: the burst's
        // transaction is still open, nothing of it is committed yet.
        QStringList seenMeanwhile;
        connect(m_poller, &StatusPoller::statusAccepted, this, [&seenMeanwhile] {
            seenMeanwhile << TestUtil::sqlite3("log.sqlite", "SELECT count(*) FROM status_log;");
        });
        QSignalSpy inserted(m_project->logDb, &DatabaseLog::eventInserted);
        TICK_AND_SETTLE(true);
        QCOMPARE(seenMeanwhile.size(), 2);
        QCOMPARE(seenMeanwhile.first(), "0");
        // Once the event loop had nothing else to do, everything is stored and announced.
        QTRY_COMPARE_WITH_TIMEOUT(
            TestUtil::sqlite3("log.sqlite", "SELECT count(*) FROM status_log;"), "2", wait);
        QVERIFY(inserted.count() > 0);
        QCOMPARE(inserted.count(), m_project->logDb->eventCount(-1));
        QCOMPARE(m_project->logDb->tableModel()->rowCount(), inserted.count());
    }

    void batchOutlivesItsProject_data()
    {
        QTest::addColumn<bool>("told");
        QTest::addColumn<QString>("stored");
        // Told first, the poller commits what it held; a project simply destroyed writes
        // them as its journal closes, and the commit that follows finds no log.
        QTest::newRow("told") << true << "1";
        QTest::newRow("not told") << false << "1";
    }

    void batchOutlivesItsProject()
    {
        QFETCH(bool, told);
        QFETCH(QString, stored);
        ProjectModel *project = m_project;
        connect(m_poller, &StatusPoller::statusAccepted, this, [this, project, told] {
            if (m_project == project) {
                m_project = nullptr;
                if (told)
                    m_poller->setProject(nullptr);
                delete project;
            }
        });
        m_poller->tick(true);
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);
        QVERIFY(!m_project);
        QCOMPARE(m_poller->project(), nullptr);
        QCOMPARE(TestUtil::sqlite3("log.sqlite", "SELECT count(*) FROM status_log;"), stored);
    }

    void unusableAnswersChangeNothing_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("404") << "device 1 http 404";
        QTest::newRow("empty body") << "device 1 http empty";
        QTest::newRow("other type key") << "device 1 key horn";
    }

    void unusableAnswersChangeNothing()
    {
        QFETCH(QString, step);
        QVERIFY(m_script->apply(step));
        QVERIFY(m_script->apply("device 1 fault tamper on"));
        QSignalSpy changed(m_unit, &ProjectDevice::statusChanged);
        QSignalSpy dropped(m_poller, &StatusPoller::replyDropped);
        TICK_AND_SETTLE(true);
        QCOMPARE(m_server->requestCount(m_simulator->devices().at(0)), 1);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.first().at(0).toString(), "127.0.5.2");
        QCOMPARE(changed.count(), 0);
        QVERIFY(!m_unit->netFound);
        QVERIFY(m_unit->faults.isEmpty());
        QVERIFY(eventCodes(m_project->logDb, m_unit->id_obj).isEmpty());
        QCOMPARE(m_poller->statistics().dropped, 1);
    }

    void noNewRequestWhileOneIsOutstanding()
    {
        m_poller->setTimeout(60000);
        QVERIFY(m_script->apply("device 1 http silent"));
        QSignalSpy requests(m_server, &SimStatusServer::requestReceived);
        for (int i = 0; i < 4; ++i) {
            m_poller->tick(true);
            QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 1, wait);
        }
        QCOMPARE(m_server->requestCount(m_simulator->devices().at(0)), 1);
        QCOMPARE(m_server->requestCount(m_simulator->devices().at(1)), 4);
        QCOMPARE(m_poller->statistics().skipped, 3);
        QVERIFY(m_poller->isOutstanding("127.0.5.2"));
    }

    void silenceLostAndRestored()
    {
        m_poller->setTimeout(200);
        DatabaseLog *log = m_project->logDb;
        TICK_AND_SETTLE(true);
        QVERIFY(m_unit->isOnline());
        QVERIFY(m_script->apply("device 1 http silent"));
        QSignalSpy inserted(log, &DatabaseLog::eventInserted);

        // The silence is made to have lasted so long by moving the last contact back.
        auto silentFor = [this](int seconds) {
            m_unit->lastSeen = QDateTime::currentDateTime().addSecs(-seconds);
            m_poller->tick(true);
            return m_poller->counters();
        };
        const int before = m_poller->counters().notConnected;
        QCOMPARE(silentFor(9).notConnected, before);
        QVERIFY(m_unit->isOnline());
        QCOMPARE(silentFor(10).notConnected, before + 1);
        QVERIFY(!m_unit->isOnline());
        QVERIFY(!eventCodes(log, m_unit->id_obj).contains(EventCode::ConnectionLost));
        QCOMPARE(silentFor(11).notConnected, before + 1);
        QCOMPARE(eventCodes(log, m_unit->id_obj).count(EventCode::ConnectionLost), 1);
        for (int seconds = 12; seconds < 16; ++seconds)
            silentFor(seconds);
        QCOMPARE(eventCodes(log, m_unit->id_obj).count(EventCode::ConnectionLost), 1);
        QCOMPARE(inserted.count(), 1);

        // The silent request is given up at its deadline, so the device is asked again once
        // it answers.
        QTRY_VERIFY_WITH_TIMEOUT(m_poller->statistics().overdue >= 1, wait);
        QVERIFY(m_script->apply("device 1 http normal"));
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        QTRY_VERIFY_WITH_TIMEOUT((m_poller->tick(true), m_unit->isOnline()), wait);
        QCOMPARE(eventCodes(log, m_unit->id_obj),
                 (QList<int> {32, 33, 34, 35, 36, 37, 38, 39, EventCode::ConnectionLost,
                              EventCode::ConnectionRestored}));
        m_poller->tick(true);
        QCOMPARE(m_poller->counters().notConnected, before);

        // A later loss is recorded once more.
        TICK_AND_SETTLE(true);
        QCOMPARE(silentFor(20).notConnected, before + 1);
        QCOMPARE(eventCodes(log, m_unit->id_obj).count(EventCode::ConnectionLost), 2);
    }

    // Silence counts only while the devices are asked: a pause in polling is never taken
    // for a loss, and silence from before the pause still counts after it.
    void silenceCountsOnlyWhileAsked_data()
    {
        // The unit is asked for five seconds before the pause. After editing, polling
        // starts again with the first tick; ticks held up count one interval as asked.
        const PauseRow rows[] = {
            {"editing for 30 s", true, false, 0},
            {"ticks held up for 30 s", false, false, 0},
            {"silent unit, editing for 30 s", true, true, 7},
            {"silent unit, ticks held up for 30 s", false, true, 6},
        };
        TestUtil::addRows(rows);
    }

    void silenceCountsOnlyWhileAsked()
    {
        QFETCH(PauseRow, row);
        // A clock of the test's own, in the middle of a second.
        qint64 now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000 + 500;
        m_poller->setWallClock([&now] { return now; });
        m_poller->setTimeout(600000);
        m_unit->lastSeen = QDateTime::fromMSecsSinceEpoch(now);
        m_dark->lastSeen = QDateTime::fromMSecsSinceEpoch(now - 60000);
        DatabaseLog *log = m_project->logDb;
        if (row.unitSilent)
            QVERIFY(m_script->apply("device 1 http silent"));
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        auto pollTick = [&] {
            now += 1000;
            m_poller->tick(true);
            // The loudspeaker answers every tick; its answer carries the tick's time.
            const QDateTime tickTime = QDateTime::fromMSecsSinceEpoch(now);
            while (m_horn->lastSeen != tickTime) {
                if (!accepted.wait(wait))
                    return false;
            }
            return true;
        };
        auto lostEvents = [&] {
            return eventCodes(log, m_unit->id_obj).count(EventCode::ConnectionLost) +
                eventCodes(log, m_horn->id_obj).count(EventCode::ConnectionLost);
        };
        for (int i = 0; i < 5; ++i)
            QVERIFY(pollTick());
        if (row.editing) {
            for (int i = 0; i < 30; ++i) {
                now += 1000;
                m_poller->tick(false);
                // Not asked: not shown as lost either (only the device without Ethernet).
                QCOMPARE(m_poller->counters().notConnected, 1);
            }
        } else {
            now += 30000;
        }
        for (int tick = 1; tick <= 10; ++tick) {
            QVERIFY(pollTick());
            const bool lost = row.unitSilent && tick >= row.lostAtTick;
            QCOMPARE(lostEvents(), lost ? 1 : 0);
            // Shown as not connected one second before it is recorded.
            QCOMPARE(m_poller->isOnline(m_unit), !row.unitSilent || tick < row.lostAtTick - 1);
            QVERIFY(m_poller->isOnline(m_horn));
        }
        QCOMPARE(eventCodes(log, m_horn->id_obj).count(EventCode::ConnectionRestored), 0);
        QCOMPARE(m_poller->counters().notConnected, row.unitSilent ? 2 : 1);
    }

    void hostileBodies_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<bool>("tooLarge");
        QTest::newRow("oversized") << "oversized" << true;
        QTest::newRow("slow") << "slow" << false;
        QTest::newRow("endless") << "endless" << false;
    }

    void hostileBodies()
    {
        QFETCH(QString, behaviour);
        QFETCH(bool, tooLarge);
        m_poller->setTimeout(300);
        m_poller->setMaxBodySize(64 * 1024);
        QVERIFY(m_script->apply("device 1 http " + behaviour));
        QSignalSpy changed(m_unit, &ProjectDevice::statusChanged);
        QSignalSpy dropped(m_poller, &StatusPoller::replyDropped);
        m_poller->tick(true);
        // Given up by itself, without waiting for another tick.
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m_poller->statistics().tooLarge, tooLarge ? 1 : 0);
        QCOMPARE(m_poller->statistics().overdue, tooLarge ? 0 : 1);
        QCOMPARE(m_poller->statistics().accepted, 1); // the horn
    }

    void counters()
    {
        QVERIFY(m_script->apply("device 1 fault tamper on"));
        QVERIFY(m_script->apply("device 2 line 1 short"));
        m_dark->lastSeen = QDateTime::currentDateTime().addSecs(-60);
        TICK_AND_SETTLE(true);
        m_poller->tick(true);
        StatusPoller::Counters counters = m_poller->counters();
        QCOMPARE(counters.total, 3);
        QCOMPARE(counters.notConnected, 1);
        QCOMPARE(counters.faulty, 2);
        QCOMPARE(counters.tampered, 1);
        QCOMPARE(counters.journalAll, m_project->logDb->eventCount(5));
        QVERIFY(counters.journalAll > 0);
        QCOMPARE(counters.journalUnseen, counters.journalAll);

        // A device that is not connected counts only there, whatever its last faults.
        m_unit->lastSeen = QDateTime::currentDateTime().addSecs(-30);
        counters = m_poller->count();
        QCOMPARE(counters.notConnected, 2);
        QCOMPARE(counters.faulty, 1);
        QCOMPARE(counters.tampered, 0);
    }

    void largeProjectIssuedInSlices()
    {
        const int count = 3 * StatusPoller::sliceSize - 10;
        HornSite site;
        QString error;
        QVERIFY2(site.start(count, m_server->port(), &error), qPrintable(error));
        StatusPoller &poller = site.poller;
        SimStatusServer &server = *site.server;
        poller.setOpeningBudget(count); // slices only, see newConnectionsPaced
        QSignalSpy accepted(&poller, &StatusPoller::statusAccepted);

        poller.tick(true);
        // Queued, in project order; issued from the event loop a slice at a time.
        QCOMPARE(poller.outstanding(), count);
        QCOMPARE(poller.statistics().sent, 0);
        QVERIFY(poller.isOutstanding("127.0.15.2"));
        QCOMPARE(poller.sendRequests(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), count, wait);
        QCOMPARE(poller.statistics().sliceMicroseconds.size(), 3);
        QCOMPARE(poller.statistics().batchMicroseconds.size(), 1);
        QCOMPARE(server.totalRequests(), count);
        for (const SimDevice *device : site.simulator.devices())
            QCOMPARE(server.requestCount(device), 1);
    }

    void newConnectionsPaced()
    {
        // 250 devices, 100 new connections per window of 100 ms: the third window opens the
        // last 50, no sooner than 200 ms after the first.
        const int count = StatusPoller::sliceSize;
        HornSite site;
        QString error;
        QVERIFY2(site.start(count, m_server->port(), &error), qPrintable(error));
        StatusPoller &poller = site.poller;
        SimStatusServer &server = *site.server;
        poller.setOpeningBudget(100);
        QSignalSpy accepted(&poller, &StatusPoller::statusAccepted);

        QElapsedTimer clock;
        clock.start();
        poller.tick(true);
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), count, wait);
        QVERIFY(clock.elapsed() >= 2 * StatusPoller::openingWindowMs);
        QCOMPARE(poller.statistics().openingWaits, 2);
        QCOMPARE(poller.statistics().batchMicroseconds.size(), 1);
        QVERIFY(poller.statistics().batchMicroseconds.last() >=
                2000 * StatusPoller::openingWindowMs);
        QCOMPARE(poller.openConnections(), count);

        // Kept connections are asked without waiting.
        accepted.clear();
        poller.tick(true);
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), count, wait);
        QCOMPARE(poller.statistics().openingWaits, 2);
        QCOMPARE(server.totalRequests(), 2 * count);
    }

    void repliesAfterTheProjectChanged()
    {
        ProjectModel other(ProjectModel::Journals::None);
        m_poller->tick(true);
        m_poller->setProject(&other);
        QSignalSpy dropped(m_poller, &StatusPoller::replyDropped);
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);
        QCOMPARE(dropped.count(), 2);
        QVERIFY(!m_unit->netFound);

        // The project goes away while requests are in flight.
        m_poller->setProject(m_project);
        m_poller->tick(true);
        delete m_project;
        m_project = nullptr;
        QTRY_COMPARE_WITH_TIMEOUT(m_poller->outstanding(), 0, wait);
        QCOMPARE(m_poller->project(), nullptr);
        QCOMPARE(m_poller->count().total, 0);
    }

    void connectionsKeptAndClosed()
    {
        TICK_AND_SETTLE(true);
        QCOMPARE(m_server->connectionCount(m_simulator->deviceAt(QHostAddress("127.0.5.2"))), 1);
        // A device that stays silent loses its connection at the deadline, so that a late
        // answer can never be taken for the next one; the next request opens a new one.
        m_poller->setTimeout(300);
        QVERIFY(m_script->apply("device 1 http silent"));
        TICK_AND_SETTLE(true);
        QCOMPARE(m_poller->statistics().overdue, 1);
        QVERIFY(m_script->apply("device 1 http normal"));
        QSignalSpy accepted(m_poller, &StatusPoller::statusAccepted);
        TICK_AND_SETTLE(true);
        QCOMPARE(accepted.count(), 2);
        QCOMPARE(m_server->connectionCount(m_simulator->deviceAt(QHostAddress("127.0.5.2"))), 2);

        // Deleted with a request on its way: both connections and the descriptor that
        // watches them are closed at once.
        QVERIFY(m_script->apply("all http silent"));
        QSignalSpy requests(m_server, &SimStatusServer::requestReceived);
        QCOMPARE(m_poller->sendRequests(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 2, wait);
        QCOMPARE(m_poller->outstanding(), 2);
        const auto openFiles = [] {
            return QDir("/proc/self/fd")
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                .size();
        };
        const int before = openFiles();
        delete m_poller;
        m_poller = nullptr;
        QCOMPARE(openFiles(), before - 3);
    }

private:
    std::unique_ptr<TestUtil::WorkDir> m_dir;
    ProjectModel *m_project = nullptr;
    ProjectDevice *m_unit = nullptr; // tovik2 1001, 127.0.5.2
    ProjectDevice *m_horn = nullptr; // horn 1002, 127.0.5.3
    ProjectDevice *m_dark = nullptr; // horn 1003, 127.0.5.4, Ethernet off
    Simulator *m_simulator = nullptr;
    SimStatusServer *m_server = nullptr;
    SimTimeline *m_script = nullptr;
    StatusPoller *m_poller = nullptr;
};

QTEST_GUILESS_MAIN(TestStatusPoller)
#include "tst_statuspoller.moc"
