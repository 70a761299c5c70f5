// Device operations against a simulated device that misbehaves: pulled out in the middle,
// garbage before its answers, answers a byte at a time, floods without line feeds, answers
// after the deadline, refuses every Nth command. One data-driven test per operation family
// (descriptor lists read and written through the facade, upload, download, listing and
// deleting files, flashing). Every case ends with the right outcome within its bound, leaves
// no thread and no queued work behind, and the link serves again within one request
// deadline plus one link check once the fault is over.
#include "facadelink.h"
#include "jobs/filedownloadjob.h"
#include "jobs/filelistjob.h"
#include "jobs/fileuploadjob.h"
#include "jobs/firmwareupdatejob.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/flashprogrammer.h"
#include "project/devicetype.h"
#include "project/firmwareimage.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using Status = DeviceJob::Status;

// Shortened for the test; the rules are those of the real timings.
constexpr int requestDeadlineMs = 800;
constexpr int linkCheckMs = 200;
// The link serves again within one deadline and one link check after the fault ends; the
// rest is room for a loaded machine.
constexpr int recoveryBoundMs = requestDeadlineMs + linkCheckMs + 3000;
// Answers after the deadline come this much late: after the request deadline and after the
// second a file transfer's step waits.
constexpr int lateByMs = 1500;
// No operation, however the device misbehaves, runs longer than this.
constexpr int operationBoundMs = 30000;
constexpr uint32_t flashBase = 0x08000000;
// How late a late bootloader step is answered: three times its wait.
constexpr int lateStepMs = 600;

const QStringList readNames = {"SerialNumber", "IpAddress", "NetMask",
                               "GateWay",      "MaxVolume", "AmpNomPower"};

struct FaultRow {
    const char *name;
    // Faults as norda-devsim --fault takes them, separated by "|".
    QByteArray faults;
    Status status;
    // Answers after the deadline: the worker reopens the link after a request that got no
    // answer in time, so whether a job learns of the timeout or of the drop first is a
    // matter of timing. Either way it fails.
    bool late = false;

    bool accepts(Status outcome) const
    {
        return outcome == status ||
            (late && outcome != Status::Done && outcome != Status::Cancelled);
    }
};

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// The facade of one device window over TCP, with the test's timings.
class Link : public FacadeLink {
public:
    Link(const ProjectDevice *target, quint16 port)
        : FacadeLink(target, port)
    {
        module.worker()->setTimings(requestDeadlineMs, linkCheckMs);
    }

    bool identified() const { return type != 0 && module.isConnected(); }

    // One exchange that comes back with the device's own answer within `ms`: its serial
    // number, or for a bootloader (which has no descriptors) its version.
    bool serves(const QString &serial, int ms)
    {
        if (!identified() && !QTest::qWaitFor([this] { return identified(); }, ms))
            return false;
        if (serial.isEmpty()) {
            // Whatever answer comes: one that is not the version (a late line of the fault
            // taken for it) ends this try at once.
            QString answer;
            bool answered = false;
            QObject context;
            QObject::connect(
                module.worker(), &CdcUsbProcess::receivedAnswer, &context,
                [&](const QString &request, const QString &text) {
                    if (request == QLatin1String("GET VERSION")) {
                        answer = text;
                        answered = true;
                    }
                },
                Qt::QueuedConnection);
            if (module.getParam(QStringLiteral("VERSION")) != Amodule::Queued)
                return waitForDrop(ms);
            QSignalSpy drops(&module, &Amodule::disconnected);
            return QTest::qWaitFor([&] { return answered || !drops.isEmpty(); }, ms) && answered &&
                answer.startsWith(QLatin1String("boot "));
        }
        QSignalSpy answers(&module, &Amodule::receivedDescriptor);
        QSignalSpy errors(&module, &Amodule::exchangeError);
        // A request queued while the link was going is dropped with it.
        QSignalSpy drops(&module, &Amodule::disconnected);
        if (module.getDescriptor(QStringLiteral("SerialNumber")) != Amodule::Queued)
            return waitForDrop(ms);
        return QTest::qWaitFor([&] { return !answers.isEmpty() || !drops.isEmpty(); }, ms) &&
            !answers.isEmpty() && errors.isEmpty() && answers.first().at(1).toString() == serial;
    }

    // The worker refused a request although the facade has not heard of a drop yet: the
    // news is on its way. False either way.
    bool waitForDrop(int ms)
    {
        const bool dropped = QTest::qWaitFor([this] { return !identified(); }, ms);
        Q_UNUSED(dropped)
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(FaultRow)

class TestFaultInjection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        FlashProgrammer::Timing timing;
        timing.addressWaitMs = 300;
        timing.eraseWaitMs = 300;
        timing.pageWaitMs = 300;
        timing.exitWaitMs = 300;
        timing.eraseRetryPauseMs = 5;
        timing.pageRetryPauseMs = 5;
        FlashProgrammer::setTiming(timing);
        QVERIFY(scratch.isValid());

        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1601, "127.79.0.2");
        boot = sim->addDevice(DeviceType::Bootloader, 0, "127.79.0.3");
        hornTarget.reset(SimHarness::tcpTarget(horn));
        bootTarget.reset(SimHarness::tcpTarget(boot));
        hornLink = std::make_unique<Link>(hornTarget.get(), sim->tcpPort(horn));
        bootLink = std::make_unique<Link>(bootTarget.get(), sim->tcpPort(boot));
        QVERIFY(hornLink->serves("1601", 15000));
        QTRY_VERIFY_WITH_TIMEOUT(bootLink->identified(), 15000);

        // What a faultless device answers.
        QSignalSpy answers(&hornLink->module, &Amodule::receivedDescriptor);
        QCOMPARE(hornLink->module.readDescriptors(readNames), int(Amodule::Queued));
        QTRY_COMPARE_WITH_TIMEOUT(answers.count(), readNames.size(), 10000);
        for (const QList<QVariant> &args : qAsConst(answers))
            expectedValues.insert(args.at(0).toString(), args.at(1).toString());
        baselineThreads = threadCount();
    }

    void cleanupTestCase()
    {
        hornLink.reset();
        bootLink.reset();
        sim.reset();
        FlashProgrammer::setTiming(FlashProgrammer::Timing());
    }

    void readList_data() { faultRows("readList", "GET DESCRIPTOR", 2, 3); }
    void readList()
    {
        QFETCH(FaultRow, row);
        Link &link = *hornLink;
        QSignalSpy answers(&link.module, &Amodule::receivedDescriptor);
        QSignalSpy errors(&link.module, &Amodule::exchangeError);
        QSignalSpy ends(&link.module, &Amodule::endReadList);
        QSignalSpy drops(&link.module, &Amodule::disconnected);
        inject(horn, row);
        QCOMPARE(link.module.readDescriptors(readNames), int(Amodule::Queued));
        // The list ends, or the link drops and takes the rest of the list with it.
        QVERIFY(
            QTest::qWaitFor([&] { return !ends.isEmpty() || !drops.isEmpty(); }, operationBoundMs));
        // Every answer that came without an error is the device's value.
        int failed = 0;
        for (int i = 0; i < answers.count(); ++i) {
            const QString name = answers.at(i).at(0).toString();
            const QString value = answers.at(i).at(1).toString();
            if (value != expectedValues.value(name))
                ++failed;
        }
        QVERIFY2(failed <= errors.count(), "a failed answer came as a value without an error");
        const Status status = !drops.isEmpty() ? Status::LinkLost
                                               : (errors.isEmpty() ? Status::Done : Status::Failed);
        QVERIFY2(row.accepts(status), QMetaEnum::fromType<Status>().valueToKey(int(status)));
        if (status == Status::Done)
            QCOMPARE(answers.count(), readNames.size());
        if (status == Status::LinkLost)
            QCOMPARE(link.module.readListSize(), 0);
        recover(horn, link, "1601", row);
    }

    void writeList_data() { faultRows("writeList", "SET DESCRIPTOR", 1, 2); }
    void writeList()
    {
        QFETCH(FaultRow, row);
        Link &link = *hornLink;
        QSignalSpy writes(&link.module, &Amodule::writedDescriptor);
        QSignalSpy drops(&link.module, &Amodule::disconnected);
        inject(horn, row);
        const int values[] = {41, 42, 43, 44};
        for (int value : values)
            QCOMPARE(link.module.setDescriptor("MaxVolume", value), int(Amodule::Queued));
        QVERIFY(QTest::qWaitFor([&] { return writes.count() == 4 || !drops.isEmpty(); },
                                operationBoundMs));
        int refused = 0;
        for (const QList<QVariant> &args : qAsConst(writes))
            refused += args.at(3).toInt() != 0 ? 1 : 0;
        const Status status =
            !drops.isEmpty() ? Status::LinkLost : (refused == 0 ? Status::Done : Status::Failed);
        QVERIFY2(row.accepts(status), QMetaEnum::fromType<Status>().valueToKey(int(status)));
        // What the device holds is the last value it confirmed.
        int confirmed = -1;
        for (const QList<QVariant> &args : qAsConst(writes)) {
            if (args.at(3).toInt() == 0)
                confirmed = args.at(1).toInt();
        }
        recover(horn, link, "1601", row);
        if (confirmed > 0 && status != Status::LinkLost)
            QCOMPARE(descriptor(horn, "MaxVolume"), QString::number(confirmed));
        sim->run([&] { horn->descriptors.insert("MaxVolume", "80"); });
    }

    void upload_data() { faultRows("upload", "SET FILE_WRITE", 2, 3); }
    void upload()
    {
        QFETCH(FaultRow, row);
        const QByteArray data = TestUtil::randomBytes(6 * 512 + 100);
        inject(horn, row);
        FileUploadJob job(&hornLink->module, "0:\\audio\\fault.wav", data);
        const DeviceJob::Result result = run(&job);
        QVERIFY2(row.accepts(result.status), qPrintable(result.message));
        recover(horn, *hornLink, "1601", row);
        QByteArray stored;
        SimCommandDevice *command = sim->command(horn);
        sim->run([&] { stored = command->files.file("0:\\audio\\fault.wav"); });
        if (result.ok())
            QCOMPARE(stored, data);
        else
            QVERIFY(stored != data);
        sim->run([&] { command->files.remove("0:\\audio\\fault.wav"); });
    }

    void download_data() { faultRows("download", "GET FILE_READ", 1, 3); }
    void download()
    {
        QFETCH(FaultRow, row);
        inject(horn, row);
        FileDownloadJob job(&hornLink->module, "0:\\audio\\siren.wav");
        const DeviceJob::Result result = run(&job);
        QVERIFY2(row.accepts(result.status), qPrintable(result.message));
        if (result.ok()) {
            QByteArray stored;
            SimCommandDevice *command = sim->command(horn);
            sim->run([&] { stored = command->files.file("0:\\audio\\siren.wav"); });
            QCOMPARE(job.content(), stored);
        } else {
            QVERIFY(job.content().isEmpty() || job.content().size() < 2048);
        }
        recover(horn, *hornLink, "1601", row);
    }

    void listAndDelete_data() { faultRows("listAndDelete", "SET FILE_DELETE", 0, 2); }
    void listAndDelete()
    {
        QFETCH(FaultRow, row);
        Link &link = *hornLink;
        SimCommandDevice *command = sim->command(horn);
        sim->run([&] { command->files.store("0:\\audio\\old.wav", QByteArray(100, 'x')); });
        inject(horn, row);
        // The listing, then the deletion of a file it shows.
        FileListJob list(&link.module, "0:\\audio");
        const DeviceJob::Result listed = run(&list);
        Status status = listed.status;
        if (listed.ok()) {
            QStringList names;
            for (const FileListJob::Entry &entry : list.entries())
                names << entry.name;
            QVERIFY2(names.contains("old.wav"), qPrintable(names.join(',')));
            QSignalSpy deleted(&link.module, &Amodule::writedParam);
            QSignalSpy drops(&link.module, &Amodule::disconnected);
            if (link.module.sendCommand("SET FILE_DELETE 0:\\audio\\old.wav") != Amodule::Queued) {
                status = Status::LinkLost;
            } else {
                QVERIFY(QTest::qWaitFor([&] { return !deleted.isEmpty() || !drops.isEmpty(); },
                                        operationBoundMs));
                status = !drops.isEmpty()
                    ? Status::LinkLost
                    : (deleted.first().at(2).toInt() == 0 ? Status::Done : Status::Failed);
            }
        }
        QVERIFY2(row.accepts(status), QMetaEnum::fromType<Status>().valueToKey(int(status)));
        recover(horn, link, "1601", row);
        bool present = true;
        sim->run([&] { present = command->files.exists("0:\\audio\\old.wav"); });
        if (status == Status::Done)
            QVERIFY(!present);
        sim->run([&] { command->files.remove("0:\\audio\\old.wav"); });
    }

    void flash_data() { faultRows("flash", "SET WRITEFLASH", 2, 3); }
    void flash()
    {
        QFETCH(FaultRow, row);
        const QByteArray payload = TestUtil::randomBytes(6 * 256 + 17);
        const QString path = scratch.filePath("fault.norda");
        QVERIFY(TestUtil::writeFile(path, TestUtil::firmwareFile(flashBase, payload)));
        FirmwareImage image;
        QVERIFY(image.load(path));
        inject(boot, row);
        FirmwareUpdateJob job(&bootLink->module, image, DeviceType::Bootloader);
        const DeviceJob::Result result = run(&job);
        QVERIFY2(row.accepts(result.status), qPrintable(result.message));
        recover(boot, *bootLink, QString(), row);
        if (result.ok()) {
            QByteArray flashed;
            SimCommandDevice *command = sim->command(boot);
            sim->run([&] { flashed = command->flash.read(flashBase, payload.size()); });
            QCOMPARE(flashed, payload);
        }
    }

    // A bootloader that answers steps later than their waits. The late answer must never be
    // taken for the answer to the next step: the update flashes the image or fails, and a
    // page whose verify the device refused is never reported as flashed.
    void lateBootloaderSteps_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<bool>("mayBeDone");
        // The flash address at which the update must fail, or 0.
        QTest::addColumn<uint>("failedPage");
        const QString badPage = QStringLiteral("bad-page=%1").arg(flashBase + 0x200, 0, 16);
        const QString late = QStringLiteral("late=%1").arg(lateStepMs);
        // Erasing one sector and writing four pages take five addresses before the verify.
        QTest::newRow("every address late, a page refused by its verify")
            << late + ":SET ADDR|" + badPage << false << 0u;
        QTest::newRow("every step late, a page refused by its verify")
            << late + ":SET |" + badPage << false << 0u;
        QTest::newRow("every step late") << late + ":SET " << true << 0u;
        QTest::newRow("one address late in the verify, then a page refused")
            << late + "/1@5:SET ADDR|" + badPage << false << flashBase + 0x200;
        QTest::newRow("one address late in the write") << late + "/1@2:SET ADDR" << true << 0u;
    }

    void lateBootloaderSteps()
    {
        QFETCH(QString, faults);
        QFETCH(bool, mayBeDone);
        QFETCH(uint, failedPage);
        // The bootloader's waits in their real proportions, a tenth as long (the retry pauses
        // as long as the address wait and more), and answers three address waits late.
        const FlashProgrammer::Timing suiteTiming = FlashProgrammer::timing();
        const auto restoreTiming = qScopeGuard([&] { FlashProgrammer::setTiming(suiteTiming); });
        FlashProgrammer::Timing timing;
        timing.addressWaitMs = lateStepMs / 3;
        timing.eraseWaitMs = 1000;
        timing.pageWaitMs = 1000;
        timing.exitWaitMs = lateStepMs / 3;
        timing.eraseRetryPauseMs = lateStepMs / 2;
        timing.pageRetryPauseMs = lateStepMs / 2;
        FlashProgrammer::setTiming(timing);

        const QByteArray payload = TestUtil::randomBytes(4 * 256);
        const QString path = scratch.filePath("late.norda");
        QVERIFY(TestUtil::writeFile(path, TestUtil::firmwareFile(flashBase, payload)));
        FirmwareImage image;
        QVERIFY(image.load(path));
        SimCommandDevice *command = sim->command(boot);
        sim->run([&] { command->flash = SimFlash(); });
        sim->clearLog(boot);
        for (const QString &fault : faults.split('|'))
            sim->setFault(boot, fault);

        FirmwareUpdateJob job(&bootLink->module, image, DeviceType::Bootloader);
        const DeviceJob::Result result = run(&job);
        QByteArray flashed;
        sim->run([&] { flashed = command->flash.read(flashBase, payload.size()); });
        if (result.ok()) {
            QVERIFY2(mayBeDone, "flashed although a page was refused");
            QCOMPARE(flashed, payload);
        } else {
            QCOMPARE(result.status, Status::Failed);
        }
        if (failedPage != 0) {
            QCOMPARE(result.step, int(FirmwareUpdateJob::Verify));
            QCOMPARE(result.position, qint64(failedPage));
        }

        sim->clearFaults(boot);
        QVERIFY(bootLink->serves(QString(), recoveryBoundMs + lateStepMs));
    }

private:
    // The rows every family shares: `prefix` names the family's repeated request, the
    // device is pulled out after `skip` of them, and every `every`th request is refused.
    void faultRows(const QByteArray &family, const char *prefix, int skip, int every)
    {
        QByteArray texts[6];
        texts[0] = QByteArray("unplug=1@") + QByteArray::number(skip) + ":" + prefix;
        texts[1] = "garbage=1";
        // In pieces of seven bytes: lines are cut anywhere, and a file block's answer still
        // arrives within its step's second.
        texts[2] = "split=7";
        // Three times the longest partial line a transport keeps.
        texts[3] = "flood=200000";
        texts[4] = QByteArray("delay=") + QByteArray::number(lateByMs);
        texts[5] = QByteArray("error-every=") + QByteArray::number(every);
        QTest::addColumn<FaultRow>("row");
        const auto expected = outcomes.value(family);
        const char *names[] = {"unplugged midway",           "garbage before answers",
                               "answers in pieces",          "flood without line feeds",
                               "answers after the deadline", "every Nth refused"};
        for (int i = 0; i < 6; ++i)
            QTest::newRow(names[i]) << FaultRow {names[i], texts[i], expected.at(i), i == 4};
    }

    void inject(SimDevice *device, const FaultRow &row)
    {
        sim->clearLog(device);
        for (const QByteArray &fault : row.faults.split('|'))
            sim->setFault(device, QString::fromLatin1(fault));
    }

    // Runs a job to its end, which comes within the operation bound.
    static DeviceJob::Result run(DeviceJob *job)
    {
        QSignalSpy finished(job, &DeviceJob::finished);
        job->start();
        if (!finished.wait(operationBoundMs))
            return DeviceJob::Result {Status::Failed, -1, -1, "no end", "the job did not end"};
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        qInfo().noquote() << "ended:" << result.message;
        return result;
    }

    // The fault ends: the device is plugged in again with no faults. The link serves again
    // within the bound, with nothing of the operation left queued and no thread more. The
    // late answers still on their way belong to the fault: the bound starts after them.
    void recover(SimDevice *device, Link &link, const QString &serial, const FaultRow &row)
    {
        const int bound = recoveryBoundMs + (row.late ? lateByMs : 0);
        sim->clearFaults(device);
        if (!sim->commandServer()->isPlugged(device))
            QVERIFY(sim->replug(device));
        QElapsedTimer clock;
        clock.start();
        bool served = false;
        while (!served && clock.elapsed() < bound)
            served = link.serves(serial, int(bound - clock.elapsed()));
        if (!served)
            qWarning().noquote() << "requests the device received:"
                                 << sim->requestLog(device).join(" | ");
        QVERIFY2(served, qPrintable(QStringLiteral("not served within %1 ms").arg(bound)));
        QVERIFY(!link.module.isFileTransferPending());
        QCOMPARE(link.module.pendingDescriptorReads(), 0);
        QCOMPARE(threadCount(), baselineThreads);
    }

    QString descriptor(SimDevice *device, const QString &name)
    {
        QString value;
        sim->run([&] { value = device->descriptors.value(name); });
        return value;
    }

    // Per family, the outcome of each row in the order of faultRows().
    const QHash<QByteArray, QList<Status>> outcomes = {
        {"readList",
         {Status::LinkLost, Status::Failed, Status::Done, Status::LinkLost, Status::LinkLost,
          Status::Failed}},
        {"writeList",
         {Status::LinkLost, Status::Failed, Status::Done, Status::LinkLost, Status::LinkLost,
          Status::Failed}},
        // A file step answered too late is the device's failure: it still answers the reset
        // that follows.
        {"upload",
         {Status::LinkLost, Status::Failed, Status::Done, Status::LinkLost, Status::Failed,
          Status::Failed}},
        {"download",
         {Status::LinkLost, Status::Failed, Status::Done, Status::LinkLost, Status::Failed,
          Status::Failed}},
        // A listing that overflows fails with "ERROR OVERFLOW" (and the link is opened anew).
        {"listAndDelete",
         {Status::LinkLost, Status::Failed, Status::Done, Status::Failed, Status::LinkLost,
          Status::Failed}},
        {"flash",
         {Status::LinkLost, Status::Failed, Status::Done, Status::LinkLost, Status::LinkLost,
          Status::Failed}},
    };

    QTemporaryDir scratch;
    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
    SimDevice *boot = nullptr;
    std::unique_ptr<ProjectDevice> hornTarget;
    std::unique_ptr<ProjectDevice> bootTarget;
    std::unique_ptr<Link> hornLink;
    std::unique_ptr<Link> bootLink;
    QHash<QString, QString> expectedValues;
    int baselineThreads = 0;
};

QTEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
