#include "jobs/projectuploadjob.h"
#include "jobs/projectuploadplan.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/tovikstatus.h"
#include "project/devicetype.h"
#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "project/projectwriterules.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simfilesystem.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// A project of two buildings. In "Корпус 1": central unit 2002 (RS-485 on, the central
// unit's address 0, Ethernet), extension unit 2003 at RS-485 address 2, console 5001 at
// address 1 whose first button switches lines 1 and 2 of the unit, console 5002 at address
// 3 without links, an IP console 5009 and a loudspeaker. In "Корпус 2": console 6001 at
// address 2.
struct Project {
    ProjectModel model {ProjectModel::Journals::None};
    ProjectGroup *first = model.addGroup();
    ProjectGroup *second = model.addGroup();
    ProjectDevice *unit = add(first,
                              new ProjectDevice(DeviceType::Tovik2, 2002, u("Пост 1"), true, 0,
                                                true, QStringLiteral("127.84.0.2"), -1));
    ProjectDevice *extension = add(
        first, new ProjectDevice(DeviceType::Norda410x, 2003, QString(), true, 2, false, {}, -1));
    ProjectDevice *linked = add(
        first, new ProjectDevice(DeviceType::BexarTovik2, 5001, QString(), true, 1, false, {}, 2));
    ProjectDevice *plain = add(
        first, new ProjectDevice(DeviceType::BexarTovik2, 5002, QString(), true, 3, false, {}, 2));
    ProjectDevice *ipConsole = add(
        first,
        new ProjectDevice(DeviceType::IpPult, 5009, QString(), false, 0, true, "127.84.0.9", 2));
    ProjectDevice *horn =
        add(first,
            new ProjectDevice(DeviceType::Horn, 1001, QString(), false, 0, true, "127.84.0.3", -1));
    ProjectDevice *elsewhere = add(
        second, new ProjectDevice(DeviceType::BexarTovik2, 6001, QString(), true, 2, false, {}, 2));

    Project()
    {
        first->name = u("Корпус 1");
        second->name = u("Корпус 2");
        button(linked, 0)->outlinks.append(OutLink {unit->id_obj, {1, 2}});
    }
    // Takes a node out of the project; a removed node is its caller's.
    void remove(QObject *node)
    {
        model.removeNode(node);
        delete node;
    }
    ProjectDevice *add(ProjectGroup *group, ProjectDevice *device)
    {
        model.addDevice(group, device);
        return device;
    }
    static InOut *button(ProjectDevice *console, int n)
    {
        int seen = 0;
        for (InOut *io : console->inouts) {
            if (io->type == InOutType::Button && seen++ == n)
                return io;
        }
        return nullptr;
    }
};

// One step as the tests write it: "kind name value | caption"; kinds D (descriptor), F
// (file), X (file deleted).
QString brief(const UploadStep &step)
{
    const char *kind = step.kind == UploadStep::Descriptor ? "D"
        : step.kind == UploadStep::File                    ? "F"
                                                           : "X";
    QString text = QLatin1String(kind) + QLatin1Char(' ') + step.name;
    if (step.kind == UploadStep::Descriptor)
        text += QLatin1Char('=') + step.value;
    return text + QStringLiteral(" | ") + step.caption;
}

struct PlanRow {
    const char *name;
    void (*setup)(Project &);
    QStringList steps;
    QStringList errors;
};

struct UnitRow {
    const char *name;
    void (*setup)(Project &);
    // The steps that write something other than 0 to a slot's enable flag.
    QStringList steps;
    QStringList errors;
};

struct SerialRow {
    const char *name;
    const char *text;
    bool valid;
    quint32 serial;
};

} // namespace

Q_DECLARE_METATYPE(PlanRow)
Q_DECLARE_METATYPE(UnitRow)
Q_DECLARE_METATYPE(SerialRow)

class TestProjectUpload : public QObject {
    Q_OBJECT

private slots:
    void consolePlan_data()
    {
        const QStringList both {
            u("D desc_Rs485PultEnable[0]=0 | Выключение пульта №5001 по адресу 1"),
            u("F 0:\\links\\5001.lnk | Файл назначений пульта №5001"),
            u("D desc_Rs485PultSerial[0]=5001 | Запись серийного номера пульта №5001 по адресу 1"),
            u("D desc_Rs485PultEnable[0]=1 | Включение пульта №5001 по адресу 1"),
            u("D desc_Rs485PultEnable[2]=0 | Выключение пульта №5002 по адресу 3"),
            // An image of buttons without links assigns nothing: the old file goes.
            u("X 0:\\links\\5002.lnk | Удаление файла назначений пульта №5002"),
            u("D desc_Rs485PultSerial[2]=5002 | Запись серийного номера пульта №5002 по адресу 3"),
            u("D desc_Rs485PultEnable[2]=1 | Включение пульта №5002 по адресу 3"),
        };
        const PlanRow rows[] = {
            // clang-format off
            {"consoles of the unit's group in project order", [](Project &) {}, both, {}},
            {"no console in the group",
             [](Project &p) { p.remove(p.linked); p.remove(p.plain); }, {}, {}},
            {"address 32 is slot 31", [](Project &p) { p.remove(p.linked); p.plain->rs485_addr = 32; },
             {u("D desc_Rs485PultEnable[31]=0 | Выключение пульта №5002 по адресу 32"),
              u("X 0:\\links\\5002.lnk | Удаление файла назначений пульта №5002"),
              u("D desc_Rs485PultSerial[31]=5002 | Запись серийного номера пульта №5002 по адресу 32"),
              u("D desc_Rs485PultEnable[31]=1 | Включение пульта №5002 по адресу 32")}, {}},
            {"address 0", [](Project &p) { p.linked->rs485_addr = 0; },
             {}, {u("Пульт №5001: адрес 0 вне диапазона 1..32")}},
            {"address 33", [](Project &p) { p.plain->rs485_addr = 33; },
             {}, {u("Пульт №5002: адрес 33 вне диапазона 1..32")}},
            {"two consoles at one address", [](Project &p) { p.plain->rs485_addr = 1; },
             {}, {u("Пульты №5001 и №5002: один адрес 1")}},
            {"two consoles with one serial number", [](Project &p) { p.plain->serial = 5001; },
             {}, {u("Пульты по адресам 1 и 3: один серийный номер №5001")}},
            {"a link to an address that is not one",
             [](Project &p) { p.unit->ip_addr = "127.0.0"; },
             {}, {u("Пульт №5001: файл назначений не собран: ")}},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    // The plan is a function of the project: the consoles of type 6 of the unit's group,
    // each disabled, its key file, its serial, enabled again; errors leave no step.
    void consolePlan()
    {
        QFETCH(PlanRow, row);
        Project project;
        row.setup(project);
        const UploadPlan plan = ProjectUploadPlan::consoles(project.unit);
        QStringList steps;
        for (const UploadStep &step : plan.steps)
            steps << brief(step);
        QCOMPARE(steps, row.steps);
        QCOMPARE(plan.errors.size(), row.errors.size());
        for (int i = 0; i < row.errors.size(); ++i)
            QVERIFY2(plan.errors.at(i).startsWith(row.errors.at(i)), qPrintable(plan.errors.at(i)));
        QCOMPARE(plan.runnable(), row.errors.isEmpty());
        // A file step carries the console's key image.
        for (const UploadStep &step : plan.steps) {
            if (step.kind != UploadStep::File)
                continue;
            QByteArray image;
            QVERIFY(keyConfigImage(project.linked, &image));
            QCOMPARE(step.data, image);
            QVERIFY(step.line().contains(u("адрес 1")));
        }
    }

    void unitPlan_data()
    {
        auto withAddress = [](const char *address) {
            QStringList steps {
                u("D desc_DeviceTag=Пост 1 | Имя устройства"),
                u("D desc_Rs485GlobalEnable=1 | RS-485"),
                u("D desc_DevRole=0 | Тип блока"),
                u("D desc_ExtBlockRs485Enable[1]=1 | Блок расширения 2"),
                u("D desc_Rs485PultEnable[0]=1 | Пульт 1"),
                u("D desc_Rs485PultEnable[2]=1 | Пульт 3"),
            };
            steps << u("D desc_IpAddress=%1 | IP-адрес").arg(QLatin1String(address))
                  << u("X 0:\\keys\\keys3.bin | Удаление файла назначений пульта №5002")
                  << u("F 0:\\keys\\keys1.bin | Файл назначений пульта №5001");
            return steps;
        };
        const QStringList normal {
            u("D desc_DeviceTag=Пост 1 | Имя устройства"),
            u("D desc_Rs485GlobalEnable=1 | RS-485"),
            u("D desc_DevRole=0 | Тип блока"),
            u("D desc_ExtBlockRs485Enable[1]=1 | Блок расширения 2"),
            u("D desc_Rs485PultEnable[0]=1 | Пульт 1"),
            u("D desc_Rs485PultEnable[2]=1 | Пульт 3"),
            u("D desc_IpAddress=127.84.0.2 | IP-адрес"),
            u("X 0:\\keys\\keys3.bin | Удаление файла назначений пульта №5002"),
            u("F 0:\\keys\\keys1.bin | Файл назначений пульта №5001"),
        };
        const UnitRow rows[] = {
            // clang-format off
            {"the unit, its slots and key files", [](Project &) {}, normal, {}},
            {"console at address 0", [](Project &p) { p.plain->rs485_addr = 0; },
             {}, {u("Пульт №5002: адрес 0 вне диапазона 1..32")}},
            {"console at address 33", [](Project &p) { p.plain->rs485_addr = 33; },
             {}, {u("Пульт №5002: адрес 33 вне диапазона 1..32")}},
            {"extension unit at address 10", [](Project &p) { p.extension->rs485_addr = 10; },
             {}, {u("Блок расширения №2003: адрес 10 вне диапазона 1..9")}},
            {"two extension units at one address",
             [](Project &p) { p.add(p.first, new ProjectDevice(DeviceType::Kv510, 2004, QString(), true, 2, false, {}, -1)); },
             {}, {u("Блоки расширения №2003 и №2004: один адрес 2")}},
            {"two consoles at one address", [](Project &p) { p.plain->rs485_addr = 1; },
             {}, {u("Пульты №5001 и №5002: один адрес 1")}},
            {"two consoles with one serial number", [](Project &p) { p.plain->serial = 5001; },
             {}, {u("Пульты по адресам 1 и 3: один серийный номер №5001")}},
            // The unit's own values pass the rules of the window's own writes.
            {"an address with leading zeros is written without them",
             [](Project &p) { p.unit->ip_addr = "127.0.77.004"; },
             withAddress("127.0.77.4"), {}},
            {"a name with a tab", [](Project &p) { p.unit->tag = u("Пост\t1"); },
             {}, {u("Блок №2002: имя устройства не записывается: в нём управляющий символ (U+0009)")}},
            {"a name of 80 characters", [](Project &p) { p.unit->tag = QString(80, 'x'); },
             {}, {u("Блок №2002: имя устройства не записывается: длиннее 64 символов")}},
            {"a name Windows-1251 cannot carry", [](Project &p) { p.unit->tag = u("Пост ✓"); },
             {}, {u("Блок №2002: имя устройства не записывается: в нём символ, которого нет в кодировке Windows-1251 (U+2713)")}},
            {"the unit as extension unit 12", [](Project &p) { p.unit->rs485_addr = 12; },
             {}, {u("Блок №2002: адрес RS-485 12 вне диапазона 0..9 (0 — центральный блок)")}},
            {"an IP address that is not one",
             [](Project &p) { p.unit->ip_addr = "127.0.777.4"; Project::button(p.linked, 0)->outlinks.clear(); },
             {}, {u("Блок №2002: IP-адрес \"127.0.777.4\" не является адресом IPv4")}},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void unitPlan()
    {
        QFETCH(UnitRow, row);
        Project project;
        row.setup(project);
        const UploadPlan plan = ProjectUploadPlan::unitSettings(project.unit);
        QStringList steps;
        int slotCount = 0;
        for (const UploadStep &step : plan.steps) {
            const bool slot = step.name.contains(QLatin1String("Rs485PultEnable")) ||
                step.name.contains(QLatin1String("ExtBlockRs485Enable"));
            slotCount += slot ? 1 : 0;
            if (!slot || step.value != QLatin1String("0"))
                steps << brief(step);
        }
        QCOMPARE(steps, row.steps);
        QCOMPARE(plan.errors, row.errors);
        // Every slot is written, on or off, when the plan can run.
        QCOMPARE(slotCount, row.errors.isEmpty() ? 41 : 0);
    }

    void serialNumbers_data()
    {
        const SerialRow rows[] = {
            {"a number", "2002", true, 2002},
            {"with the blanks of the answer", " 2002 ", true, 2002},
            {"the largest", "4294967295", true, 4294967295u},
            // A failed read must not pass for a project device without a serial number.
            {"an error answer", "ERROR", false, 0},
            {"a timeout", "ERROR TIMEOUT", false, 0},
            {"zero is none", "0", false, 0},
            {"too large", "4294967296", false, 0},
            {"not only digits", "2002a", false, 0},
            {"signed", "+2002", false, 0},
            {"empty", "", false, 0},
        };
        TestUtil::addRows(rows);
    }

    void serialNumbers()
    {
        QFETCH(SerialRow, row);
        quint32 serial = 0;
        QCOMPARE(ProjectWriteRules::parseSerial(QString::fromLatin1(row.text), &serial), row.valid);
        QCOMPARE(serial, row.serial);
    }

    // ---- Carried out against the simulated unit ----

    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        device = sim->addDevice(DeviceType::Tovik2, 2002, "127.84.0.2");
        target.reset(SimHarness::tcpTarget(device));
        module = std::make_unique<Amodule>(target.get(), nullptr, sim->tcpPort(device));
        connect(module.get(), &Amodule::connected, this, [this] { seen = true; });
        QVERIFY(QTest::qWaitFor([this] { return module->isConnected() && seen; }, 15000));
    }

    void cleanupTestCase()
    {
        module->closeAndWait(30000);
        module.reset();
        sim.reset();
    }

    void init()
    {
        sim->clearFaults(device);
        // Slot 1 holds another console, enabled; slot 3 is off; an old key file of 5002.
        SimCommandDevice *command = sim->command(device);
        sim->run([this, command] {
            device->descriptors.insert("Rs485PultEnable[0]", u("да"));
            device->descriptors.insert("Rs485PultSerial[0]", "4444");
            device->descriptors.insert("Rs485PultEnable[2]", u("нет"));
            device->descriptors.insert("Rs485PultSerial[2]", "0");
            command->files.store("0:\\links\\5002.lnk", "stale");
            command->files.remove("0:\\links\\5001.lnk");
        });
        QVERIFY(QTest::qWaitFor([this] { return module->isConnected(); }, 15000));
        sim->clearLog(device);
    }

    void planCarriedOut()
    {
        Project project;
        const UploadPlan plan = ProjectUploadPlan::consoles(project.unit);
        ProjectUploadJob job(module.get(), plan);
        QSignalSpy finished(&job, &DeviceJob::finished);
        QSignalSpy started(&job, &ProjectUploadJob::stepStarted);
        job.start();
        QVERIFY(finished.wait(20000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(started.count(), plan.steps.size());

        QByteArray image;
        QVERIFY(keyConfigImage(project.linked, &image));
        QCOMPARE(descriptor("Rs485PultEnable[0]"), u("да"));
        QCOMPARE(descriptor("Rs485PultSerial[0]"), "5001");
        QCOMPARE(descriptor("Rs485PultEnable[2]"), u("да"));
        QCOMPARE(descriptor("Rs485PultSerial[2]"), "5002");
        QCOMPARE(file("0:\\links\\5001.lnk"), image);
        QVERIFY(!exists("0:\\links\\5002.lnk"));

        // The slots are read first, then the file transfer is reset and the key files are
        // read (a file the unit refuses to open is one it does not have), then one step
        // after the other, each after the answer to the one before: the key file goes
        // between disabling and the serial number.
        const QStringList log = sim->requestLog(device);
        QStringList expected {"GET DESCRIPTOR desc_Rs485PultEnable[0]",
                              "GET DESCRIPTOR desc_Rs485PultSerial[0]",
                              "GET DESCRIPTOR desc_Rs485PultEnable[2]",
                              "GET DESCRIPTOR desc_Rs485PultSerial[2]",
                              "SET FILE_RESET",
                              "SET FILE_OPEN 0:\\links\\5001.lnk",
                              "SET FILE_RESET",
                              "SET FILE_OPEN 0:\\links\\5002.lnk",
                              "GET FILE_READ 512",
                              "GET FILE_READ 512",
                              "SET FILE_CLOSE",
                              "SET DESCRIPTOR desc_Rs485PultEnable[0] 0",
                              "SET FILE_CREATE 0:\\links\\5001.lnk"};
        expected << "SET FILE_WRITE " + QString::fromLatin1(image.toHex().toUpper())
                 << "SET FILE_CLOSE"
                 << "SET DESCRIPTOR desc_Rs485PultSerial[0] 5001"
                 << "SET DESCRIPTOR desc_Rs485PultEnable[0] 1"
                 << "SET DESCRIPTOR desc_Rs485PultEnable[2] 0"
                 << "SET FILE_DELETE 0:\\links\\5002.lnk"
                 << "SET DESCRIPTOR desc_Rs485PultSerial[2] 5002"
                 << "SET DESCRIPTOR desc_Rs485PultEnable[2] 1";
        QCOMPARE(log, expected);
    }

    void failureRestoresEverything_data()
    {
        QTest::addColumn<QStringList>("faults");
        // What 0:\links\5001.lnk holds before the upload (null: no such file).
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("restored");
        QTest::addColumn<QString>("notRestored");
        QTest::addColumn<bool>("leftOff");
        // The key file of the first console is refused after its slot was disabled.
        QTest::newRow("key file refused")
            << QStringList {"fail=1:SET FILE_CREATE"} << QByteArray() << 1
            << "0:\\links\\5001.lnk, desc_Rs485PultEnable[0] = 1" << QString() << false;
        // The first block is refused: the console's own file, cut short, goes back.
        QTest::newRow("first block refused")
            << QStringList {"fail=1:SET FILE_WRITE"} << QByteArray("working keys") << 1
            << "0:\\links\\5001.lnk, desc_Rs485PultEnable[0] = 1" << QString() << false;
        // The second console's serial number is refused: both slots it touched and both
        // files go back (the stale file of 5002 that the plan deleted too).
        QTest::newRow("second serial refused")
            << QStringList {"fail=1:SET DESCRIPTOR desc_Rs485PultSerial[2]"} << QByteArray() << 6
            << "0:\\links\\5001.lnk, 0:\\links\\5002.lnk, desc_Rs485PultSerial[0] = 4444, "
               "desc_Rs485PultSerial[2] = 0"
            << QString() << false;
        // The key file cannot be put back either: its console stays off, and the report says
        // so instead of calling the slot restored.
        QTest::newRow("key file not restorable")
            << QStringList {"fail=2:SET FILE_WRITE"} << QByteArray("working keys") << 1 << QString()
            << "0:\\links\\5001.lnk" << true;
    }

    // A failure in the middle stops the plan at that step and puts back what it changed, the
    // files first: the unit's descriptors and files are then as they were before, but for a
    // console whose key file could not be put back, which is left switched off.
    void failureRestoresEverything()
    {
        QFETCH(QStringList, faults);
        QFETCH(QByteArray, before);
        QFETCH(int, step);
        QFETCH(QString, restored);
        QFETCH(QString, notRestored);
        QFETCH(bool, leftOff);
        if (!before.isNull()) {
            SimCommandDevice *command = sim->command(device);
            sim->run([&] { command->files.store("0:\\links\\5001.lnk", before); });
        }
        const UnitState initial = unitState();
        for (const QString &fault : faults)
            sim->setFault(device, fault);
        Project project;
        const UploadPlan plan = ProjectUploadPlan::consoles(project.unit);
        ProjectUploadJob job(module.get(), plan);
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(20000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(job.failedStep(), step);
        QCOMPARE(result.position, qint64(step));
        QCOMPARE(job.restored().join(", "), restored);
        QCOMPARE(job.notRestored().join(", "), notRestored);
        QVERIFY2(result.message.startsWith(QStringLiteral("step %1 of 8 failed (%2)")
                                               .arg(step + 1)
                                               .arg(plan.steps.at(step).caption)),
                 qPrintable(result.message));
        if (!restored.isEmpty())
            QVERIFY2(result.message.contains("; restored " + restored), qPrintable(result.message));
        // Nothing of the plan after the failed step was sent.
        QVERIFY(!sim->requestLog(device).contains("SET DESCRIPTOR desc_Rs485PultEnable[2] 1"));

        UnitState expected = initial;
        if (leftOff) {
            QCOMPARE(job.consolesLeftOff(), QList<int> {1});
            QVERIFY2(job.failureReport().contains(
                         u("Пульт по адресу 1 оставлен выключенным: его файл назначений не "
                           "удалось восстановить.")),
                     qPrintable(job.failureReport()));
            QVERIFY2(result.message.contains("console(s) at address 1 left switched off"),
                     qPrintable(result.message));
            expected.descriptors.insert("Rs485PultEnable[0]", u("нет"));
            // What is left of the file is whatever the refused restore left.
            unitStateWithout(&expected, "0:\\links\\5001.lnk");
            UnitState now = unitState();
            unitStateWithout(&now, "0:\\links\\5001.lnk");
            QCOMPARE(now.descriptors, expected.descriptors);
            QCOMPARE(now.files, expected.files);
            QVERIFY(job.unitState().contains(u("desc_Rs485PultEnable[0] = нет")));
        } else {
            QVERIFY(job.consolesLeftOff().isEmpty());
            const UnitState now = unitState();
            QCOMPARE(now.descriptors, expected.descriptors);
            QCOMPARE(now.files, expected.files);
        }
    }

    // "Загрузить из проекта" of the unit window: a failure at the last key file puts back
    // the name, the RS-485 switch, the role, every slot, the IP address and the key files.
    void unitSettingsRollBack()
    {
        Project project;
        project.unit->ip_addr = "127.84.0.022";
        project.unit->tag = u("Пост 9");
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { command->files.store("0:\\keys\\keys3.bin", "old keys of 3"); });
        const UnitState initial = unitState();
        const UploadPlan plan = ProjectUploadPlan::unitSettings(
            project.unit, TovikStatus::buildNumber(module->version()));
        QVERIFY(plan.runnable());
        QCOMPARE(plan.steps.last().name, "0:\\keys\\keys1.bin");
        sim->setFault(device, "fail=1:SET FILE_CREATE 0:\\keys\\keys1.bin");
        ProjectUploadJob job(module.get(), plan);
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(30000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(job.failedStep(), plan.steps.size() - 1);
        QVERIFY2(job.notRestored().isEmpty(), qPrintable(job.notRestored().join(", ")));
        const QStringList log = sim->requestLog(device);
        // The address went out without its leading zeros, and came back.
        QVERIFY(log.contains("SET DESCRIPTOR desc_IpAddress 127.84.0.22"));
        QVERIFY(log.contains("SET DESCRIPTOR desc_Rs485GlobalEnable 1"));
        QVERIFY(log.contains("SET DESCRIPTOR desc_Rs485PultEnable[0] 1"));
        const UnitState now = unitState();
        QCOMPARE(now.descriptors, initial.descriptors);
        QCOMPARE(now.files, initial.files);
    }

    // A transfer the unit still holds from an upload that was cut off (the link dropped)
    // would make the first file step fail: the job resets it before any file is touched.
    void transferResetFirst()
    {
        SimCommandDevice *command = sim->command(device);
        sim->run([command] { command->files.strictTransfers = true; });
        QCOMPARE(module->sendCommand("SET FILE_CREATE 0:\\audio\\cut.wav"), 0);
        QTRY_VERIFY(sim->requestLog(device).contains("SET FILE_CREATE 0:\\audio\\cut.wav"));
        sim->clearLog(device);
        Project project;
        ProjectUploadJob job(module.get(), ProjectUploadPlan::consoles(project.unit));
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(20000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QVERIFY2(result.ok(), qPrintable(result.message));
        const QStringList log = sim->requestLog(device);
        QVERIFY(log.indexOf("SET FILE_RESET") >= 0);
        QCOMPARE(log.filter(QRegularExpression("^SET FILE_")).first(), "SET FILE_RESET");
        sim->run([command] { command->files.strictTransfers = false; });
    }

    void unreadableSlotWritesNothing_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("refused") << QByteArray("ERROR\r\n");
        QTest::newRow("not a flag") << QByteArray("maybe\r\nOK\r\n");
    }

    // A slot whose state cannot be read could not be restored: nothing is written.
    void unreadableSlotWritesNothing()
    {
        QFETCH(QByteArray, answer);
        sim->setRawAnswer(device, "GET DESCRIPTOR desc_Rs485PultEnable[2]", answer, 1);
        Project project;
        ProjectUploadJob job(module.get(), ProjectUploadPlan::consoles(project.unit));
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(20000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(job.failedStep(), -1);
        QVERIFY2(result.message.startsWith("the unit's state could not be read before the upload"),
                 qPrintable(result.message));
        QVERIFY(sim->requestLog(device).filter(QRegularExpression("^SET ")).isEmpty());
    }

    // A group without consoles: nothing to write, and the job says so from the event loop,
    // never from inside start().
    void emptyPlanEndsLater()
    {
        Project project;
        project.remove(project.linked);
        project.remove(project.plain);
        ProjectUploadJob job(module.get(), ProjectUploadPlan::consoles(project.unit));
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(5000));
        QVERIFY(finished.first().at(0).value<DeviceJob::Result>().ok());
        QVERIFY(sim->requestLog(device).isEmpty());
    }

    void planWithErrorsIsNotRun()
    {
        Project project;
        project.plain->rs485_addr = 0;
        ProjectUploadJob job(module.get(), ProjectUploadPlan::consoles(project.unit));
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).value<DeviceJob::Result>().status,
                 DeviceJob::Status::Failed);
        QVERIFY(sim->requestLog(device).isEmpty());
    }

    // Last: it costs the link. The unit keeps silent over a serial number: the step's
    // deadline ends the plan; the worker then gives the request up and drops the link, so
    // what was to be written back is reported as not restored.
    void stepDeadline()
    {
        module->worker()->setTimings(1500, 100);
        sim->setFault(device, "mute=1:SET DESCRIPTOR desc_Rs485PultSerial[0]");
        Project project;
        project.remove(project.plain);
        ProjectUploadJob job(module.get(), ProjectUploadPlan::consoles(project.unit));
        job.setStepTimeout(700);
        QSignalSpy finished(&job, &DeviceJob::finished);
        job.start();
        QVERIFY(finished.wait(20000));
        const DeviceJob::Result result = finished.first().at(0).value<DeviceJob::Result>();
        QCOMPARE(job.failedStep(), 2);
        QCOMPARE(job.failureDetail(), "no answer within 0.7 s");
        QCOMPARE(result.status, DeviceJob::Status::LinkLost);
        QCOMPARE(job.notRestored(),
                 (QStringList {"0:\\links\\5001.lnk", "desc_Rs485PultEnable[0] = 0",
                               "desc_Rs485PultSerial[0] = 4444"}));
        // Not reported as off: the switch-off could not be sent either.
        QVERIFY(job.consolesLeftOff().isEmpty());
        QVERIFY2(result.message.contains("NOT restored"), qPrintable(result.message));
        QVERIFY(!sim->requestLog(device).contains("SET DESCRIPTOR desc_Rs485PultEnable[0] 1"));
    }

private:
    struct UnitState {
        QMap<QString, QString> descriptors;
        QMap<QString, QByteArray> files;
    };
    UnitState unitState()
    {
        UnitState state;
        SimCommandDevice *command = sim->command(device);
        sim->run([&] {
            state.descriptors = device->descriptors;
            state.files = command->files.all();
        });
        return state;
    }
    static void unitStateWithout(UnitState *state, const QString &path)
    {
        state->files.remove(path);
    }
    QString descriptor(const QString &name)
    {
        QString value;
        sim->run([&] { value = device->descriptors.value(name); });
        return value;
    }
    QByteArray file(const QString &path)
    {
        QByteArray data;
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { data = command->files.file(path); });
        return data;
    }
    bool exists(const QString &path)
    {
        bool found = false;
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { found = command->files.exists(path); });
        return found;
    }

    std::unique_ptr<SimHarness> sim;
    SimDevice *device = nullptr;
    std::unique_ptr<ProjectDevice> target;
    std::unique_ptr<Amodule> module;
    bool seen = false;
};

QTEST_GUILESS_MAIN(TestProjectUpload)
#include "tst_projectupload.moc"
