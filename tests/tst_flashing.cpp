#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/flashprogrammer.h"
#include "link/flashrecord.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"
#include "workerrelay.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using TestUtil::randomBytes;

namespace {

constexpr uint32_t base = 0x08000000;

// Addresses carried by a spy's first argument, as hexadecimal texts.
QStringList addresses(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &args : spy)
        list << "0x" + QString::number(args.at(0).toUInt(), 16);
    return list;
}

// A facade connected to a bootloader, with spies on every signal of its worker.
class Flasher {
public:
    Flasher(const ProjectDevice *target, quint16 port)
        : module(target, nullptr, port)
        , connected(&module, &Amodule::connected)
        , disconnected(&module, &Amodule::disconnected)
    {
    }
    ~Flasher() { module.closeAndWait(60000); }

    bool waitIdentified()
    {
        if (!connected.count() && !connected.wait(10000))
            return false;
        relay = std::make_unique<WorkerRelay>(module.worker());
        spies = std::make_unique<TestUtil::SignalSpies>(relay.get());
        return true;
    }
    QSignalSpy &spy(const char *name) const { return (*spies)[name]; }
    bool waitAny(std::initializer_list<const char *> names, int ms = 30000) const
    {
        return spies->waitAny(names, ms);
    }

    Amodule module;
    QSignalSpy connected;
    QSignalSpy disconnected;
    std::unique_ptr<WorkerRelay> relay;
    std::unique_ptr<TestUtil::SignalSpies> spies;
};

} // namespace

class TestFlashing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The retries' pauses, shortened: the wire is the same.
        FlashProgrammer::Timing timing;
        timing.eraseRetryPauseMs = 5;
        timing.pageRetryPauseMs = 5;
        FlashProgrammer::setTiming(timing);

        sim = std::make_unique<SimHarness>();
        boot = sim->addDevice(DeviceType::Bootloader, 0, "127.74.0.2");
        uniformBoot = sim->addDevice(DeviceType::Bootloader, 0, "127.74.0.3");
        consoleBoot = sim->addDevice(DeviceType::BexarBoot, 0, "127.74.0.4");
        SimCommandDevice *uniform = sim->command(uniformBoot);
        sim->run([&] { uniform->flashLayout = 1; });

        bootTarget.reset(SimHarness::tcpTarget(boot));
        uniformTarget.reset(SimHarness::tcpTarget(uniformBoot));
        consoleTarget.reset(SimHarness::tcpTarget(consoleBoot));
        flasher = std::make_unique<Flasher>(bootTarget.get(), sim->tcpPort(boot));
        uniformFlasher = std::make_unique<Flasher>(uniformTarget.get(), sim->tcpPort(uniformBoot));
        consoleFlasher = std::make_unique<Flasher>(consoleTarget.get(), sim->tcpPort(consoleBoot));
        QVERIFY(flasher->waitIdentified());
        QVERIFY(uniformFlasher->waitIdentified());
        QVERIFY(consoleFlasher->waitIdentified());
        QCOMPARE(flasher->connected.first().at(0).toInt(), int(DeviceType::Bootloader));
        QCOMPARE(flasher->connected.first().at(1).toString(), "2.5,0");
        QCOMPARE(uniformFlasher->connected.first().at(1).toString(), "2.5,1");
        QCOMPARE(consoleFlasher->connected.first().at(0).toInt(), int(DeviceType::BexarBoot));
    }

    void cleanupTestCase()
    {
        flasher.reset();
        uniformFlasher.reset();
        consoleFlasher.reset();
        sim.reset();
        FlashProgrammer::setTiming(FlashProgrammer::Timing());
    }

    void init()
    {
        for (SimDevice *device : {boot, uniformBoot, consoleBoot}) {
            sim->clearFaults(device);
            sim->clearLog(device);
            resetFlash(device);
        }
        for (Flasher *f : {flasher.get(), uniformFlasher.get(), consoleFlasher.get()})
            f->spies->clear();
    }

    void pages_data()
    {
        QTest::addColumn<uint32_t>("address");
        QTest::addColumn<int>("imageBytes"); // image bytes in the page
        QTest::newRow("first page") << base << 256;
        QTest::newRow("partial last page") << base + 0x100 << 0x50;
        QTest::newRow("beyond the image") << base + 0x200 << 0;
        QTest::newRow("below the image") << base - 0x100 << 0;
    }

    void pages()
    {
        QFETCH(uint32_t, address);
        QFETCH(int, imageBytes);
        FlashRecord record;
        record.kind = FlashRecord::Write;
        record.address = base;
        record.size = 0x150;
        record.data = randomBytes(0x150);
        const QByteArray page = FlashProgrammer::page(record, address);
        QCOMPARE(page.size(), 256);
        QCOMPARE(page.left(imageBytes), record.data.mid(int(address - base), imageBytes));
        QCOMPARE(page.mid(imageBytes), QByteArray(256 - imageBytes, char(0xFF)));
    }

    void eraseBySectorTable_data()
    {
        QTest::addColumn<bool>("uniform");
        QTest::addColumn<uint32_t>("address");
        QTest::addColumn<uint32_t>("size");
        QTest::addColumn<QStringList>("sectors");
        QTest::newRow("mixed, 128 KB from the start")
            << false << base << 0x20000u
            << QStringList {"0x8000000", "0x8004000", "0x8008000", "0x800c000", "0x8010000"};
        QTest::newRow("mixed, from 0x08010000 skips the small sectors")
            << false << 0x08010000u << 0x30000u << QStringList {"0x8010000", "0x8020000"};
        QTest::newRow("mixed, one byte") << false << base << 1u << QStringList {"0x8000000"};
        QTest::newRow("mixed, beyond the end of the table")
            << false << 0x080E0000u << 0x40000u << QStringList {"0x80e0000"};
        QTest::newRow("uniform, 256 KB")
            << true << base << 0x40000u << QStringList {"0x8000000", "0x8020000"};
        QTest::newRow("uniform, between sectors")
            << true << 0x08010000u << 0x20000u << QStringList {"0x8020000"};
    }

    void eraseBySectorTable()
    {
        QFETCH(bool, uniform);
        QFETCH(uint32_t, address);
        QFETCH(uint32_t, size);
        QFETCH(QStringList, sectors);
        Flasher &f = uniform ? *uniformFlasher : *flasher;
        SimDevice *device = uniform ? uniformBoot : boot;
        QCOMPARE(f.module.eraseFlash(address, size), 0);
        QVERIFY(f.waitAny({"finishErase", "errorEraseSector"}));
        QCOMPARE(f.spy("errorEraseSector").count(), 0);
        QCOMPARE(addresses(f.spy("startEraseSector")), sectors);
        QCOMPARE(addresses(f.spy("successEraseSector")), sectors);
        QCOMPARE(f.spy("finishErase").first().at(0).toUInt(), address);
        QCOMPARE(f.spy("finishErase").first().at(1).toUInt(), size);
        QStringList expectedWire;
        for (const QString &sector : sectors)
            expectedWire << "SET ADDR " + sector << "SET ERASEBLOCK";
        QCOMPARE(sim->requestLog(device), expectedWire);
    }

    void eraseOfAConsoleGoesByPages()
    {
        // The second page is refused once and erased again after "\r\n\r\n".
        sim->setFault(consoleBoot, "fail=1@1:SET ERASEBLOCK");
        QCOMPARE(consoleFlasher->module.eraseFlash(base, 0x1000), 0);
        QVERIFY(consoleFlasher->waitAny({"finishErase", "errorEraseSector"}));
        const QStringList pages {"0x8000000", "0x8000400", "0x8000800", "0x8000c00"};
        QCOMPARE(addresses(consoleFlasher->spy("startEraseSector")), pages);
        QCOMPARE(addresses(consoleFlasher->spy("successEraseSector")), pages);
        QCOMPARE(consoleFlasher->spy("errorEraseSector").count(), 0);
        QCOMPARE(consoleFlasher->spy("finishErase").count(), 1);
        QCOMPARE(wire(consoleBoot, "SET ADDR"),
                 (QStringList {"SET ADDR 0x8000000", "SET ADDR 0x8000400", "SET ADDR 0x8000400",
                               "SET ADDR 0x8000800", "SET ADDR 0x8000c00"}));

        // The third page is refused twice: not erased, so the job ends there with the
        // error and without its finish, and the fourth page is not touched.
        consoleFlasher->spies->clear();
        sim->clearLog(consoleBoot);
        sim->setFault(consoleBoot, "fail=2@2:SET ERASEBLOCK");
        QCOMPARE(consoleFlasher->module.eraseFlash(base, 0x1000), 0);
        QVERIFY(consoleFlasher->waitAny({"finishErase", "errorEraseSector"}));
        QCOMPARE(addresses(consoleFlasher->spy("successEraseSector")),
                 (QStringList {"0x8000000", "0x8000400"}));
        QCOMPARE(addresses(consoleFlasher->spy("errorEraseSector")), QStringList {"0x8000800"});
        QCOMPARE(consoleFlasher->spy("finishErase").count(), 0);
        QCOMPARE(wire(consoleBoot, "SET ADDR"),
                 (QStringList {"SET ADDR 0x8000000", "SET ADDR 0x8000400", "SET ADDR 0x8000800",
                               "SET ADDR 0x8000800"}));
    }

    void eraseRetriesThenGivesUp()
    {
        // Two refusals: the third try erases the sector.
        sim->setFault(boot, "fail=2:SET ERASEBLOCK");
        QCOMPARE(flasher->module.eraseFlash(base, 0x4000), 0);
        QVERIFY(flasher->waitAny({"finishErase", "errorEraseSector"}));
        QCOMPARE(flasher->spy("finishErase").count(), 1);
        QCOMPARE(addresses(flasher->spy("successEraseSector")), QStringList {"0x8000000"});
        QCOMPARE(wire(boot, "SET ERASEBLOCK").size(), 3);

        // Three refusals: the job ends with the error and without its finish.
        flasher->spies->clear();
        sim->clearLog(boot);
        sim->setFault(boot, "fail=3@1:SET ERASEBLOCK");
        QCOMPARE(flasher->module.eraseFlash(base, 0x8000), 0);
        QVERIFY(flasher->waitAny({"finishErase", "errorEraseSector"}));
        QCOMPARE(flasher->spy("finishErase").count(), 0);
        QCOMPARE(addresses(flasher->spy("successEraseSector")), QStringList {"0x8000000"});
        QCOMPARE(flasher->spy("errorEraseSector").count(), 1);
        QCOMPARE(flasher->spy("errorEraseSector").first().at(0).toUInt(), 0x08004000u);
        QCOMPARE(flasher->spy("errorEraseSector").first().at(1).toString(),
                 QString::fromUtf8("Ошибка команды стирания"));
        QCOMPARE(wire(boot, "SET ERASEBLOCK").size(), 4);
    }

    void writeOrder_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("three pages")
            << 0x300 << QStringList {"0x8000100", "0x8000200", "0x8000000"};
        QTest::newRow("one page") << 0x100 << QStringList {"0x8000000"};
        QTest::newRow("partial last page") << 0x150 << QStringList {"0x8000100", "0x8000000"};
        QTest::newRow("less than a page") << 0x10 << QStringList {"0x8000000"};
    }

    void writeOrder()
    {
        QFETCH(int, size);
        QFETCH(QStringList, order);
        const QByteArray image = randomBytes(size);
        QCOMPARE(flasher->module.writeFlash(base, uint32_t(size), image.constData()), 0);
        QVERIFY(flasher->waitAny({"finishWrite", "errorWriteFlashPage"}));
        QCOMPARE(addresses(flasher->spy("startWriteFlashPage")), order);
        QCOMPARE(addresses(flasher->spy("successWriteFlashPage")), order);
        QCOMPARE(flasher->spy("finishWrite").first().at(0).toUInt(), base);
        QCOMPARE(flasher->spy("finishWrite").first().at(1).toUInt(), uint32_t(size));

        // On the wire: the page in lower-case hexadecimal, a short last page filled with 0xFF.
        const QStringList writes = wire(boot, "SET WRITEFLASH");
        QCOMPARE(writes.size(), order.size());
        QByteArray padded = image;
        padded.append(QByteArray((256 - size % 256) % 256, char(0xFF)));
        QCOMPARE(writes.last(), "SET WRITEFLASH " + QString::fromLatin1(padded.left(256).toHex()));
        QCOMPARE(writes.first().size(), 15 + 512);

        const QByteArray flashed = flashOf(boot, base, 0x400);
        QCOMPARE(flashed.left(size), image);
        QCOMPARE(flashed.mid(size), QByteArray(0x400 - size, char(0xFF)));
    }

    void writeRetrySucceedsOnTheThirdTry()
    {
        sim->setFault(boot, "fail=2@1:SET WRITEFLASH");
        const QByteArray image = randomBytes(0x300);
        QCOMPARE(flasher->module.writeFlash(base, 0x300, image.constData()), 0);
        QVERIFY(flasher->waitAny({"finishWrite", "errorWriteFlashPage"}, 60000));
        QCOMPARE(flasher->spy("errorWriteFlashPage").count(), 0);
        QCOMPARE(flasher->spy("finishWrite").count(), 1);
        QCOMPARE(addresses(flasher->spy("successWriteFlashPage")),
                 (QStringList {"0x8000100", "0x8000200", "0x8000000"}));
        QCOMPARE(wire(boot, "SET WRITEFLASH").size(), 5);
        const QByteArray flashed = flashOf(boot, base, 0x300);
        QCOMPARE(flashed, image);
    }

    void writeThatFailsForGoodLeavesTheFirstPage()
    {
        sim->setFault(boot, "fail=3@1:SET WRITEFLASH");
        const QByteArray image = randomBytes(0x300);
        QCOMPARE(flasher->module.writeFlash(base, 0x300, image.constData()), 0);
        QVERIFY(flasher->waitAny({"finishWrite", "errorWriteFlashPage"}, 60000));
        QCOMPARE(flasher->spy("finishWrite").count(), 0);
        QCOMPARE(flasher->spy("errorWriteFlashPage").count(), 1);
        QCOMPARE(flasher->spy("errorWriteFlashPage").first().at(0).toUInt(), 0x08000200u);
        QCOMPARE(flasher->spy("errorWriteFlashPage").first().at(1).toString(),
                 QString::fromUtf8("Ошибка команды записи"));
        QVERIFY(!sim->requestLog(boot).contains("SET ADDR 0x8000000"));
    }

    void verifyAscendingAndMismatch()
    {
        const QByteArray image = randomBytes(0x300);
        QCOMPARE(flasher->module.writeFlash(base, 0x300, image.constData()), 0);
        QCOMPARE(flasher->module.verifyFlash(base, 0x300, image.constData()), 0);
        QVERIFY(flasher->waitAny({"finishVerify", "errorVerifyFlashPage"}));
        QCOMPARE(addresses(flasher->spy("startVerifyFlashPage")),
                 (QStringList {"0x8000000", "0x8000100", "0x8000200"}));
        QCOMPARE(addresses(flasher->spy("successVerifyFlashPage")),
                 (QStringList {"0x8000000", "0x8000100", "0x8000200"}));
        QCOMPARE(flasher->spy("finishVerify").first().at(1).toUInt(), 0x300u);

        // Another image does not match what the flash holds.
        flasher->spies->clear();
        QByteArray other = image;
        other[0x150] = char(~other.at(0x150));
        QCOMPARE(flasher->module.verifyFlash(base, 0x300, other.constData()), 0);
        QVERIFY(flasher->waitAny({"finishVerify", "errorVerifyFlashPage"}, 60000));
        QCOMPARE(flasher->spy("finishVerify").count(), 0);
        QCOMPARE(addresses(flasher->spy("successVerifyFlashPage")), QStringList {"0x8000000"});
        QCOMPARE(flasher->spy("errorVerifyFlashPage").first().at(0).toUInt(), 0x08000100u);
        QCOMPARE(flasher->spy("errorVerifyFlashPage").first().at(1).toString(),
                 QString::fromUtf8("Ошибка верификации"));
    }

    void lateAnswerIsWaitedOut_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("erase") << int(FlashRecord::Erase);
        QTest::newRow("write") << int(FlashRecord::Write);
        QTest::newRow("verify") << int(FlashRecord::Verify);
    }

    void lateAnswerIsWaitedOut()
    {
        // The second page's address is answered after its wait. Nothing more is sent until
        // that answer has come and the line has been quiet for longer than the longest wait;
        // then the page is tried again from its address, and every page is done.
        QFETCH(int, kind);
        const FlashProgrammer::Timing suiteTiming = FlashProgrammer::timing();
        const auto restoreTiming = qScopeGuard([&] { FlashProgrammer::setTiming(suiteTiming); });
        FlashProgrammer::Timing timing = suiteTiming;
        timing.addressWaitMs = 100;
        timing.eraseWaitMs = 400;
        timing.pageWaitMs = 400;
        timing.exitWaitMs = 100;
        FlashProgrammer::setTiming(timing);
        const int lateMs = 300;
        const int quietMs = 400;

        const QByteArray image = randomBytes(0x300);
        const uint32_t size = kind == FlashRecord::Erase ? 0x8000u : 0x300u;
        if (kind == FlashRecord::Verify) {
            QCOMPARE(flasher->module.writeFlash(base, size, image.constData()), 0);
            QVERIFY(flasher->waitAny({"finishWrite", "errorWriteFlashPage"}));
            flasher->spies->clear();
            sim->clearLog(boot);
        }
        sim->setFault(boot, QStringLiteral("late=%1/1@1:SET ADDR").arg(lateMs));
        const char *finish = kind == FlashRecord::Erase ? "finishErase"
            : kind == FlashRecord::Write                ? "finishWrite"
                                                        : "finishVerify";
        const char *error = kind == FlashRecord::Erase ? "errorEraseSector"
            : kind == FlashRecord::Write               ? "errorWriteFlashPage"
                                                       : "errorVerifyFlashPage";
        switch (kind) {
        case FlashRecord::Erase:
            QCOMPARE(flasher->module.eraseFlash(base, size), 0);
            break;
        case FlashRecord::Write:
            QCOMPARE(flasher->module.writeFlash(base, size, image.constData()), 0);
            break;
        default:
            QCOMPARE(flasher->module.verifyFlash(base, size, image.constData()), 0);
            break;
        }
        QVERIFY(flasher->waitAny({finish, error}));
        QCOMPARE(flasher->spy(error).count(), 0);
        QCOMPARE(flasher->spy(finish).count(), 1);

        // The late address, then its retry: the same address again, sent only after the late
        // answer and the quiet time.
        const QStringList log = sim->requestLog(boot);
        const QList<qint64> times = sim->requestTimes(boot);
        const int late = log.indexOf(QRegularExpression("SET ADDR .*"), 1);
        QVERIFY(late > 0);
        const int retry = late + 1;
        QVERIFY(retry < log.size());
        QCOMPARE(log.at(retry), log.at(late));
        QVERIFY2(times.at(retry) - times.at(late) >= lateMs + quietMs,
                 qPrintable(QString::number(times.at(retry) - times.at(late))));
        if (kind != FlashRecord::Erase)
            QCOMPARE(flashOf(boot, base, 0x300), image);
    }

    void leaveTheBootloader_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("success");
        QTest::newRow("accepted") << "" << true;
        QTest::newRow("refused") << "fail=1:SET EXITBOOT" << false;
        QTest::newRow("not answered") << "mute=1:SET EXITBOOT" << false;
    }

    void leaveTheBootloader()
    {
        QFETCH(QString, fault);
        QFETCH(bool, success);
        if (!fault.isEmpty())
            sim->setFault(consoleBoot, fault);
        const int answered = consoleFlasher->connected.count();
        QCOMPARE(consoleFlasher->module.exitBootloader(), 0);
        QVERIFY(consoleFlasher->waitAny({"successExitBootloder", "errorExitBootloder"}));
        QCOMPARE(consoleFlasher->spy("startExitBootloder").count(), 1);
        QCOMPARE(consoleFlasher->spy("successExitBootloder").count(), success ? 1 : 0);
        QCOMPARE(consoleFlasher->spy("errorExitBootloder").count(), success ? 0 : 1);
        if (!success)
            QCOMPARE(consoleFlasher->spy("errorExitBootloder").first().at(0).toString(),
                     QString::fromUtf8("Ошибка команды выхода из загрузчика"));
        // A bootloader that left restarts; wait until it answers again. Being connected is
        // not enough: a TCP link counts as open while it is still connecting, and one that
        // is refused while the device restarts is opened again a second later, which drops
        // whatever jobs were queued on it.
        if (success) {
            QVERIFY(consoleFlasher->disconnected.wait(10000));
            QTRY_VERIFY_WITH_TIMEOUT(consoleFlasher->connected.count() > answered, 20000);
            QVERIFY(consoleFlasher->waitIdentified());
        }
    }

    void jobsAreRefusedWithoutALink()
    {
        std::unique_ptr<ProjectDevice> nowhere(SimHarness::usbTarget(0x1209, 0x0fff));
        Amodule module(nowhere.get(), nullptr, 0);
        QCOMPARE(module.eraseFlash(base, 0x100), -1);
        QCOMPARE(module.writeFlash(base, 4, "abcd"), -1);
        QCOMPARE(module.verifyFlash(base, 4, "abcd"), -1);
        QCOMPARE(module.exitBootloader(), -1);
        module.closeAndWait(10000);
    }

    void areaBeyondTheAddressSpace_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("write") << int(FlashRecord::Write);
        QTest::newRow("verify") << int(FlashRecord::Verify);
        QTest::newRow("console erase") << int(FlashRecord::Erase);
    }

    void areaBeyondTheAddressSpace()
    {
        // 0xffffff00 + 0x200 passes the end of the 32-bit address space: the job refuses the
        // area at once instead of programming addresses 0x0 and 0x100.
        QFETCH(int, kind);
        Flasher &f = kind == FlashRecord::Erase ? *consoleFlasher : *flasher;
        SimDevice *device = kind == FlashRecord::Erase ? consoleBoot : boot;
        const QByteArray image = randomBytes(0x200);
        const uint32_t address = 0xffffff00u;
        switch (kind) {
        case FlashRecord::Write:
            QCOMPARE(f.module.writeFlash(address, 0x200, image.constData()), 0);
            QVERIFY(f.waitAny({"finishWrite", "errorWriteFlashPage"}));
            QCOMPARE(f.spy("finishWrite").count(), 0);
            QCOMPARE(addresses(f.spy("errorWriteFlashPage")), QStringList {"0xffffff00"});
            break;
        case FlashRecord::Verify:
            QCOMPARE(f.module.verifyFlash(address, 0x200, image.constData()), 0);
            QVERIFY(f.waitAny({"finishVerify", "errorVerifyFlashPage"}));
            QCOMPARE(f.spy("finishVerify").count(), 0);
            QCOMPARE(addresses(f.spy("errorVerifyFlashPage")), QStringList {"0xffffff00"});
            break;
        default:
            QCOMPARE(f.module.eraseFlash(address, 0x800), 0);
            QVERIFY(f.waitAny({"finishErase", "errorEraseSector"}));
            QCOMPARE(f.spy("finishErase").count(), 0);
            QCOMPARE(addresses(f.spy("errorEraseSector")), QStringList {"0xffffff00"});
            break;
        }
        QVERIFY(sim->requestLog(device).isEmpty());
    }

private:
    void resetFlash(SimDevice *device)
    {
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { command->flash = SimFlash(); });
    }

    // What the device's flash holds from `address` on.
    QByteArray flashOf(SimDevice *device, uint32_t address, int size)
    {
        QByteArray bytes;
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { bytes = command->flash.read(address, size); });
        return bytes;
    }

    QStringList wire(SimDevice *device, const QString &prefix)
    {
        return sim->requestLog(device).filter(QRegularExpression(QLatin1Char('^') + prefix));
    }

    std::unique_ptr<SimHarness> sim;
    SimDevice *boot = nullptr; // mixed sector table
    SimDevice *uniformBoot = nullptr; // uniform sector table
    SimDevice *consoleBoot = nullptr;
    std::unique_ptr<ProjectDevice> bootTarget, uniformTarget, consoleTarget;
    std::unique_ptr<Flasher> flasher, uniformFlasher, consoleFlasher;
};

QTEST_GUILESS_MAIN(TestFlashing)
#include "tst_flashing.moc"
