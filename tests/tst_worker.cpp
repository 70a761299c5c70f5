#include "link/cdcusbprocess.h"
#include "link/cdcusbsession.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simdevice.h"
#include "workerrelay.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

bool waitCount(QSignalSpy &spy, int count, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (spy.count() < count && !deadline.hasExpired())
        spy.wait(int(qMax<qint64>(deadline.remainingTime(), 1)));
    return spy.count() >= count;
}

// Deadlines for tests that wait for a request to time out or for a link check to fail:
// the real ones (5000 ms and 1000 ms) would make them wait that long.
constexpr int shortRequestTimeout = 600;
constexpr int shortLinkCheck = 200;

// One worker on its own thread, watched through a relay.
class Worker {
public:
    Worker(const ProjectDevice *target, quint16 port, bool shortTimings = false,
           bool shortLinkCheckOnly = false)
        : session(target, port)
        , relay(session.worker())
        , connected(&relay, &WorkerRelay::connected)
        , disconnected(&relay, &WorkerRelay::disconnected)
        , answers(&relay, &WorkerRelay::receivedAnswer)
        , written(&relay, &WorkerRelay::fileBlockWrited)
    {
        if (shortTimings || shortLinkCheckOnly)
            session.worker()->setTimings(shortTimings ? shortRequestTimeout
                                                      : CdcUsbProcess::requestTimeoutMs,
                                         shortLinkCheck);
        session.start();
    }
    ~Worker() { session.stopAndWait(30000); }

    CdcUsbProcess *worker() const { return session.worker(); }
    bool waitConnected(int count = 1) { return waitCount(connected, count, 15000); }

    // Queues `line` and waits for its exchange to be reported; empty when the worker
    // refused the request (no link), or the link dropped first (a request in flight is
    // then dropped without an answer).
    QList<QVariant> exchange(const QString &line)
    {
        const int before = answers.count();
        const int drops = disconnected.count();
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&relay, &WorkerRelay::receivedAnswer, &loop, &QEventLoop::quit);
        QObject::connect(&relay, &WorkerRelay::disconnected, &loop, &QEventLoop::quit);
        if (!worker()->addRequest(line))
            return QList<QVariant>();
        // An accepted request always ends within its deadline.
        const QDeadlineTimer deadline(CdcUsbProcess::requestTimeoutMs + 2000);
        while (answers.count() <= before && disconnected.count() == drops &&
               !deadline.hasExpired()) {
            timer.start(int(qMax<qint64>(deadline.remainingTime(), 1)));
            loop.exec();
        }
        return answers.count() > before ? answers.at(before) : QList<QVariant>();
    }

    // Exchanges `line` until it is answered with 0, waiting for the next link whenever the
    // request was refused or dropped with its link; the last result.
    QList<QVariant> exchangeWhenLinked(const QString &line, int ms = 20000)
    {
        const QDeadlineTimer deadline(ms);
        QList<QVariant> result;
        for (;;) {
            const int links = connected.count();
            result = exchange(line);
            if ((result.size() == 3 && result.at(2).toInt() == 0) || deadline.hasExpired())
                return result;
            if (result.isEmpty() && connected.count() == links)
                waitCount(connected, links + 1, int(qMax<qint64>(deadline.remainingTime(), 1)));
        }
    }

    CdcUsbSession session;
    WorkerRelay relay;
    QSignalSpy connected;
    QSignalSpy disconnected;
    QSignalSpy answers;
    QSignalSpy written;
};

struct GrammarRow {
    const char *name, *request;
    QByteArray raw;
    const char *fault, *answer;
    int err;
};

} // namespace

Q_DECLARE_METATYPE(GrammarRow)

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.72.0.2");
        QVERIFY(!sim->addUsb(horn, 0x1209, 0x0001).isEmpty());
        spare = sim->addDevice(DeviceType::Media, 3003, "127.72.0.4");
        hornTcp.reset(SimHarness::tcpTarget(horn));
        tcp = std::make_unique<Worker>(hornTcp.get(), sim->tcpPort(horn), false, true);
        QVERIFY(tcp->waitConnected());
        hornUsb.reset(SimHarness::usbTarget(0x1209, 0x0001));
    }

    void cleanupTestCase()
    {
        tcp.reset();
        sim.reset();
    }

    void init()
    {
        sim->clearFaults(horn);
        sim->clearFaults(spare);
        QVERIFY(sim->replug(horn));
        QVERIFY(sim->replug(spare));
        // The shared link is up (a test that unplugged the loudspeaker broke it; its link
        // check finds out and it connects again).
        QCOMPARE(tcp->exchangeWhenLinked("GET VERSION").value(2).toInt(), 0);
    }

    void requestKind_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("kind");
        QTest::newRow("get") << "GET VERSION" << 1;
        QTest::newRow("set") << "SET BOOT" << 0;
        QTest::newRow("leading spaces") << "  GET  DESCRIPTOR desc_X" << 1;
        QTest::newRow("lower case") << "get VERSION" << -1;
        QTest::newRow("other verb") << "FOO BAR" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("glued") << "GETVERSION" << -1;
    }

    void requestKind()
    {
        QFETCH(QString, line);
        QFETCH(int, kind);
        QCOMPARE(CdcUsbProcess::requestKind(line), kind);
    }

    void wireGrammar_data()
    {
        // raw: what the device sends instead of its own answer
        const GrammarRow rows[] = {
            // clang-format off
            // name, request, raw, fault, answer, err
            {"SET answered OK", "SET DESCRIPTOR desc_MaxVolume 42", {}, "", "OK", 0},
            {"SET answered ERROR", "SET DESCRIPTOR desc_Nothing 1", {}, "", "ERROR", -1},
            {"SET answered another line", "SET FILE_RESET", "BUSY\r\n", "", "BUSY", -1},
            {"SET answered bare OK\\n", "SET FILE_RESET", "OK\n", "", "OK", -1},
            {"GET value and OK", "GET VERSION", {}, "", "horn 1.0.0", 0},
            {"GET value and bare OK\\n", "GET DESCRIPTOR desc_MaxVolume", "42\r\nOK\n", "", "42", -1},
            {"GET value and another line", "GET DESCRIPTOR desc_MaxVolume", "42\r\nDONE\r\n", "", "42", -1},
            {"GET value and ERROR", "GET DESCRIPTOR desc_MaxVolume", "7\r\nERROR\r\n", "", "7", -1},
            {"GET ERROR first", "GET DESCRIPTOR desc_Nothing", {}, "", "ERROR\r\n", -1},
            {"GET Windows-1251 value", "GET DESCRIPTOR desc_X", "\xe4\xe0\r\nOK\r\n", "", "да", 0},
            // A NUL byte would end the text there: the answer fails, and the NUL is shown.
            {"GET value with a NUL byte", "GET DESCRIPTOR desc_SerialNumber", QByteArray("42\0 42\r\nOK\r\n", 12), "", "42\\0 42", -1},
            {"GET value beginning with a NUL byte", "GET FILE_READ 512", QByteArray("\0AB\r\nOK\r\n", 9), "", "\\0AB", -1},
            {"GET value with a NUL from the device", "GET DESCRIPTOR desc_SerialNumber", {}, "nul=1:GET DESCRIPTOR", "10\\001", -1},
            {"SET answered OK and a NUL byte", "SET FILE_RESET", QByteArray("OK\0\r\n", 5), "", "OK\\0", -1},
            {"FILE_LIST with a NUL byte", "GET FILE_LIST 0:\\audio", QByteArray("a.wav\t1\0\r\nb.wav\t2\r\n\r\nOK\r\n", 25), "", "a.wav\t1\\0\r\nb.wav\t2\r\n", -1},
            {"GET every request an error", "GET VERSION", {}, "error-every=1", "ERROR\r\n", -1},
            {"GET rubbish line first", "GET DESCRIPTOR desc_SerialNumber", {}, "garbage=1", "\x01\x7f#%garbage 0", -1},
            {"FILE_LIST", "GET FILE_LIST 0:\\audio", {}, "", "/custom\r\ngong.wav\t1024\r\nsiren.wav\t2048\r\n", 0},
            {"FILE_LIST with an inner OK", "GET FILE_LIST 0:\\audio", "a.wav\t1\r\nOK\r\nb.wav\t2\r\n\r\nOK\r\n", "", "a.wav\t1\r\nOK\r\nb.wav\t2\r\n", 0},
            {"FILE_LIST ending in ERROR", "GET FILE_LIST 0:\\audio", "a.wav\t1\r\nERROR\r\n", "", "ERROR\r\n", -1},
            {"FILE_LIST of an unknown folder", "GET FILE_LIST 0:\\nothing", {}, "", "ERROR\r\n", -1},
            {"FILE_LIST empty", "GET FILE_LIST 0:\\x", "\r\nOK\r\n", "", "", 0},
            {"answer in single bytes", "GET VERSION", {}, "split", "horn 1.0.0", 0},
            {"file list in single bytes", "GET FILE_LIST 0:\\audio", {}, "split", "/custom\r\ngong.wav\t1024\r\nsiren.wav\t2048\r\n", 0},
            {"SET in single bytes", "SET DESCRIPTOR desc_MaxVolume 43", {}, "split", "OK", 0},
            // clang-format on
        };
        // Every row over TCP and over the pseudo-terminal USB port.
        TestUtil::addRows(rows, {"tcp: ", "usb: "});
    }

    void wireGrammar()
    {
        QFETCH(GrammarRow, row);
        const bool overUsb = QByteArray(QTest::currentDataTag()).startsWith("usb");
        std::unique_ptr<Worker> usb;
        if (overUsb) {
            usb = std::make_unique<Worker>(hornUsb.get(), 0);
            QVERIFY(usb->waitConnected());
        }
        Worker &link = overUsb ? *usb : *tcp;
        if (!row.raw.isEmpty())
            sim->setRawAnswer(horn, row.request, row.raw, 1);
        if (*row.fault)
            sim->setFault(horn, row.fault);
        const QList<QVariant> result = link.exchange(row.request);
        QCOMPARE(result, (QList<QVariant> {row.request, row.answer, row.err}));

        // Nothing of that answer is left over for the next exchange.
        sim->clearFaults(horn);
        QCOMPARE(link.exchange("GET VERSION"), (QList<QVariant> {"GET VERSION", "horn 1.0.0", 0}));
    }

    void unknownVerbTimesOut()
    {
        const int connectedBefore = tcp->connected.count();
        const int disconnectedBefore = tcp->disconnected.count();
        tcp->worker()->setTimings(shortRequestTimeout, shortLinkCheck);
        QElapsedTimer clock;
        clock.start();
        // The simulated device answers "ERROR", but an answer to another verb is never read.
        const QList<QVariant> result = tcp->exchange("FOO BAR");
        tcp->worker()->setTimings(CdcUsbProcess::requestTimeoutMs, shortLinkCheck);
        QVERIFY2(clock.elapsed() >= shortRequestTimeout - 10,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(result.value(0).toString(), "FOO BAR");
        QCOMPARE(result.value(1).toString(), "ERROR TIMEOUT");
        QCOMPARE(result.value(2).toInt(), -1);
        QVERIFY(waitCount(tcp->disconnected, disconnectedBefore + 1, 5000));
        QVERIFY(tcp->waitConnected(connectedBefore + 1));
        QVERIFY(sim->requestLog(horn).contains("FOO BAR"));
    }

    void silentDeviceTimesOutAndReconnects()
    {
        std::unique_ptr<ProjectDevice> target(SimHarness::usbTarget(0x1209, 0x0001));
        Worker usb(target.get(), 0, true);
        QVERIFY(usb.waitConnected());
        QCOMPARE(usb.exchange("GET VERSION").value(1).toString(), "horn 1.0.0");

        sim->setFault(horn, "silent");
        const QList<QVariant> result = usb.exchange("GET DESCRIPTOR desc_SerialNumber");
        QCOMPARE(result.value(1).toString(), "ERROR TIMEOUT");
        QCOMPARE(result.value(2).toInt(), -1);
        QVERIFY(waitCount(usb.disconnected, 1, 5000));
        sim->clearFaults(horn);
        // The port is still there: the worker opens it again.
        QVERIFY(usb.waitConnected(2));
        QCOMPARE(usb.exchange("GET DESCRIPTOR desc_SerialNumber").value(1).toString(), "1001");
    }

    void unplugIsNoticedAndRequestsAreRefused_data() { overBothTransports(); }

    void unplugIsNoticedAndRequestsAreRefused()
    {
        QFETCH(bool, overUsb);
        SimDevice *device = overUsb ? horn : spare;
        std::unique_ptr<ProjectDevice> target(targetOf(device));
        Worker link(target.get(), sim->tcpPort(spare), true);
        QVERIFY(link.waitConnected());
        QCOMPARE(link.exchange("GET VERSION").value(2).toInt(), 0);

        QElapsedTimer clock;
        clock.start();
        sim->unplug(device);
        QVERIFY(waitCount(link.disconnected, 1, 5000));
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));

        if (!overUsb) {
            // TCP reports an open link at once and finds out at the next link check; a request
            // offered meanwhile goes to a connection that never comes up.
            QVERIFY(sim->replug(device));
            QCOMPARE(link.exchangeWhenLinked("GET VERSION").value(2).toInt(), 0);
            return;
        }
        sim->clearLog(device);
        QVERIFY(!link.worker()->addRequest("GET DESCRIPTOR desc_Refused"));
        QVERIFY(sim->replug(device));
        QVERIFY(link.waitConnected(2));
        QCOMPARE(link.exchange("GET VERSION").value(2).toInt(), 0);
        const QStringList log = sim->requestLog(device);
        QVERIFY(!log.contains("GET DESCRIPTOR desc_Refused"));
        QVERIFY(log.contains("GET VERSION"));
    }

    void tcpNotConnectedAtFirstLinkCheck()
    {
        sim->unplug(spare);
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(spare));
        Worker link(target.get(), sim->tcpPort(spare), true);
        // Opening TCP reports success at once; the first link check finds no connection.
        QVERIFY(link.waitConnected());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(waitCount(link.disconnected, 1, 5000));
        QVERIFY2(clock.elapsed() >= shortLinkCheck / 2,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY(link.waitConnected(2));

        QVERIFY(sim->replug(spare));
        QCOMPARE(link.exchangeWhenLinked("GET VERSION").value(2).toInt(), 0);
    }

    void oversizedAnswerFailsTheExchange_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("line without end") << "GET VERSION"
                                          << "flood=2000000" << QByteArray();
        // Short lines are bounded by their number: held one string each, they would cost
        // far more memory than their bytes.
        QByteArray lines;
        for (int i = 0; i <= CdcUsbProcess::maxAnswerLines; ++i)
            lines += "a\r\n";
        QTest::newRow("file list of too many lines")
            << "GET FILE_LIST 0:\\audio" << QString() << lines + "\r\nOK\r\n";
        QTest::newRow("bare line feeds") << "GET FILE_LIST 0:\\audio" << QString()
                                         << QByteArray(CdcUsbProcess::maxAnswerLines + 1, '\n');
    }

    void oversizedAnswerFailsTheExchange()
    {
        QFETCH(QString, request);
        QFETCH(QString, fault);
        QFETCH(QByteArray, raw);
        const int connectedBefore = tcp->connected.count();
        if (!fault.isEmpty())
            sim->setFault(horn, fault);
        if (!raw.isEmpty())
            sim->setRawAnswer(horn, request, raw, 1);
        const QList<QVariant> result = tcp->exchange(request);
        QCOMPARE(result.value(1).toString(), "ERROR OVERFLOW");
        QCOMPARE(result.value(2).toInt(), -1);
        sim->clearFaults(horn);
        // The link is closed like after a timeout and opened again.
        QVERIFY(tcp->waitConnected(connectedBefore + 1));
        QCOMPARE(tcp->exchangeWhenLinked("GET VERSION").value(2).toInt(), 0);
    }

    void requestsGoBeforeFileJobs()
    {
        sim->clearLog(horn);
        sim->setFault(horn, "delay=100");
        const int answersBefore = tcp->answers.count();
        tcp->worker()->addRequest("GET VERSION");
        QCOMPARE(tcp->worker()->addFileWrite("0:\\order.bin", QByteArray("0123456789")), 0);
        tcp->worker()->addRequest("GET DESCRIPTOR desc_SerialNumber");
        QVERIFY(waitCount(tcp->written, 2, 15000));
        QCOMPARE(tcp->written.last().at(3).toInt(), 2);
        QCOMPARE(tcp->answers.count(), answersBefore + 2);
        const QStringList expected {"GET VERSION", "GET DESCRIPTOR desc_SerialNumber",
                                    "SET FILE_CREATE 0:\\order.bin",
                                    "SET FILE_WRITE 30313233343536373839", "SET FILE_CLOSE"};
        QCOMPARE(sim->requestLog(horn), expected);
        tcp->written.clear();
    }

    void pendingCounts()
    {
        sim->setFault(horn, "delay=100");
        const int answersBefore = tcp->answers.count();
        CdcUsbProcess *worker = tcp->worker();
        worker->addRequest("GET VERSION");
        for (int i = 0; i < 3; ++i)
            worker->addRequest("GET DESCRIPTOR desc_SerialNumber");
        worker->addRequest("GET STATUS");
        QCOMPARE(worker->pendingDescriptorReads(), 3);
        QVERIFY(!worker->isFileTransferPending());
        QCOMPARE(worker->addFileRead("0:\\config.ini"), 0);
        QVERIFY(worker->isFileTransferPending());
        QSignalSpy read(&tcp->relay, &WorkerRelay::fileBlockReaded);
        QVERIFY(waitCount(read, 2, 20000));
        QCOMPARE(tcp->answers.count(), answersBefore + 5);
        // The last report leaves before the job lets go of the queue.
        QTRY_VERIFY_WITH_TIMEOUT(!worker->isFileTransferPending(), 5000);
        QCOMPARE(worker->pendingDescriptorReads(), 0);
        for (const QList<QVariant> &report : qAsConst(read))
            delete report.at(3).value<QByteArray *>();
    }

    void sessionStartsWhenToldAndEndsTheWorker()
    {
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(spare));
        auto *session = new CdcUsbSession(target.get(), sim->tcpPort(spare));
        QPointer<CdcUsbProcess> worker = session->worker();
        // A worker that ran before anyone listened could announce its link before anyone
        // listens, and the announcement would be lost.
        QVERIFY(!worker->thread()->isRunning());
        WorkerRelay relay(worker);
        QSignalSpy connected(&relay, &WorkerRelay::connected);
        session->start();
        QVERIFY(connected.wait(10000));
        delete session;
        QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 10000);
    }

    void bytesOfALostLinkAreNotTakenAsAnAnswer_data() { overBothTransports(); }

    void bytesOfALostLinkAreNotTakenAsAnAnswer()
    {
        QFETCH(bool, overUsb);
        SimDevice *device = overUsb ? horn : spare;
        std::unique_ptr<ProjectDevice> target(targetOf(device));
        Worker link(target.get(), sim->tcpPort(spare), true);
        QVERIFY(link.waitConnected());
        QCOMPARE(link.exchange("GET VERSION").value(2).toInt(), 0);

        // The device starts its answer and is gone before the line is complete.
        sim->setRawAnswer(device, "GET DESCRIPTOR", QByteArray("12"), 1);
        link.worker()->addRequest("GET DESCRIPTOR desc_SerialNumber");
        QTRY_VERIFY_WITH_TIMEOUT(
            sim->requestLog(device).contains("GET DESCRIPTOR desc_SerialNumber"), 5000);
        sim->unplug(device);
        QVERIFY(waitCount(link.disconnected, 1, 5000));
        QVERIFY(sim->replug(device));

        // The first answer on the new link is the device's own, not glued to the old bytes.
        // (A request offered before the new link is up is refused or dropped.)
        const QList<QVariant> result = link.exchangeWhenLinked("GET VERSION");
        QCOMPARE(result.value(2).toInt(), 0);
        QCOMPARE(result.value(1).toString(),
                 deviceTypeKey(overUsb ? DeviceType::Horn : DeviceType::Media) + " 1.0.0");
    }

    void linesBeforeARequestAreNotItsAnswer()
    {
        // A line that comes after an exchange ended (here a second "OK" to a command; a late
        // answer to a step that timed out in a file job is the same) is no answer to the
        // request sent after it.
        sim->setRawAnswer(horn, "SET FILE_RESET", QByteArray("OK\r\nOK\r\n"), 1);
        QCOMPARE(tcp->exchange("SET FILE_RESET").value(2).toInt(), 0);
        const QList<QVariant> result = tcp->exchange("GET DESCRIPTOR desc_SerialNumber");
        QCOMPARE(result.value(1).toString(), "1001");
        QCOMPARE(result.value(2).toInt(), 0);
        const QList<QVariant> next = tcp->exchange("GET VERSION");
        QCOMPARE(next.value(1).toString(), "horn 1.0.0");
        QCOMPARE(next.value(2).toInt(), 0);
    }

    void dottedAddressIsDecimal()
    {
        // "127.0.0.010" is 127.0.0.10; read as octal it would be 127.0.0.8.
        SimDevice *media = sim->addDevice(DeviceType::Media, 5005, "127.0.0.10");
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(media));
        target->ip_addr = "127.0.0.010";
        Worker link(target.get(), sim->tcpPort(media), true);
        QVERIFY(link.waitConnected());
        const QList<QVariant> result = link.exchangeWhenLinked("GET VERSION", 10000);
        QCOMPARE(result.value(1).toString(), deviceTypeKey(DeviceType::Media) + " 1.0.0");
        QCOMPARE(sim->requestLog(media), QStringList {"GET VERSION"});
    }

    void everyThreadIsJoinedAtTheEnd()
    {
        // One session is destroyed, one is left running (a window still open at exit).
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(spare));
        auto *destroyed = new CdcUsbSession(target.get(), sim->tcpPort(spare));
        CdcUsbSession kept(target.get(), sim->tcpPort(spare));
        QPointer<QThread> destroyedThread = destroyed->worker()->thread();
        QPointer<QThread> keptThread = kept.worker()->thread();
        WorkerRelay relay(kept.worker());
        QSignalSpy connected(&relay, &WorkerRelay::connected);
        QSignalSpy finished(&relay, &WorkerRelay::finished);
        destroyed->start();
        kept.start();
        QVERIFY(connected.wait(10000));
        QVERIFY(CdcUsbSession::runningThreads() >= 2);

        delete destroyed;
        QCOMPARE(CdcUsbSession::stopAllAndWait(10000), 0);
        QCOMPARE(CdcUsbSession::runningThreads(), 0);
        QVERIFY(destroyedThread.isNull() || destroyedThread->isFinished());
        QVERIFY(keptThread.isNull() || keptThread->isFinished());
        // The worker left running was stopped, not cut off: it ended its loop.
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);

        // The shared link was stopped as well; the tests after this one get a new one.
        tcp = std::make_unique<Worker>(hornTcp.get(), sim->tcpPort(horn), false, true);
        QVERIFY(tcp->waitConnected());
    }

private:
    // Rows for a test that runs over the USB port (the loudspeaker) and over TCP (the spare).
    static void overBothTransports()
    {
        QTest::addColumn<bool>("overUsb");
        QTest::newRow("usb") << true;
        QTest::newRow("tcp") << false;
    }

    ProjectDevice *targetOf(const SimDevice *device) const
    {
        return device == horn ? SimHarness::usbTarget(0x1209, 0x0001)
                              : SimHarness::tcpTarget(spare);
    }

    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
    SimDevice *spare = nullptr;
    std::unique_ptr<ProjectDevice> hornTcp;
    std::unique_ptr<ProjectDevice> hornUsb;
    std::unique_ptr<Worker> tcp;
};

QTEST_GUILESS_MAIN(TestWorker)
#include "tst_worker.moc"
