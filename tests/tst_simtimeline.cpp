#include "link/statusanswer.h"
#include "project/devicetype.h"
#include "project/statusdecoder.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusdocument.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simtimeline.h"
#include "tools/devsim/simulator.h"

#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTextCodec>
#include <QtTest>

namespace {

// The answer of a simulated device's command side to one request line.
QString ask(SimCommandDevice &command, const QString &request)
{
    return QTextCodec::codecForName("Windows-1251")->toUnicode(command.respond(request));
}

} // namespace

class TestSimTimeline : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_simulator = new Simulator;
        QVERIFY(m_simulator->addDevice("tovik2:1001@127.0.7.2"));
        QVERIFY(m_simulator->addDevice("ip_pult:1002@127.0.7.3"));
        m_server = new SimStatusServer(m_simulator, 0);
        m_timeline = new SimTimeline(m_simulator, m_server);
    }

    void cleanup()
    {
        delete m_timeline;
        delete m_server;
        delete m_simulator;
    }

    void documentFollowsTheState()
    {
        SimDevice *device = m_simulator->devices().at(0);
        device->mode = -122;
        device->statusByte3 = 0x05;
        device->lineStates = {0, 1, 2, 3, 0, 0, 0, 2};
        device->consoleFaults = 0x80000001u;
        device->extensionFaults = 0x100;
        device->errors = QStringList {"tamper"};
        const QJsonObject document = SimStatusDocument::build(*device);
        QCOMPARE(document.value("device").toString(), "tovik2");
        QCOMPARE(document.value("serial").toInt(), 1001);
        QCOMPARE(document.value("errors").toArray(), QJsonArray {"tamper"});
        QVERIFY(!document.contains("keys_count"));

        // What the console's decoding reads back from it.
        const QByteArray state = StatusDecoder::binaryState(document);
        QCOMPARE(state.size(), SimStatusDocument::stateBytes);
        QCOMPARE(int(qint8(state.at(0))), -122);
        QCOMPARE(int(uchar(state.at(3))), 5);
        for (int line = 0; line < 8; ++line)
            QCOMPARE(StatusDecoder::lineState(state, line), device->lineStates.at(line));
        QVERIFY(StatusDecoder::bit(state, 120));
        QVERIFY(StatusDecoder::bit(state, 151));
        QVERIFY(!StatusDecoder::bit(state, 121));
        QVERIFY(StatusDecoder::bit(state, 160));
        QVERIFY(!StatusDecoder::bit(state, 159));

        SimDevice *console = m_simulator->devices().at(1);
        console->keysCount = 12;
        QCOMPARE(SimStatusDocument::build(*console).value("keys_count").toInt(), 12);
        QCOMPARE(SimStatusDocument::build(*console).value("device").toString(), "ip_pult");
    }

    void steps_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *step, const char *expected) {
            QTest::newRow(name) << QString(step) << QString(expected);
        };
        row("line", "device 1 line 3 tolerance", "lines 0,0,3,0,0,0,0,0");
        row("line value", "device 1 line-value 2 23500",
            "values 24000,23500,24100,24150,24200,24250,24300,24350");
        row("fault on", "device 1 fault mains on", "errors no ext power");
        row("mode hex", "device 1 mode 0x86", "mode -122");
        row("byte 3", "device 1 byte3 255", "byte3 255");
        row("console", "device 1 console 32 faulty", "consoles 80000000");
        row("extension", "device 1 extension 9 faulty", "extensions 100");
        row("key", "device 1 key horn", "key horn");
        row("version", "serial 1001 version 9.9", "version 9.9");
        row("http", "device 1 http endless", "http 8");
    }

    void steps()
    {
        QFETCH(QString, step);
        QFETCH(QString, expected);
        SimDevice *device = m_simulator->devices().at(0);
        QSignalSpy changed(device, &SimDevice::changed);
        QSignalSpy applied(m_timeline, &SimTimeline::stepApplied);
        QString error;
        QVERIFY2(m_timeline->apply(step, &error), qPrintable(error));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(applied.count(), 1);
        QStringList lines;
        for (int s : device->lineStates)
            lines << QString::number(s);
        QStringList values;
        for (int v : device->lineValues)
            values << QString::number(v);
        const QHash<QString, QString> now = {
            {"lines", lines.join(',')},
            {"values", values.join(',')},
            {"errors", device->errors.join(',')},
            {"mode", QString::number(device->mode)},
            {"byte3", QString::number(device->statusByte3)},
            {"consoles", QString::number(device->consoleFaults, 16)},
            {"extensions", QString::number(device->extensionFaults, 16)},
            {"key", device->reportedKey},
            {"version", device->version},
            {"http", QString::number(int(m_server->behaviour(device)))},
        };
        const QString what = expected.section(' ', 0, 0);
        QCOMPARE(now.value(what), expected.section(' ', 1));
        // The other device is untouched.
        QCOMPARE(m_simulator->devices().at(1)->errors, QStringList());
    }

    void wrongScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("error");
        auto row = [](const char *name, const char *script, const QString &error) {
            QTest::newRow(name) << QString(script) << error;
        };
        const QString noTime = "line 1: expected 'at <time> s ...'";
        row("no time", "device 1 line 2 open", noTime);
        row("not a number", "at nan s device 1 mode 1", noTime);
        row("negative time", "at -1 s device 1 mode 1", noTime);
        row("no such device", "# ok\nat 1 s device 3 mode 1", "line 2: no device 3");
        row("no such serial", "at 1 s serial 77 mode 1", "line 1: no serial 77");
        row("line out of range", "at 1 s device 1 line 9 open",
            "line 1: expected 'line 1..8 normal|short|open|tolerance'");
        row("line value out of range", "at 1 s device 1 line-value 2 100000",
            "line 1: expected 'line-value 1..8 MILLIVOLTS' (0..99999)");
        row("unknown fault", "at 1 s device 1 fault fire on",
            "line 1: expected 'fault amplifier|battery|mains|tamper on|off'");
        row("unknown behaviour", "at 1 s all http sleepy",
            "line 1: expected 'http normal|silent|404|empty|not-json|not-object|oversized|slow|"
            "endless'");
        row("unknown action", "at 1 s device 1 explode", "line 1: unknown action 'explode'");
        const QString storage = "line 1: expected 'storage STATUS [SIZE FREE]' (0..255, bytes)";
        row("storage status not a number", "at 1 s device 2 storage x", storage);
        row("storage size without free", "at 1 s device 2 storage 2 10", storage);
        row("negative storage size", "at 1 s device 2 storage 2 -1 5", storage);
        row("status answer without text", "at 1 s device 2 status-answer",
            "line 1: expected 'status-answer TEXT|normal'");
    }

    void wrongScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, error);
        QVERIFY(m_timeline->parse("at 1 s device 1 mode 2\n"));
        QString reason;
        QVERIFY(!m_timeline->parse(script, &reason));
        QCOMPARE(reason, error);
        // The script that was there stays.
        QCOMPARE(m_timeline->stepCount(), 1);
    }

    // The audio devices answer "GET STATUS" with the storage fields 6 to 8 that their windows
    // read: status, size and free space of their files.
    void statusOfAudioDevices_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("loudspeaker") << int(DeviceType::Horn);
        QTest::newRow("IP console") << int(DeviceType::IpPult);
        QTest::newRow("media converter") << int(DeviceType::Media);
        QTest::newRow("central unit") << int(DeviceType::Tovik2);
    }

    void statusOfAudioDevices()
    {
        QFETCH(int, type);
        SimDevice device(type, 1001, QHostAddress("127.0.7.9"));
        SimCommandDevice command(&device, 23);
        const QString answer = ask(command, "GET STATUS");
        QVERIFY2(answer.endsWith("\r\nOK\r\n"), qPrintable(answer));
        const StatusAnswer status = StatusAnswer::parse(answer.section("\r\n", 0, 0));
        QVERIFY(status.valid);
        QCOMPARE(status.typeCode, type);
        QCOMPARE(status.version, 100);
        QVERIFY(status.hasStorage);
        QCOMPARE(status.storageStatus, 2);
        QCOMPARE(status.storageTotal, SimFileSystem::capacity);
        QVERIFY(command.files.used() > 0);
        QCOMPARE(status.storageFree, SimFileSystem::capacity - command.files.used());
    }

    void statusSteps_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("answer");
        QTest::newRow("storage status") << QStringList {"device 2 storage 3"}
                                        << "ip_pult 1002,1.0,0,0,0,0,3,16777216,FREE\r\nOK\r\n";
        QTest::newRow("storage status, size and free space")
            << QStringList {"serial 1002 storage 2 68719476736 250"}
            << "ip_pult 1002,1.0,0,0,0,0,2,68719476736,250\r\nOK\r\n";
        QTest::newRow("back to the files' sizes")
            << QStringList {"device 2 storage 2 1000 250", "device 2 storage 6"}
            << "ip_pult 1002,1.0,0,0,0,0,6,16777216,FREE\r\nOK\r\n";
        QTest::newRow("crafted answer, eight fields")
            << QStringList {"device 2 status-answer horn 5,9.9,  0,0,0,0,2,1000"}
            << "horn 5,9.9, 0,0,0,0,2,1000\r\nOK\r\n";
        QTest::newRow("crafted refusal")
            << QStringList {"device 2 status-answer ERROR 7"} << "ERROR 7\r\n";
        QTest::newRow("built answer again")
            << QStringList {"device 2 status-answer x", "device 2 status-answer normal"}
            << "ip_pult 1002,1.0,0,0,0,0,2,16777216,FREE\r\nOK\r\n";
    }

    void statusSteps()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, answer);
        SimDevice *device = m_simulator->devices().at(1);
        SimCommandDevice command(device, 23);
        QSignalSpy changed(device, &SimDevice::changed);
        for (const QString &step : qAsConst(steps)) {
            QString error;
            QVERIFY2(m_timeline->apply(step, &error), qPrintable(error));
        }
        QCOMPARE(changed.count(), steps.size());
        answer.replace("FREE", QString::number(SimFileSystem::capacity - command.files.used()));
        QCOMPARE(ask(command, "GET STATUS"), answer);
    }

    // Formatting the flash erases its files; the memory card keeps its own.
    void formattingErasesTheFlash()
    {
        SimDevice device(DeviceType::IpPult, 1001, QHostAddress("127.0.7.9"));
        SimCommandDevice command(&device, 23);
        QVERIFY(command.files.store("1:\\audio\\card.wav", QByteArray(100, 'c')));
        QVERIFY(ask(command, "GET FILE_LIST 0:\\audio").contains("siren.wav\t2048\r\n"));
        QCOMPARE(ask(command, "SET DESCRIPTOR desc_NorFormatCmd 0"), "OK\r\n");
        QVERIFY(command.files.exists("0:\\config.ini"));

        QCOMPARE(ask(command, "SET DESCRIPTOR desc_NorFormatCmd 1"), "OK\r\n");
        QCOMPARE(ask(command, "GET FILE_LIST 0:\\audio"), "\r\nOK\r\n");
        QCOMPARE(ask(command, "SET FILE_OPEN 0:\\config.ini"), "ERROR\r\n");
        QCOMPARE(ask(command, "GET FILE_LIST 0:\\keys"), "ERROR\r\n");
        QCOMPARE(ask(command, "GET FILE_LIST 1:\\audio"), "card.wav\t100\r\n\r\nOK\r\n");
        const StatusAnswer status =
            StatusAnswer::parse(ask(command, "GET STATUS").section("\r\n", 0, 0));
        QCOMPARE(status.storageFree, SimFileSystem::capacity - 100);
    }

    // norda-devsim --request-log: every request line, with the device's address and serial
    // number, is in the file as soon as it has been answered, after what the file held.
    void requestLog()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath("requests.log");
        QVERIFY(TestUtil::writeFile(log, "earlier line\n"));
        QProcess simulator;
        simulator.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                        {"--device", "horn:1001@127.0.7.10", "--device", "media:3003@127.0.7.11",
                         "--command-port", "0", "--request-log", log});
        QList<TestUtil::SimEndpoint> started;
        QByteArray output;
        QVERIFY2(TestUtil::waitForSimulator(simulator, &started, &output), output.constData());
        QMap<QString, quint16> ports;
        for (const TestUtil::SimEndpoint &device : qAsConst(started))
            ports.insert(device.serial, quint16(device.address.section(':', 1).toUInt()));
        QCOMPARE(ports.size(), 2);

        const QList<QPair<QString, QString>> requests = {
            {"1001", "GET VERSION"},
            {"1001", "SET DESCRIPTOR desc_MaxVolume 33"},
            {"3003", "GET STATUS"},
            {"1001", "SET DESCRIPTOR desc_DeviceTag Этаж 2"},
        };
        QMap<QString, QTcpSocket *> sockets;
        QStringList expected {"earlier line"};
        for (const auto &request : requests) {
            QTcpSocket *&socket = sockets[request.first];
            if (!socket) {
                socket = new QTcpSocket(this);
                socket->connectToHost(request.first == "1001" ? "127.0.7.10" : "127.0.7.11",
                                      ports.value(request.first));
                QVERIFY(socket->waitForConnected(10000));
            }
            socket->write(QTextCodec::codecForName("Windows-1251")->fromUnicode(request.second) +
                          "\r\n");
            QByteArray answer;
            while (!answer.endsWith("OK\r\n") && !answer.endsWith("ERROR\r\n")) {
                QVERIFY(socket->waitForReadyRead(10000));
                answer += socket->readAll();
            }
            expected << (request.first == "1001" ? "127.0.7.10\t1001\t" : "127.0.7.11\t3003\t") +
                    request.second;
            QCOMPARE(QString::fromUtf8(TestUtil::readFile(log)).split('\n', Qt::SkipEmptyParts),
                     expected);
        }
        qDeleteAll(sockets);
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(10000));
    }

    void runsInTimeOrder()
    {
        QVERIFY(m_timeline->parse(QStringLiteral("at 0.3 s device 1 line 1 short\n"
                                                 "at 0.1 s device 1 line 1 open   # comment\n"
                                                 "\n"
                                                 "at 200 ms all fault tamper on\n")));
        QCOMPARE(m_timeline->stepCount(), 3);
        QSignalSpy applied(m_timeline, &SimTimeline::stepApplied);
        QSignalSpy finished(m_timeline, &SimTimeline::finished);
        m_timeline->start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(applied.count(), 3);
        QCOMPARE(applied.at(0).at(0).toString(), "at 0.1 s device 1 line 1 open");
        QCOMPARE(applied.at(1).at(0).toString(), "at 200 ms all fault tamper on");
        QCOMPARE(m_simulator->devices().at(0)->lineStates.at(0), 1);
        QCOMPARE(m_simulator->devices().at(1)->errors, QStringList {"tamper"});
    }

    // The demonstration's script names only devices of the demonstration's project, and
    // within its first minute something goes wrong and is put right again.
    void demonstrationScriptFitsItsProject()
    {
        Simulator demo;
        QString error;
        QVERIFY2(demo.addProjectDevices(QStringLiteral(NORDA_SOURCE_DIR "/scripts/demo/demo.mpj"),
                                        &error) > 0,
                 qPrintable(error));
        SimStatusServer server(&demo, 0);
        SimTimeline timeline(&demo, &server);
        QVERIFY2(
            timeline.load(QStringLiteral(NORDA_SOURCE_DIR "/scripts/demo/timeline.txt"), &error),
            qPrintable(error));
        QVERIFY(timeline.stepCount() >= 6);
        for (const SimDevice *device : demo.devices())
            QVERIFY2(Simulator::isLoopback(device->address),
                     qPrintable(device->address.toString()));
    }

private:
    Simulator *m_simulator = nullptr;
    SimStatusServer *m_server = nullptr;
    SimTimeline *m_timeline = nullptr;
};

QTEST_GUILESS_MAIN(TestSimTimeline)
#include "tst_simtimeline.moc"
