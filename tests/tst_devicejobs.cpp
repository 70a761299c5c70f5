#include "facadelink.h"
#include "jobs/filedownloadjob.h"
#include "jobs/filelistjob.h"
#include "jobs/fileuploadjob.h"
#include "jobs/firmwareupdatejob.h"
#include "link/amodule.h"
#include "link/flashprogrammer.h"
#include "project/devicetype.h"
#include "project/firmwareimage.h"
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

using Link = FacadeLink;

// Watches one job.
class Watch {
public:
    explicit Watch(DeviceJob *job)
        : finished(job, &DeviceJob::finished)
        , progress(job, &DeviceJob::progress)
    {
    }
    bool wait(int ms = 20000) { return finished.count() > 0 || finished.wait(ms); }
    DeviceJob::Result result() const
    {
        return finished.isEmpty() ? DeviceJob::Result()
                                  : finished.first().at(0).value<DeviceJob::Result>();
    }

    QSignalSpy finished;
    QSignalSpy progress;
};

QString hex(uint32_t address)
{
    return "0x" + QString::number(address, 16);
}

struct StageFailureRow {
    const char *name, *fault;
    int stage;
    qint64 position;
};

struct TransferRow {
    const char *name, *fault;
    DeviceJob::Status status;
    int step;
    qint64 position;
    const char *message;
};

struct ListRow {
    const char *name, *answer;
    QStringList entries; // "path|size|folder"
};

} // namespace

Q_DECLARE_METATYPE(StageFailureRow)
Q_DECLARE_METATYPE(TransferRow)
Q_DECLARE_METATYPE(ListRow)

class TestDeviceJobs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The bootloader's retry pauses and its long waits for an erase or a page,
        // shortened: the wire is the same. Every answer still has a second, as the file
        // transfer's steps have: a late answer would be taken for the next step's.
        FlashProgrammer::Timing timing;
        timing.eraseWaitMs = 1000;
        timing.pageWaitMs = 1000;
        timing.eraseRetryPauseMs = 5;
        timing.pageRetryPauseMs = 5;
        FlashProgrammer::setTiming(timing);

        QVERIFY(dir.isValid());
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.78.0.2");
        boot = sim->addDevice(DeviceType::Bootloader, 0, "127.78.0.3");
        unit = sim->addDevice(DeviceType::Tovik2, 2005, "127.78.0.4");
        hornTarget.reset(SimHarness::tcpTarget(horn));
        bootTarget.reset(SimHarness::tcpTarget(boot));
        unitTarget.reset(SimHarness::tcpTarget(unit));
        hornLink = std::make_unique<Link>(hornTarget.get(), sim->tcpPort(horn));
        bootLink = std::make_unique<Link>(bootTarget.get(), sim->tcpPort(boot));
        unitLink = std::make_unique<Link>(unitTarget.get(), sim->tcpPort(unit));
        QVERIFY(hornLink->waitIdentified());
        QVERIFY(bootLink->waitIdentified());
        QVERIFY(unitLink->waitIdentified());
    }

    void cleanupTestCase()
    {
        hornLink.reset();
        bootLink.reset();
        unitLink.reset();
        sim.reset();
        FlashProgrammer::setTiming(FlashProgrammer::Timing());
    }

    void init()
    {
        for (SimDevice *device : {horn, boot, unit})
            sim->clearFaults(device);
        QVERIFY(hornLink->waitIdentified());
        QVERIFY(bootLink->waitIdentified());
        for (SimDevice *device : {horn, boot, unit})
            sim->clearLog(device);
    }

    // ---- Firmware update ----

    void firmwareUpdateOverUsb()
    {
        // A unit in its firmware, reached on its USB port: it restarts into its bootloader
        // on a new pseudo-terminal, is programmed, and restarts into the new firmware.
        SimDevice *usbUnit = sim->addDevice(DeviceType::Tovik2, 2002, "127.78.0.5");
        QVERIFY(!sim->addUsb(usbUnit, 0x1209, 0x0003).isEmpty());
        std::unique_ptr<ProjectDevice> target(SimHarness::usbTarget(0x1209, 0x0003));
        Link link(target.get(), 0);
        QVERIFY(link.waitIdentified());
        QCOMPARE(link.type, int(DeviceType::Tovik2));

        // Over three sectors of the mixed table, ending in a partial page.
        const QByteArray payload = randomBytes(0x8000 + 0x180);
        const int pages = (payload.size() + 255) / 256;
        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base, payload))));
        FirmwareUpdateJob job(&link.module, image, link.type);
        Watch watch(&job);
        QSignalSpy stages(&job, &FirmwareUpdateJob::stageStarted);
        QSignalSpy steps(&job, &FirmwareUpdateJob::stepStarted);
        job.start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Done);
        QCOMPARE(watch.result().message, "flashed 33152 bytes at 0x8000000; the device restarts");

        QList<int> stageOrder;
        for (const QList<QVariant> &args : qAsConst(stages))
            stageOrder << args.at(0).toInt();
        QCOMPARE(stageOrder,
                 (QList<int> {FirmwareUpdateJob::EnterBootloader, FirmwareUpdateJob::WaitBootloader,
                              FirmwareUpdateJob::Erase, FirmwareUpdateJob::Write,
                              FirmwareUpdateJob::Verify, FirmwareUpdateJob::Exit}));
        QStringList erased, written, verified;
        for (const QList<QVariant> &args : qAsConst(steps)) {
            const QString address = hex(args.at(1).toUInt());
            switch (args.at(0).toInt()) {
            case FirmwareUpdateJob::Erase:
                erased << address;
                break;
            case FirmwareUpdateJob::Write:
                written << address;
                break;
            default:
                verified << address;
            }
        }
        QCOMPARE(erased, (QStringList {"0x8000000", "0x8004000", "0x8008000"}));
        QCOMPARE(written.size(), pages);
        QCOMPARE(written.first(), "0x8000100");
        QCOMPARE(written.last(), "0x8000000");
        QCOMPARE(verified.size(), pages);
        QCOMPARE(verified.first(), "0x8000000");
        // Progress ends full, and never goes back within a stage.
        QCOMPARE(watch.progress.last().at(0).toLongLong(), qint64(payload.size()));
        QCOMPARE(watch.progress.last().at(1).toLongLong(), qint64(payload.size()));

        // What the device holds is the image, erased flash after it.
        QByteArray flashed;
        SimCommandDevice *command = sim->command(usbUnit);
        sim->run([&] { flashed = command->flash.read(base, payload.size() + 0x80); });
        QCOMPARE(flashed.left(payload.size()), payload);
        QCOMPARE(flashed.mid(payload.size()), QByteArray(0x80, char(0xFF)));
        const QStringList wire = sim->requestLog(usbUnit);
        QCOMPARE(wire.filter(QRegularExpression("^SET (BOOT|EXITBOOT)$")),
                 (QStringList {"SET BOOT", "SET EXITBOOT"}));

        // Back in its firmware after the restart; the job said nothing more.
        QTRY_VERIFY_WITH_TIMEOUT(link.type == int(DeviceType::Tovik2), 15000);
        QVERIFY(link.roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    void firmwareStageFailures_data()
    {
        const StageFailureRow rows[] = {
            // clang-format off
            // name, fault, stage, position
            {"erase refused", "fail=-1:SET ERASEBLOCK", FirmwareUpdateJob::Erase, base},
            {"second sector refused", "fail=-1@1:SET ERASEBLOCK", FirmwareUpdateJob::Erase, base + 0x4000},
            {"write refused", "fail=-1:SET WRITEFLASH", FirmwareUpdateJob::Write, base + 0x100},
            {"verify refused", "fail=-1:SET VERIFYFLASH", FirmwareUpdateJob::Verify, base},
            {"exit refused", "fail=1:SET EXITBOOT", FirmwareUpdateJob::Exit, -1},
            {"exit not answered", "mute=1:SET EXITBOOT", FirmwareUpdateJob::Exit, -1},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void firmwareStageFailures()
    {
        // A device that runs its bootloader is programmed at once.
        QFETCH(StageFailureRow, row);
        sim->setFault(boot, row.fault);
        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base, randomBytes(0x4100)))));
        FirmwareUpdateJob job(&bootLink->module, image, DeviceType::Bootloader);
        Watch watch(&job);
        job.start();
        QVERIFY(watch.wait());
        const DeviceJob::Result result = watch.result();
        // A device that refused or kept silent is still there: the failure is its, not the
        // link's.
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(result.step, row.stage);
        QCOMPARE(result.position, row.position);
        if (row.stage == FirmwareUpdateJob::Exit) {
            QVERIFY2(result.message.startsWith("leaving the bootloader failed: "),
                     qPrintable(result.message));
        } else {
            const char *names[] = {"erase", "write", "verify"};
            QCOMPARE(result.message,
                     QStringLiteral("%1 at %2 failed: %3")
                         .arg(names[row.stage - FirmwareUpdateJob::Erase], hex(row.position),
                              result.detail));
        }
        // Nothing is asked of the device after the failed stage but its version.
        const QStringList wire = sim->requestLog(boot);
        const bool exitSent = wire.contains("SET EXITBOOT");
        QCOMPARE(exitSent, row.stage == FirmwareUpdateJob::Exit);
        if (row.stage == FirmwareUpdateJob::Erase)
            QVERIFY(wire.filter("SET WRITEFLASH").isEmpty());
        QCOMPARE(wire.last(), "GET VERSION");
        QVERIFY(bootLink->roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    void firmwareEnterBootloaderFailures()
    {
        // Refused: the job ends at once, the device stays in its firmware.
        sim->setFault(unit, "fail=1:SET BOOT");
        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base, randomBytes(0x100)))));
        {
            FirmwareUpdateJob job(&unitLink->module, image, unitLink->type);
            Watch watch(&job);
            job.start();
            QVERIFY(watch.wait());
            QCOMPARE(watch.result().status, DeviceJob::Status::Failed);
            QCOMPARE(watch.result().step, int(FirmwareUpdateJob::EnterBootloader));
            QCOMPARE(watch.result().message,
                     "the device did not start its bootloader: it answered \"SET BOOT\" with "
                     "\"ERROR\", not with the line \"OK\\r\\n\"");
            QCOMPARE(sim->requestLog(unit), QStringList {"SET BOOT"});
        }
        // An "OK" without its carriage return is no confirmation, and the message does not
        // read as one.
        sim->clearLog(unit);
        sim->setRawAnswer(unit, "SET BOOT", "OK\n", 1);
        {
            FirmwareUpdateJob job(&unitLink->module, image, unitLink->type);
            Watch watch(&job);
            job.start();
            QVERIFY(watch.wait());
            QCOMPARE(watch.result().status, DeviceJob::Status::Failed);
            QCOMPARE(watch.result().message,
                     "the device did not start its bootloader: it answered \"SET BOOT\" with "
                     "\"OK\", not with the line \"OK\\r\\n\"");
        }

        // The device restarts, but its bootloader never tells its type: the wait is bounded
        // as a whole, and the link that drops on the way does not end it.
        sim->clearFaults(unit);
        sim->setFault(unit, "mute=-1:GET VERSION");
        FirmwareUpdateJob job(&unitLink->module, image, unitLink->type);
        job.setBootWait(900);
        Watch watch(&job);
        QSignalSpy stages(&job, &FirmwareUpdateJob::stageStarted);
        QElapsedTimer clock;
        clock.start();
        job.start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Failed);
        QCOMPARE(watch.result().step, int(FirmwareUpdateJob::WaitBootloader));
        QCOMPARE(watch.result().message, "the bootloader did not answer within 0.9 s");
        QVERIFY(clock.elapsed() >= 900);
        QCOMPARE(stages.count(), 2);
        QVERIFY(sim->requestLog(unit).filter("SET ADDR").isEmpty());
    }

    // The erase layout is known once the bootloader told it: an image at the start of a
    // sector of the mixed table, inside one of the uniform table, is refused then, before
    // anything is erased; an empty one before the device is asked anything.
    void firmwareImageRefused()
    {
        SimDevice *uniform = sim->addDevice(DeviceType::Norda4200, 2040, "127.78.0.6");
        SimCommandDevice *command = sim->command(uniform);
        sim->run([command] { command->flashLayout = 1; });
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(uniform));
        Link link(target.get(), sim->tcpPort(uniform));
        QVERIFY(link.waitIdentified());

        FirmwareImage empty;
        QVERIFY(empty.load(imageFile(TestUtil::firmwareFile(base, {}))));
        FirmwareUpdateJob refused(&link.module, empty, link.type);
        Watch first(&refused);
        refused.start();
        QVERIFY(first.wait());
        QCOMPARE(first.result().step, int(FirmwareUpdateJob::CheckImage));
        QCOMPARE(first.result().message, "the firmware image is empty");
        QVERIFY(sim->requestLog(uniform).filter("SET BOOT").isEmpty());

        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base + 0x4000, randomBytes(0x200)))));
        FirmwareUpdateJob job(&link.module, image, link.type);
        Watch watch(&job);
        job.start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Failed);
        QCOMPARE(watch.result().step, int(FirmwareUpdateJob::CheckImage));
        QCOMPARE(watch.result().message,
                 "the firmware image starts at 0x8004000, not where an erase unit of the "
                 "device's flash starts");
        const QStringList wire = sim->requestLog(uniform);
        QVERIFY(wire.contains("SET BOOT"));
        QVERIFY(wire.filter("SET ADDR").isEmpty());
    }

    void firmwareCancelledWhileWriting()
    {
        sim->setFault(boot, "delay=2");
        const QByteArray payload = randomBytes(0x4100);
        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base, payload))));
        FirmwareUpdateJob job(&bootLink->module, image, DeviceType::Bootloader);
        Watch watch(&job);
        connect(&job, &FirmwareUpdateJob::stepStarted, &job, [&job](int stage, uint32_t) {
            if (stage == FirmwareUpdateJob::Write)
                job.cancel();
        });
        job.start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Cancelled);
        QCOMPARE(watch.result().step, int(FirmwareUpdateJob::Write));

        // Stopped after the page in flight: the first page, written last, is still erased,
        // so the bootloader will not start a half-written image.
        const QStringList wire = sim->requestLog(boot);
        QVERIFY(wire.filter("SET WRITEFLASH").size() < 0x4100 / 256);
        QVERIFY(!wire.contains("SET EXITBOOT"));
        QByteArray first;
        SimCommandDevice *command = sim->command(boot);
        sim->run([&] { first = command->flash.read(base, 0x100); });
        QCOMPARE(first, QByteArray(0x100, char(0xFF)));
        QVERIFY(bootLink->roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    void firmwareJobDeleted()
    {
        // The firmware window closed while pages are written: the worker stops after the page
        // in flight, and the job says nothing.
        sim->setFault(boot, "delay=2");
        FirmwareImage image;
        QVERIFY(image.load(imageFile(TestUtil::firmwareFile(base, randomBytes(0x4100)))));
        auto *job = new FirmwareUpdateJob(&bootLink->module, image, DeviceType::Bootloader);
        int finished = 0;
        QObject observer;
        connect(job, &DeviceJob::finished, &observer, [&finished] { ++finished; });
        connect(job, &FirmwareUpdateJob::stepStarted, &observer, [&job](int stage, uint32_t) {
            if (stage == FirmwareUpdateJob::Write && job) {
                QTimer::singleShot(0, [job] { delete job; });
                job = nullptr;
            }
        });
        WorkerRelay relay(bootLink->module.worker());
        QSignalSpy errors(&relay, &WorkerRelay::errorWriteFlashPage);
        job->start();
        QVERIFY(errors.wait(10000));
        QVERIFY(bootLink->roundTrip());
        QCOMPARE(finished, 0);
        const QStringList wire = sim->requestLog(boot);
        QVERIFY(wire.filter("SET WRITEFLASH").size() < 0x4100 / 256);
        QVERIFY(!wire.contains("SET EXITBOOT"));
    }

    // ---- Upload ----

    void uploadOutcomes_data()
    {
        using S = DeviceJob::Status;
        const TransferRow rows[] = {
            // clang-format off
            // name, fault, status, step, position, message
            {"complete", "", S::Done, FileUploadJob::Close, 1300, "uploaded 1300 bytes to 0:\\audio\\up.bin"},
            {"creation refused", "fail=1:SET FILE_CREATE", S::Failed, FileUploadJob::Create, 0, "the device refused to create 0:\\audio\\up.bin"},
            {"block refused", "fail=1@1:SET FILE_WRITE", S::Failed, FileUploadJob::Write, 512, "the device refused the block after byte 512"},
            {"last block refused", "fail=1@2:SET FILE_WRITE", S::Failed, FileUploadJob::Write, 1024, "the device refused the block after byte 1024"},
            {"block not answered", "mute=1@1:SET FILE_WRITE", S::Failed, FileUploadJob::Write, 512, "the device refused the block after byte 512"},
            {"close refused", "fail=1:SET FILE_CLOSE", S::Failed, FileUploadJob::Close, 1300, "the device did not close the file after 1300 bytes"},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void uploadOutcomes()
    {
        QFETCH(TransferRow, row);
        if (*row.fault)
            sim->setFault(horn, row.fault);
        const QString path = "0:\\audio\\up.bin";
        const QByteArray data = randomBytes(1300);
        FileUploadJob job(&hornLink->module, path, data);
        Watch watch(&job);
        job.start();
        QVERIFY(watch.wait());
        const DeviceJob::Result result = watch.result();
        QCOMPARE(result.status, row.status);
        QCOMPARE(result.step, row.step);
        QCOMPARE(result.position, row.position);
        QCOMPARE(result.message, row.message);
        QCOMPARE(watch.progress.last().at(0).toLongLong(), row.position);

        // An upload that did not complete leaves the device reset for the next transfer.
        const QStringList wire = sim->requestLog(horn);
        if (row.status == DeviceJob::Status::Done) {
            QVERIFY(!wire.contains("SET FILE_RESET"));
            QByteArray stored;
            SimCommandDevice *command = sim->command(horn);
            sim->run([&] { stored = command->files.file(path); });
            QCOMPARE(stored, data);
        } else {
            QCOMPARE(wire.last(), "SET FILE_RESET");
        }
        QVERIFY(hornLink->roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    // ---- Download ----

    void downloadOutcomes_data()
    {
        using S = DeviceJob::Status;
        const TransferRow rows[] = {
            // clang-format off
            // name, fault, status, step, position, message
            {"complete", "", S::Done, FileDownloadJob::Read, 1300, "downloaded 1300 bytes from 0:\\audio\\down.bin"},
            {"open refused", "fail=1:SET FILE_OPEN", S::Failed, FileDownloadJob::Open, 0, "the device refused to open 0:\\audio\\down.bin"},
            {"read not answered", "mute=1@2:GET FILE_READ", S::Failed, FileDownloadJob::Read, 1024, "reading 0:\\audio\\down.bin from the device failed after 1024 bytes"},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void downloadOutcomes()
    {
        QFETCH(TransferRow, row);
        const QString path = "0:\\audio\\down.bin";
        const QByteArray data = randomBytes(1300);
        SimCommandDevice *command = sim->command(horn);
        sim->run([&] { command->files.store(path, data); });
        if (*row.fault)
            sim->setFault(horn, row.fault);
        FileDownloadJob job(&hornLink->module, path);
        job.setExpectedSize(data.size());
        Watch watch(&job);
        job.start();
        QVERIFY(watch.wait());
        const DeviceJob::Result result = watch.result();
        QCOMPARE(result.status, row.status);
        QCOMPARE(result.step, row.step);
        QCOMPARE(result.position, row.position);
        QCOMPARE(result.message, row.message);
        // A failed download gives no content.
        QCOMPARE(job.content(), row.status == DeviceJob::Status::Done ? data : QByteArray());
        QCOMPARE(watch.progress.last().at(1).toLongLong(), qint64(data.size()));
        if (row.status != DeviceJob::Status::Done)
            QCOMPARE(sim->requestLog(horn).last(), "SET FILE_RESET");
        QVERIFY(hornLink->roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    // Two downloads of one file queued at once (a window reading config.ini while a job
    // does): both receive the blocks of that file, and each gets the whole content.
    void twoDownloadsOfOneFile()
    {
        const QString path = "0:\\config.ini";
        const QByteArray content = randomBytes(512 * 3 + 7);
        SimCommandDevice *command = sim->command(horn);
        sim->run([&] { command->files.store(path, content); });
        FileDownloadJob first(&hornLink->module, path);
        FileDownloadJob second(&hornLink->module, path);
        Watch firstWatch(&first);
        Watch secondWatch(&second);
        first.start();
        second.start();
        QVERIFY(firstWatch.wait());
        QVERIFY(secondWatch.wait());
        QCOMPARE(firstWatch.result().status, DeviceJob::Status::Done);
        QCOMPARE(secondWatch.result().status, DeviceJob::Status::Done);
        QCOMPARE(first.content(), content);
        QCOMPARE(second.content(), content);
        QTRY_VERIFY_WITH_TIMEOUT(!hornLink->module.isFileTransferPending(), 10000);
    }

    // ---- Either transfer ----

    void transferCancelled_data() { transferRows(); }

    void transferCancelled()
    {
        QFETCH(bool, upload);
        std::unique_ptr<DeviceJob> job(transferJob(upload));
        sim->setFault(horn, "delay=5");
        Watch watch(job.get());
        connect(job.get(), &DeviceJob::progress, job.get(), [&job](qint64 done, qint64) {
            if (done > 0)
                job->cancel();
        });
        job->start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Cancelled);
        const QStringList wire = sim->requestLog(horn);
        const int blocks = wire.filter(upload ? "SET FILE_WRITE" : "GET FILE_READ").size();
        QVERIFY(blocks < 40);
        if (upload) {
            // Never closed: the device is reset for the next transfer.
            QCOMPARE(watch.result().position, 512 * blocks);
            QVERIFY(!wire.contains("SET FILE_CLOSE"));
            QCOMPARE(wire.last(), "SET FILE_RESET");
        } else {
            QVERIFY(static_cast<FileDownloadJob *>(job.get())->content().isEmpty());
            QCOMPARE(wire.last(), "SET FILE_CLOSE");
        }
        QVERIFY(hornLink->roundTrip());
        QCOMPARE(watch.finished.count(), 1);
    }

    void transferJobDeleted_data() { transferRows(); }

    void transferJobDeleted()
    {
        // A window closed during a transfer: the transfer stops, the blocks of a download
        // still on their way are freed, and the job says nothing.
        QFETCH(bool, upload);
        DeviceJob *job = transferJob(upload);
        sim->setFault(horn, "delay=5");
        const int children = hornLink->module.children().size();
        int lastReport = 0;
        int finished = 0;
        QObject observer;
        connect(&hornLink->module, &Amodule::writedFileBlock, &observer,
                [&](const QString &, int, int, int err) { lastReport = err; });
        connect(&hornLink->module, &Amodule::readedFileBlock, &observer,
                [&](const QString &, int, int, QByteArray *, int err) { lastReport = err; });
        connect(job, &DeviceJob::finished, &observer, [&finished] { ++finished; });
        connect(job, &DeviceJob::progress, &observer, [&job](qint64 done, qint64) {
            if (done > 0 && job) {
                QTimer::singleShot(0, [job] { delete job; });
                job = nullptr;
            }
        });
        job->start();
        // The facade's last report is the transfer's stop.
        QTRY_COMPARE_WITH_TIMEOUT(lastReport, 1, 10000);
        QVERIFY(hornLink->roundTrip());
        QCOMPARE(finished, 0);
        QVERIFY(sim->requestLog(horn).filter(upload ? "SET FILE_WRITE" : "GET FILE_READ").size() <
                40);
        QTRY_COMPARE_WITH_TIMEOUT(hornLink->module.children().size(), children, 5000);
    }

    // ---- Folder listing ----

    void fileListLines_data()
    {
        const ListRow rows[] = {
            // clang-format off
            {"files and a folder", "/custom\r\ngong.wav\t1024\r\nsiren.wav\t2048\r\n", {"0:\\audio\\custom|-1|1", "0:\\audio\\gong.wav|1024|0", "0:\\audio\\siren.wav|2048|0"}},
            {"empty", "", {}},
            {"empty lines", "\r\n\r\na.wav\t1\r\n\r\n", {"0:\\audio\\a.wav|1|0"}},
            {"no size", "a.wav\r\nb.wav\t\r\n", {"0:\\audio\\a.wav|-1|0", "0:\\audio\\b.wav|-1|0"}},
            {"size not a number", "a.wav\tbig\r\nb.wav\t-5\r\nc.wav\t1.5\r\n", {"0:\\audio\\a.wav|-1|0", "0:\\audio\\b.wav|-1|0", "0:\\audio\\c.wav|-1|0"}},
            {"size padded, more fields", "a.wav\t 12 \r\nb.wav\t7\textra\r\n", {"0:\\audio\\a.wav|12|0", "0:\\audio\\b.wav|7|0"}},
            {"64-bit size", "huge.bin\t5000000000\r\n", {"0:\\audio\\huge.bin|5000000000|0"}},
            {"bare line feeds", "a.wav\t1\nb.wav\t2\n", {"0:\\audio\\a.wav|1|0", "0:\\audio\\b.wav|2|0"}},
            {"no name", "\t100\r\n/\r\n", {}},
            {"names leaving the folder", "..\r\n/..\r\n.\r\nx\\y.wav\t1\r\nx/y.wav\t1\r\n", {}},
            {"spaces and Cyrillic kept", " сирена 1.wav\t3\r\n", {"0:\\audio\\ сирена 1.wav|3|0"}},
            {"no line end at the end", "a.wav\t1", {"0:\\audio\\a.wav|1|0"}},
            {"carriage return inside a name", "siren.\rong\t1\r\n/dir\rx\r\na.wav\t1\r\n", {"0:\\audio\\a.wav|1|0"}},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void fileListLines()
    {
        QFETCH(ListRow, row);
        QStringList got;
        for (const FileListJob::Entry &entry :
             FileListing::parse("0:\\audio", QString::fromUtf8(row.answer))) {
            QCOMPARE(entry.path, "0:\\audio\\" + entry.name);
            got << QStringLiteral("%1|%2|%3").arg(entry.path).arg(entry.size).arg(entry.folder);
        }
        QCOMPARE(got, row.entries);
    }

    void fileListFromTheDevice()
    {
        FileListJob job(&hornLink->module, "0:\\audio");
        Watch watch(&job);
        job.start();
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::Done);
        QStringList names;
        for (const FileListJob::Entry &entry : job.entries())
            names << (entry.folder ? "/" : "") + entry.name;
        QVERIFY2(names.contains("/custom") && names.contains("siren.wav"),
                 qPrintable(names.join(',')));

        // A refused listing gives no entries.
        sim->setFault(horn, "fail=1:GET FILE_LIST");
        FileListJob refused(&hornLink->module, "0:\\audio");
        Watch refusal(&refused);
        refused.start();
        QVERIFY(refusal.wait());
        QCOMPARE(refusal.result().status, DeviceJob::Status::Failed);
        QCOMPARE(refusal.result().message, "listing 0:\\audio failed: the device answered ERROR");
        QVERIFY(refused.entries().isEmpty());
    }

    // ---- What every job keeps to ----

    void finishedComesOnceAndFromTheEventLoop()
    {
        // No link: the job ends LinkLost, but not from inside start().
        std::unique_ptr<ProjectDevice> nowhere(SimHarness::usbTarget(0x1209, 0x0fff));
        Amodule module(nowhere.get(), nullptr, 0);
        FileListJob job(&module, "0:\\audio");
        Watch watch(&job);
        job.start();
        QCOMPARE(watch.finished.count(), 0);
        QVERIFY(watch.wait());
        QCOMPARE(watch.result().status, DeviceJob::Status::LinkLost);
        job.cancel();
        job.start();

        // Cancelled before it started: Cancelled, once, and nothing is sent.
        FileUploadJob upload(&hornLink->module, "0:\\x.bin", "abc");
        Watch cancelled(&upload);
        upload.cancel();
        upload.start();
        QVERIFY(cancelled.wait());
        QCOMPARE(cancelled.result().status, DeviceJob::Status::Cancelled);
        QVERIFY(hornLink->roundTrip());
        QCOMPARE(sim->requestLog(horn), QStringList {"GET STATUS"});
        QCOMPARE(watch.finished.count(), 1);
        QCOMPARE(cancelled.finished.count(), 1);
        module.closeAndWait(10000);
    }

private:
    static void transferRows()
    {
        QTest::addColumn<bool>("upload");
        QTest::newRow("upload") << true;
        QTest::newRow("download") << false;
    }

    // A job that moves 40 blocks to or from the loudspeaker.
    DeviceJob *transferJob(bool upload)
    {
        const QString path = "0:\\audio\\long.bin";
        if (upload)
            return new FileUploadJob(&hornLink->module, path, randomBytes(512 * 40));
        const QByteArray content = randomBytes(512 * 40);
        SimCommandDevice *command = sim->command(horn);
        sim->run([&] { command->files.store(path, content); });
        return new FileDownloadJob(&hornLink->module, path);
    }

    QString imageFile(const QByteArray &content)
    {
        const QString path = dir.filePath(QStringLiteral("image%1.norda").arg(++images));
        return TestUtil::writeFile(path, content) ? path : QString();
    }

    QTemporaryDir dir;
    int images = 0;
    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
    SimDevice *boot = nullptr;
    SimDevice *unit = nullptr;
    std::unique_ptr<ProjectDevice> hornTarget, bootTarget, unitTarget;
    std::unique_ptr<Link> hornLink, bootLink, unitLink;
};

QTEST_GUILESS_MAIN(TestDeviceJobs)
#include "tst_devicejobs.moc"
