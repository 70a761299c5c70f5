#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <malloc.h>

#include <memory>

using TestUtil::randomBytes;

namespace {

// The download reports of a facade, as a spy records signals; the block buffer (valid only
// while the report is delivered) is kept as a copy, or as a null variant.
class BlockSpy : public QList<QList<QVariant>> {
public:
    explicit BlockSpy(Amodule *module)
    {
        QObject::connect(
            module, &Amodule::readedFileBlock, &context,
            [this](const QString &path, int position, int size, QByteArray *buffer, int err) {
                append({path, position, size, buffer ? QVariant(*buffer) : QVariant(), err});
            });
    }
    bool wait(int ms)
    {
        const int before = size();
        return QTest::qWaitFor([&] { return size() > before; }, ms);
    }

private:
    QObject context;
};

// The facade of one device window, watched by spies.
class Facade {
public:
    Facade(const ProjectDevice *target, quint16 port)
        : module(target, nullptr, port)
        , connected(&module, &Amodule::connected)
        , written(&module, &Amodule::writedFileBlock)
        , read(&module)
        , params(&module, &Amodule::receivedParam)
    {
    }
    ~Facade() { module.closeAndWait(30000); }

    Amodule module;
    QSignalSpy connected;
    QSignalSpy written;
    BlockSpy read;
    QSignalSpy params;
};

// The reports as "err@position" texts, for comparing whole sequences.
// Bytes of heap in use by the whole process, every thread's arena included.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

QStringList reports(const QList<QList<QVariant>> &spy, int errColumn, int positionColumn)
{
    QStringList list;
    for (const QList<QVariant> &report : spy)
        list << QStringLiteral("%1@%2")
                    .arg(report.at(errColumn).toInt())
                    .arg(report.at(positionColumn).toInt());
    return list;
}

struct RefusalRow {
    const char *name, *fault;
    QStringList reports;
    bool closed;
};

} // namespace

Q_DECLARE_METATYPE(RefusalRow)

class TestFileTransfer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.73.0.2");
        target.reset(SimHarness::tcpTarget(horn));
        facade = std::make_unique<Facade>(target.get(), sim->tcpPort(horn));
        QVERIFY(facade->connected.wait(10000));
    }

    void cleanupTestCase()
    {
        facade.reset();
        sim.reset();
    }

    void init()
    {
        sim->clearFaults(horn);
        sim->clearLog(horn);
        facade->written.clear();
        facade->read.clear();
        QVERIFY(facade->module.isConnected());
    }

    void cleanup()
    {
        sim->clearFaults(horn);
        // Whatever a test left in the device's transfer state goes.
        QTRY_VERIFY_WITH_TIMEOUT(!facade->module.isFileTransferPending(), 20000);
        QSignalSpy reset(&facade->module, &Amodule::writedParam);
        QCOMPARE(facade->module.sendCommand("SET FILE_RESET"), 0);
        QVERIFY(reset.wait(10000));
    }

    void uploadBlocks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("blocks");
        QTest::newRow("empty") << 0 << QList<int> {};
        QTest::newRow("one byte") << 1 << QList<int> {1};
        QTest::newRow("511") << 511 << QList<int> {511};
        QTest::newRow("512") << 512 << QList<int> {512};
        QTest::newRow("513") << 513 << QList<int> {512, 1};
        QTest::newRow("1300") << 1300 << QList<int> {512, 512, 276};
        QTest::newRow("512 x 4") << 2048 << QList<int> {512, 512, 512, 512};
    }

    void uploadBlocks()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, blocks);
        const QString path = "0:\\audio\\upload.bin";
        const QByteArray data = randomBytes(size);
        QCOMPARE(facade->module.writeFile(path, data), 0);
        waitUploadEnd();

        QStringList expectedReports;
        QStringList expectedWire {"SET FILE_CREATE " + path};
        int position = 0;
        for (int block : blocks) {
            expectedWire << "SET FILE_WRITE " +
                    QString::fromLatin1(data.mid(position, block).toHex().toUpper());
            position += block;
            expectedReports << QStringLiteral("0@%1").arg(position);
        }
        expectedReports << QStringLiteral("2@%1").arg(size);
        expectedWire << "SET FILE_CLOSE";
        QCOMPARE(reports(facade->written, 3, 1), expectedReports);
        for (const QList<QVariant> &report : qAsConst(facade->written)) {
            QCOMPARE(report.at(0).toString(), path);
            QCOMPARE(report.at(2).toInt(), size);
        }
        QCOMPARE(writesOnTheWire(), expectedWire);

        QByteArray stored;
        SimCommandDevice *device = sim->command(horn);
        sim->run([&] { stored = device->files.file(path); });
        QCOMPARE(stored, data);
    }

    void cancelledUpload()
    {
        sim->setFault(horn, "delay=40");
        const QByteArray data = randomBytes(512 * 40);
        QCOMPARE(facade->module.writeFile("0:\\audio\\big.bin", data), 0);
        QVERIFY(facade->written.wait(10000));
        facade->module.abortFileWrite();
        waitUploadEnd();

        const QList<QVariant> last = facade->written.last();
        QCOMPARE(last.at(3).toInt(), 1);
        int cancels = 0;
        int blocks = 0;
        for (const QList<QVariant> &report : qAsConst(facade->written)) {
            cancels += report.at(3).toInt() == 1 ? 1 : 0;
            blocks += report.at(3).toInt() == 0 ? 1 : 0;
        }
        QCOMPARE(cancels, 1);
        QVERIFY(blocks < 40);
        QCOMPARE(last.at(1).toInt(), blocks * 512);
        const QStringList wire = writesOnTheWire();
        QVERIFY(!wire.contains("SET FILE_CLOSE"));
        QCOMPARE(wire.filter("SET FILE_WRITE").size(), blocks);
    }

    void requestsDuringAnUploadGoAfterIt()
    {
        // The upload lasts over a second: every answer of the device comes 25 ms late.
        sim->setFault(horn, "delay=25");
        QStringList events;
        QObject context;
        connect(&facade->module, &Amodule::writedFileBlock, &context,
                [&](const QString &, int, int, int err) {
                    if (err != 0)
                        events << QStringLiteral("upload %1").arg(err);
                });
        connect(&facade->module, &Amodule::receivedDescriptor, &context,
                [&](const QString &name, const QVariant &value) {
                    events << QStringLiteral("read %1 %2").arg(name, value.toString());
                });
        connect(&facade->module, &Amodule::writedDescriptor, &context,
                [&](const QString &name, const QVariant &, int, int err) {
                    events << QStringLiteral("write %1 %2").arg(name).arg(err);
                });
        QCOMPARE(facade->module.writeFile("0:\\audio\\long.bin", randomBytes(512 * 60)), 0);
        QVERIFY(facade->written.wait(10000));
        QVERIFY(facade->module.isFileTransferPending());

        // Queued at once, without waiting for the transfer, which holds no lock the caller
        // would wait for.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(facade->module.getDescriptor("SerialNumber"), 0);
        QCOMPARE(facade->module.setDescriptor("MaxVolume", 21), 0);
        QCOMPARE(facade->module.getDescriptor("MaxVolume"), 0);
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(facade->module.isFileTransferPending());

        // Answered after the upload's end, in order.
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 4, 20000);
        QCOMPARE(events,
                 (QStringList {"upload 2", "read SerialNumber 1001", "write desc_MaxVolume 0",
                               "read MaxVolume 21"}));
        const QStringList log = sim->requestLog(horn);
        const int close = log.indexOf("SET FILE_CLOSE");
        QVERIFY(close > 0);
        QCOMPARE(
            log.mid(close + 1),
            (QStringList {"GET DESCRIPTOR desc_SerialNumber", "SET DESCRIPTOR desc_MaxVolume 21",
                          "GET DESCRIPTOR desc_MaxVolume"}));
    }

    void refusedUpload_data()
    {
        const RefusalRow rows[] = {
            // clang-format off
            // name, fault, reports (err@position), closed
            {"middle block", "fail=1@1:SET FILE_WRITE", {"0@512", "-2@512", "-4@512"}, false},
            {"last block", "fail=1@2:SET FILE_WRITE", {"0@512", "0@1024", "-2@1024", "-4@1024"}, false},
            {"first block", "fail=1:SET FILE_WRITE", {"-2@0", "-4@0"}, false},
            {"close", "fail=1:SET FILE_CLOSE", {"0@512", "0@1024", "0@1300", "-3@1300"}, true},
            {"block not answered", "mute=1@1:SET FILE_WRITE", {"0@512", "-2@512", "-4@512"}, false},
            {"creation", "fail=1:SET FILE_CREATE", {"-5@0"}, false},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void refusedUpload()
    {
        QFETCH(RefusalRow, row);
        sim->setFault(horn, row.fault);
        QCOMPARE(facade->module.writeFile("0:\\audio\\refused.bin", randomBytes(1300)), 0);
        waitUploadEnd();
        QCOMPARE(reports(facade->written, 3, 1), row.reports);
        QCOMPARE(writesOnTheWire().contains("SET FILE_CLOSE"), row.closed);
    }

    void download_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("1300 bytes") << 1300 << QStringList {"0@512", "0@1024", "0@1300", "2@1300"};
        QTest::newRow("512 bytes") << 512 << QStringList {"0@512", "2@512"};
        QTest::newRow("empty file") << 0 << QStringList {"2@0"};
        QTest::newRow("100 KiB") << 100 * 1024 << QStringList();
    }

    void download()
    {
        QFETCH(int, size);
        QFETCH(QStringList, expected);
        const QString path = "0:\\audio\\down.bin";
        const QByteArray data = randomBytes(size);
        store(path, data);

        QCOMPARE(facade->module.readFile(path), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!facade->read.isEmpty() && facade->read.last().at(4).toInt() != 0,
                                 20000);
        const QStringList got = reports(facade->read, 4, 1);
        if (!expected.isEmpty())
            QCOMPARE(got, expected);
        QByteArray joined;
        for (const QList<QVariant> &report : qAsConst(facade->read)) {
            QCOMPARE(report.at(0).toString(), path);
            QCOMPARE(report.at(2).toInt(), 0);
            QVERIFY(report.at(3).isValid());
            const QByteArray buffer = report.at(3).toByteArray();
            if (report.at(4).toInt() == 0)
                joined += buffer;
            else
                QCOMPARE(buffer, data);
        }
        QCOMPARE(joined, data);
        const QStringList log = sim->requestLog(horn);
        QCOMPARE(log.first(), "SET FILE_OPEN " + path);
        QCOMPARE(log.last(), "SET FILE_CLOSE");
        QCOMPARE(log.filter("GET FILE_READ 512").size(), (size + 511) / 512 + 1);
    }

    void downloadOfAMissingFile()
    {
        // Reported, without a buffer, so that whoever waits learns that it is over.
        QCOMPARE(facade->module.readFile("0:\\none.bin"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(facade->read.count() == 1, 10000);
        QCOMPARE(reports(facade->read, 4, 1), QStringList {"-3@0"});
        QVERIFY(!facade->read.first().at(3).isValid());
        QCOMPARE(sim->requestLog(horn), QStringList {"SET FILE_OPEN 0:\\none.bin"});
    }

    void downloadWhenTheDeviceStopsAnswering()
    {
        store("0:\\d.bin", randomBytes(1300));
        sim->setFault(horn, "mute=1@1:GET FILE_READ");
        QCOMPARE(facade->module.readFile("0:\\d.bin"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(facade->read.count() == 3, 20000);
        QCOMPARE(reports(facade->read, 4, 1), (QStringList {"0@512", "-1@512", "-2@512"}));
        QVERIFY(!facade->read.at(1).at(3).isValid());
        QVERIFY(!facade->read.at(2).at(3).isValid());
        QVERIFY(sim->requestLog(horn).contains("SET FILE_RESET"));
        // The worker is ready for the next job.
        facade->params.clear();
        QCOMPARE(facade->module.getParam("STATUS"), 0);
        QVERIFY(facade->params.wait(10000));
        QCOMPARE(facade->params.last().at(0).toString(), "STATUS");
    }

    void downloadOfUndecodableBlocks()
    {
        store("0:\\u.bin", randomBytes(100));
        sim->setRawAnswer(horn, "GET FILE_READ", QByteArray("zz-qq\r\nOK\r\n"));
        QCOMPARE(facade->module.readFile("0:\\u.bin"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(facade->read.count() == 2, 20000);
        QCOMPARE(reports(facade->read, 4, 1), (QStringList {"-1@0", "-2@0"}));
        const QStringList log = sim->requestLog(horn);
        QCOMPARE(log.filter("GET FILE_READ").size(), 3);
        QCOMPARE(log.last(), "SET FILE_RESET");
    }

    void downloadOfAFaultyBlock_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("raw"); // the second block's answer, when not empty
        QTest::addColumn<int>("failedAt");
        // A NUL byte cuts the text of the block short: at the block's start it would read as
        // the end of the file.
        QTest::newRow("NUL at the start of a block")
            << "" << QByteArray(1, '\0') + randomBytes(512).toHex().toUpper() + "\r\nOK\r\n"
            << 512;
        QTest::newRow("NUL inside a block") << "nul=1@1:GET FILE_READ" << QByteArray() << 512;
        // The device reads ahead: every block is longer than asked, the file is still whole.
        QTest::newRow("100 bytes more than asked") << "long-block=100" << QByteArray() << 0;
        QTest::newRow("one byte more than asked") << "long-block=1" << QByteArray() << 0;
        QTest::newRow("twice as long as asked")
            << "" << QByteArray(randomBytes(1024).toHex() + "\r\nOK\r\n") << 512;
    }

    void downloadOfAFaultyBlock()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, raw);
        QFETCH(int, failedAt);
        const QString path = "0:\\audio\\faulty.bin";
        store(path, randomBytes(3144));
        if (!fault.isEmpty())
            sim->setFault(horn, fault);
        // The first block is the device's own; the second is replaced.
        if (!raw.isEmpty())
            sim->setRawAnswer(horn, "GET FILE_READ", raw, 1, 1);
        QCOMPARE(facade->module.readFile(path), 0);
        // Until the download's last report (-1 is followed by -2).
        QTRY_VERIFY_WITH_TIMEOUT(!facade->read.isEmpty() &&
                                     facade->read.last().at(4).toInt() != 0 &&
                                     facade->read.last().at(4).toInt() != -1,
                                 20000);
        // The download fails at the faulty block: no block of another size and no end is
        // reported.
        const QString at = QString::number(failedAt);
        QStringList expected;
        if (failedAt > 0)
            expected << "0@" + at;
        expected << "-1@" + at << "-2@" + at;
        QCOMPARE(reports(facade->read, 4, 1), expected);
        QCOMPARE(sim->requestLog(horn).last(), "SET FILE_RESET");
    }

    void downloadEndsWithItsFacade()
    {
        const QString path = "0:\\audio\\long.bin";
        const int size = 2 * 1024 * 1024;
        store(path, randomBytes(size));
        sim->setFault(horn, "delay=1");
        const qint64 heapBefore = heapInUse();

        // A device window closed while a download runs: its facade goes without close().
        auto *module = new Amodule(target.get(), nullptr, sim->tcpPort(horn));
        QSignalSpy connected(module, &Amodule::connected);
        QVERIFY(connected.wait(10000));
        QPointer<CdcUsbProcess> worker = module->worker();
        int blocks = 0;
        connect(module, &Amodule::readedFileBlock, module,
                [&blocks](const QString &, int, int, QByteArray *, int) { ++blocks; });
        QCOMPARE(module->readFile(path), 0);
        QTRY_VERIFY_WITH_TIMEOUT(blocks > 0, 10000);
        delete module;
        QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 60000);

        // The download ended with its receiver, and no buffer was left behind.
        const QStringList log = sim->requestLog(horn);
        QVERIFY2(log.filter("GET FILE_READ").size() < size / 512,
                 qPrintable(QString::number(log.filter("GET FILE_READ").size())));
        QCOMPARE(log.last(), "SET FILE_CLOSE");
        const qint64 grown = heapInUse() - heapBefore;
        QVERIFY2(grown < size / 2, qPrintable(QString::number(grown)));
    }

    void lineBeforeAStepIsNoAnswer()
    {
        // A surplus line after a step (as a late answer to a step that timed out would be)
        // is not taken as the answer to the next step.
        const QString path = "0:\\audio\\surplus.bin";
        const QByteArray data = randomBytes(1300);
        store(path, data);
        sim->setRawAnswer(horn, "SET FILE_RESET", QByteArray("OK\r\nOK\r\n"), 1);
        QSignalSpy reset(&facade->module, &Amodule::writedParam);
        QCOMPARE(facade->module.sendCommand("SET FILE_RESET"), 0);
        QVERIFY(reset.wait(10000));

        QCOMPARE(facade->module.readFile(path), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!facade->read.isEmpty() && facade->read.last().at(4).toInt() != 0,
                                 20000);
        QCOMPARE(reports(facade->read, 4, 1),
                 (QStringList {"0@512", "0@1024", "0@1300", "2@1300"}));
        QCOMPARE(facade->read.last().at(3).toByteArray(), data);
    }

private:
    QStringList writesOnTheWire()
    {
        QStringList lines;
        for (const QString &line : sim->requestLog(horn)) {
            if (line.startsWith(QLatin1String("SET FILE_")))
                lines << line;
        }
        return lines;
    }

    // Puts a file on the simulated device.
    void store(const QString &path, const QByteArray &data)
    {
        SimCommandDevice *device = sim->command(horn);
        sim->run([&] { device->files.store(path, data); });
    }

    void waitUploadEnd()
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            !facade->written.isEmpty() && facade->written.last().at(3).toInt() != 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!facade->module.isFileTransferPending(), 20000);
    }

    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
    std::unique_ptr<ProjectDevice> target;
    std::unique_ptr<Facade> facade;
};

QTEST_GUILESS_MAIN(TestFileTransfer)
#include "tst_filetransfer.moc"
