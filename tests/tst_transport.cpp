#include "link/cdctcpdevice.h"
#include "link/cdcusbdevice.h"
#include "link/connectiondevice.h"
#include "link/networkports.h"
#include "link/serialportenumerator.h"
#include "link/virtualportregistry.h"
#include "project/devicetype.h"
#include "project/ipv4address.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simdevice.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A transport fed by hand with the chunks a port would deliver.
class FedTransport : public ConnectionDevice {
public:
    void feed(const QByteArray &bytes) { appendReceived(bytes); }
};

struct FindRow {
    const char *name;
    QStringList entries;
    uint16_t vid, pid;
    const char *found;
};

} // namespace

Q_DECLARE_METATYPE(FindRow)

class TestTransport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.71.0.2");
    }

    void cleanupTestCase() { sim.reset(); }

    void init() { sim->clearFaults(horn); }

    void readLineKeepsPartialLines()
    {
        std::unique_ptr<CdcTcpDevice> transport = connectTcp();
        QVERIFY(transport);
        sim->setRawAnswer(horn, "X", QByteArray("OK\r\nabc"));
        QSignalSpy received(transport.get(), &ConnectionDevice::received);
        transport->write(QStringLiteral("X\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(transport->receivedSize(), qint64(7), 5000);
        QVERIFY(transport->canReadLine());
        QCOMPARE(transport->readLine(), QByteArray("OK\r\n"));
        QCOMPARE(transport->receivedSize(), qint64(3));
        QVERIFY(!transport->canReadLine());
        QCOMPARE(transport->readLine(), QByteArray());
        QCOMPARE(transport->receivedSize(), qint64(3));
        QVERIFY(received.count() >= 1);
        QCOMPARE(transport->takeReceived(), QByteArray("abc"));
        QCOMPARE(transport->receivedSize(), qint64(0));

        // A line feed first is a line of one byte.
        sim->setRawAnswer(horn, "Y", QByteArray("\nrest\n"));
        transport->write(QStringLiteral("Y\r\n"));
        QVERIFY(transport->waitForLine(5000));
        QTRY_COMPARE_WITH_TIMEOUT(transport->receivedSize(), qint64(6), 5000);
        QCOMPARE(transport->readLine(), QByteArray("\n"));
        QCOMPARE(transport->readLine(), QByteArray("rest\n"));
        transport->clearReceived();
        QCOMPARE(transport->receivedSize(), qint64(0));
    }

    void linesAreFramedAcrossArrivals()
    {
        // Lines of every length up to a few hundred bytes, cut into chunks that end anywhere,
        // with some lines taken after each chunk and the rest left for later: what is taken
        // is the stream, line by line, and what is left is counted and handed out exactly.
        QByteArray stream;
        QList<QByteArray> expected;
        for (int i = 0; i < 2000; ++i) {
            const QByteArray line = QByteArray::number(i) + QByteArray(i % 300, 'x') + "\r\n";
            expected << line;
            stream += line;
        }
        FedTransport transport;
        QList<QByteArray> lines;
        int at = 0;
        for (int chunk = 1; at < stream.size(); chunk = chunk * 7 % 1013 + 1) {
            transport.feed(stream.mid(at, chunk));
            at += chunk;
            for (int n = chunk % 4; n > 0 && transport.canReadLine(); --n)
                lines << transport.readLine();
            int pending = 0;
            for (const QByteArray &line : qAsConst(lines))
                pending += line.size();
            QCOMPARE(transport.receivedSize(), qint64(qMin(at, stream.size()) - pending));
        }
        while (transport.canReadLine())
            lines << transport.readLine();
        QCOMPARE(lines, expected);
        QCOMPARE(transport.receivedSize(), qint64(0));

        // What is left after some lines were taken is the rest, not the whole buffer.
        transport.feed("one\ntwo\nthr");
        QCOMPARE(transport.readLine(), QByteArray("one\n"));
        QCOMPARE(transport.takeReceived(), QByteArray("two\nthr"));
        transport.feed("a\nb");
        QCOMPARE(transport.readLine(), QByteArray("a\n"));
        transport.clearReceived();
        QCOMPARE(transport.receivedSize(), qint64(0));
        QVERIFY(!transport.canReadLine());
        transport.feed("c\n");
        QCOMPARE(transport.readLine(), QByteArray("c\n"));
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::newRow("plain") << "192.168.0.5"
                               << "192.168.0.5";
        QTest::newRow("leading zeros are decimal") << "192.168.010.005"
                                                   << "192.168.10.5";
        QTest::newRow("all zeros") << "000.0.00.0"
                                   << "0.0.0.0";
        QTest::newRow("part above 255") << "192.168.0.256" << QString();
        QTest::newRow("four digits") << "192.168.0010.5" << QString();
        QTest::newRow("three parts") << "127.1.2" << QString();
        QTest::newRow("two parts") << "127.1" << QString();
        QTest::newRow("one number") << "2130706433" << QString();
        QTest::newRow("hexadecimal part") << "0x7f.0.0.1" << QString();
        QTest::newRow("five parts") << "1.2.3.4.5" << QString();
        QTest::newRow("empty part") << "1..3.4" << QString();
        QTest::newRow("space inside") << "192.168.0.5 " << QString();
        QTest::newRow("other script's digits") << QString::fromUtf8("١٢٧.0.0.1") << QString();
        QTest::newRow("host name") << "device.local"
                                   << "device.local";
        QTest::newRow("host name, final dot") << "localhost."
                                              << "localhost.";
        QTest::newRow("IPv6") << "::1"
                              << "::1";
        QTest::newRow("empty") << QString() << QString();
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QCOMPARE(Ipv4Address::networkHost(text), host);
    }

    void waitForLineTimesOutAndWakesOnALine()
    {
        std::unique_ptr<CdcTcpDevice> transport = connectTcp();
        QVERIFY(transport);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!transport->waitForLine(500));
        QVERIFY2(clock.elapsed() >= 490, qPrintable(QString::number(clock.elapsed())));

        sim->setFault(horn, "delay=300");
        transport->write(QStringLiteral("GET VERSION\r\n"));
        clock.restart();
        QVERIFY(transport->waitForLine(20000));
        // It returned on the line, long before its own deadline.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(transport->readLine(), QByteArray("horn 1.0.0\r\n"));
    }

    void tcpOpenSucceedsForAnUnreachableHost()
    {
        CdcTcpDevice transport;
        // Nothing listens on this loopback address.
        QVERIFY(transport.open("127.71.0.250", 23));
        QVERIFY(transport.isOpen());
        QVERIFY(!transport.waitForLine(300));
        QVERIFY(!transport.isConnected());
        transport.close();
        QVERIFY(!transport.isOpen());
    }

    void endlessLineIsCappedAndMarked()
    {
        std::unique_ptr<CdcTcpDevice> transport = connectTcp();
        QVERIFY(transport);
        sim->setFault(horn, "flood=3000000");
        transport->write(QStringLiteral("GET VERSION\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(transport->hasOverflowed(), 10000);
        QVERIFY(transport->receivedSize() <= ConnectionDevice::maxPartialLine);
        QVERIFY(!transport->canReadLine());
        transport->clearReceived();
        QVERIFY(!transport->hasOverflowed());
        transport->close();

        // However the bytes arrive, the buffer never grows past its cap, and a line after
        // the flood is framed again once the buffer was emptied.
        for (const int chunk : {64 * 1024, 3000000}) {
            FedTransport fed;
            for (int sent = 0; sent < 3000000; sent += chunk) {
                fed.feed(QByteArray(chunk, 'A'));
                QVERIFY(fed.receivedSize() <= ConnectionDevice::maxPartialLine);
                QVERIFY(fed.hasOverflowed() == (sent + chunk > ConnectionDevice::maxPartialLine));
            }
            QVERIFY(!fed.canReadLine());
            fed.clearReceived();
            fed.feed("OK\r\n");
            QCOMPARE(fed.readLine(), QByteArray("OK\r\n"));
            QVERIFY(!fed.hasOverflowed());
        }
    }

    void usbTransportTalksToAPseudoTerminal()
    {
        SimDevice *console = sim->addDevice(DeviceType::IpPult, 4004, "127.71.0.5");
        const QString path = sim->addUsb(console, 0x1209, 0x0004);
        QVERIFY(!path.isEmpty());
        CdcUsbDevice transport;
        PortDescription port;
        QVERIFY(transport.findPort(port, 0x1209, 0x0004));
        QCOMPARE(port.systemLocation, path);
        QVERIFY(port.isVirtual);
        QVERIFY(transport.open(port));
        QVERIFY(transport.isOpen());
        QCOMPARE(transport.openedPort().systemLocation, path);
        transport.write(QStringLiteral("GET DESCRIPTOR desc_SerialNumber\r\n"));
        QVERIFY(transport.waitForLine(5000));
        QCOMPARE(transport.readLine(), QByteArray("4004\r\n"));
        QVERIFY(transport.waitForLine(5000));
        QCOMPARE(transport.readLine(), QByteArray("OK\r\n"));

        // A second open of the same port fails while the first holds it.
        CdcUsbDevice second;
        QVERIFY(!second.open(port));
        QVERIFY(!second.isOpen());
        transport.close();
        QVERIFY(!transport.isOpen());
        QVERIFY(second.open(port));
    }

    void pulledPortReportsFailure()
    {
        SimDevice *media = sim->addDevice(DeviceType::Media, 5005, "127.71.0.6");
        QVERIFY(!sim->addUsb(media, 0x1209, 0x0005).isEmpty());
        CdcUsbDevice transport;
        PortDescription port;
        QVERIFY(transport.findPort(port, 0x1209, 0x0005));
        QVERIFY(transport.open(port));
        QVERIFY(SerialPortEnumerator::isPresent(port));
        QSignalSpy failed(&transport, &ConnectionDevice::portFailed);
        sim->unplug(media);
        QVERIFY(!SerialPortEnumerator::isPresent(port));
        QVERIFY(failed.wait(5000));
        // Waiting on a dead port sleeps out its time instead of returning at once.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!transport.waitForLine(300));
        QVERIFY(clock.elapsed() >= 290);
        QVERIFY(sim->replug(media));
    }

    void registryEntries_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("usbIds");
        QTest::newRow("complete") << QByteArray("path=/dev/null\nvid=0483\npid=5740\nserial=7\n")
                                  << true << "0483:5740";
        QTest::newRow("no ids") << QByteArray("path=/dev/null\n") << true << "-";
        QTest::newRow("bad id") << QByteArray("path=/dev/null\nvid=zz\npid=1\n") << true << "-";
        QTest::newRow("relative path") << QByteArray("path=dev/null\n") << false << "";
        QTest::newRow("no path") << QByteArray("vid=0483\npid=5740\n") << false << "";
        QTest::newRow("missing node") << QByteArray("path=/dev/norda-none\n") << false << "";
        QTest::newRow("rubbish") << QByteArray("\x01\x02\xff\n==\n") << false << "";
    }

    void registryEntries()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, usable);
        QFETCH(QString, usbIds);
        QTemporaryDir dir;
        QFile file(dir.filePath("x.port"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const QList<PortDescription> ports = VirtualPortRegistry::ports(dir.path());
        QCOMPARE(ports.size(), usable ? 1 : 0);
        if (usable) {
            QCOMPARE(ports.at(0).systemLocation, "/dev/null");
            QCOMPARE(ports.at(0).usbIdText(), usbIds);
            QVERIFY(ports.at(0).isVirtual);
        }
    }

    void findPort_data()
    {
        const FindRow rows[] = {
            // clang-format off
            // name, entries (name=vid:pid, all on /dev/null), vid, pid, found: port name or ""
            {"requested ids", {"a=1111:2222", "b=3333:4444"}, 0x3333, 0x4444, "b"},
            {"fixed ids win whatever was asked", {"a=1111:2222", "b=0483:5740"}, 0x1209, 0x0001, "b"},
            {"first of two matching", {"a=0483:5740", "b=0483:5740"}, 0x0483, 0x5740, "a"},
            {"first in order, fixed or requested", {"a=1111:2222", "b=0483:5740"}, 0x1111, 0x2222, "a"},
            {"none", {"a=1111:2222"}, 0x1209, 0x0001, ""},
            {"no ports", {}, 0x0483, 0x5740, ""},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void findPort()
    {
        QFETCH(FindRow, row);

        // A registry of its own for this test only.
        QTemporaryDir dir;
        const QByteArray saved = qgetenv(VirtualPortRegistry::environmentVariable);
        qputenv(VirtualPortRegistry::environmentVariable, dir.path().toLocal8Bit());
        for (const QString &entry : row.entries) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            const QString ids = entry.section(QLatin1Char('='), 1);
            PortDescription port;
            port.systemLocation = "/dev/null";
            port.serialNumber = name;
            port.vendorId = uint16_t(ids.section(QLatin1Char(':'), 0, 0).toUInt(nullptr, 16));
            port.productId = uint16_t(ids.section(QLatin1Char(':'), 1).toUInt(nullptr, 16));
            port.hasVendorId = port.hasProductId = true;
            QVERIFY(VirtualPortRegistry::publish(dir.path(), name, port));
        }
        PortDescription port;
        const bool result = SerialPortEnumerator::findPort(port, row.vid, row.pid, false);
        qputenv(VirtualPortRegistry::environmentVariable, saved);
        QCOMPARE(result, *row.found != 0);
        if (result)
            QCOMPARE(port.serialNumber, row.found);
    }

    void presence()
    {
        QTemporaryDir dir;
        PortDescription port;
        port.systemLocation = "/dev/null";
        port.hasVendorId = port.hasProductId = true;
        QVERIFY(VirtualPortRegistry::publish(dir.path(), "p", port));
        const QByteArray saved = qgetenv(VirtualPortRegistry::environmentVariable);
        qputenv(VirtualPortRegistry::environmentVariable, dir.path().toLocal8Bit());
        const QList<PortDescription> ports = SerialPortEnumerator::availablePorts();
        QCOMPARE(ports.size(), 1);
        QVERIFY(SerialPortEnumerator::isPresent(ports.at(0)));
        QVERIFY(VirtualPortRegistry::withdraw(dir.path(), "p"));
        QVERIFY(!SerialPortEnumerator::isPresent(ports.at(0)));
        qputenv(VirtualPortRegistry::environmentVariable, saved);
        QVERIFY(!VirtualPortRegistry::publish(dir.path(), "../escape", port));
        // A real port is present while its device node exists.
        PortDescription real;
        real.systemLocation = "/dev/null";
        QVERIFY(SerialPortEnumerator::isPresent(real));
        real.systemLocation = "/dev/norda-none";
        QVERIFY(!SerialPortEnumerator::isPresent(real));
    }

    void networkPorts_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("commandPort");
        QTest::addColumn<int>("statusPort");
        QTest::newRow("missing keys") << QString() << QString() << 23 << 8080;
        QTest::newRow("set") << "2323"
                             << "18080" << 2323 << 18080;
        QTest::newRow("not numbers") << "telnet"
                                     << "x" << 23 << 8080;
        QTest::newRow("out of range") << "0"
                                      << "70000" << 23 << 8080;
    }

    void networkPorts()
    {
        QFETCH(QString, command);
        QFETCH(QString, status);
        QFETCH(int, commandPort);
        QFETCH(int, statusPort);
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.ini");
        {
            QSettings settings(path, QSettings::IniFormat);
            if (!command.isNull())
                settings.setValue("network/commandport", command);
            if (!status.isNull())
                settings.setValue("network/statusport", status);
        }
        QSettings settings(path, QSettings::IniFormat);
        const NetworkPorts ports = NetworkPorts::fromSettings(settings);
        QCOMPARE(int(ports.commandPort), commandPort);
        QCOMPARE(int(ports.statusPort), statusPort);
    }

private:
    // A TCP transport connected to the simulated loudspeaker.
    std::unique_ptr<CdcTcpDevice> connectTcp()
    {
        auto transport = std::make_unique<CdcTcpDevice>();
        transport->open("127.71.0.2", sim->tcpPort(horn));
        if (!QTest::qWaitFor([&] { return transport->isConnected(); }, 5000))
            return nullptr;
        return transport;
    }

    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
};

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
