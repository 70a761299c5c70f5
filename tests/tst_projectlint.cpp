#include "testutil.h"

#include "jobs/projectuploadplan.h"
#include "project/devicetype.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectlint.h"
#include "project/projectmodel.h"

#include <QtTest>

#include <functional>

using namespace TestUtil;

namespace {

// A clean installation: a central unit with a console and an extension unit on its bus, a
// loudspeaker and an IP console with a key linked to line 2 of the unit.
struct Site {
    ProjectModel project {ProjectModel::Journals::None};
    ProjectGroup *building = nullptr;
    ProjectDevice *unit = nullptr;
    ProjectDevice *console = nullptr;
    ProjectDevice *extension = nullptr;
    ProjectDevice *horn = nullptr;
    ProjectDevice *ipConsole = nullptr;

    Site()
    {
        building = project.addGroup();
        building->name = "Корпус 1";
        unit = add(DeviceType::Norda4200, 4201, true, 0, "192.168.1.10");
        console = add(DeviceType::BexarTovik2, 4401, true, 5, QString(), 8);
        extension = add(DeviceType::Norda410x, 4101, true, 2);
        horn = add(DeviceType::Horn, 701, false, 0, "192.168.1.11");
        ipConsole = add(DeviceType::IpPult, 4301, false, 0, "192.168.1.12", 8);
        link(ipConsole, unit, {unit->firstLineIndex() + 1});
    }

    ProjectDevice *add(int type, quint32 serial, bool rs485, int address, const QString &ip = {},
                       int keys = -1)
    {
        auto *device = new ProjectDevice(type, serial, QString(), rs485, uint8_t(address),
                                         !ip.isEmpty(), ip, keys);
        project.addDevice(building, device);
        return device;
    }

    static void link(ProjectDevice *console, ProjectDevice *target, const QList<int> &lines)
    {
        for (InOut *io : console->inouts) {
            if (io->type == InOutType::Button) {
                io->outlinks.append({target->id_obj, lines});
                return;
            }
        }
    }
};

using Change = std::function<void(Site &)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestProjectLint : public QObject {
    Q_OBJECT

private slots:
    void findings_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clean") << Change([](Site &) {}) << QString();
        QTest::newRow("one address twice")
            << Change([](Site &s) { s.horn->ip_addr = "192.168.001.10"; })
            << "error\tОповещатель/Громкоговоритель NORDA исп.IP (№701)\tтот же адрес "
               "192.168.1.10, что у устройства Блок NORDA-4200 (№4201)";
        QTest::newRow("a disabled device may share it") << Change([](Site &s) {
            s.horn->ip_addr = "192.168.1.10";
            s.horn->ip_enabled = false;
        }) << QString();
        QTest::newRow("one serial twice")
            << Change([](Site &s) { s.horn->serial = 4401; })
            << "error\tОповещатель/Громкоговоритель NORDA исп.IP (№4401)\tтот же серийный номер, "
               "что у устройства Пульт микрофонный NORDA-4400 (№4401)";
        QTest::newRow("no serial")
            << Change([](Site &s) { s.horn->serial = 0; })
            << "warning\tОповещатель/Громкоговоритель NORDA исп.IP (№0)\tнет серийного номера";
        QTest::newRow("not an address")
            << Change([](Site &s) { s.horn->ip_addr = "192.168.1"; })
            << "error\tОповещатель/Громкоговоритель NORDA исп.IP (№701)\tадрес \"192.168.1\" не "
               "является адресом IPv4";
        QTest::newRow("Ethernet without address")
            << Change([](Site &s) { s.horn->ip_addr.clear(); })
            << "error\tОповещатель/Громкоговоритель NORDA исп.IP (№701)\tEthernet включён, но "
               "адрес не задан";
        // Every error of the unit's upload plan (the plan's own tests have them all).
        QTest::newRow("two consoles at one bus address")
            << Change([](Site &s) { s.add(DeviceType::BexarTovik2, 4402, true, 5, {}, 8); })
            << "error\tБлок NORDA-4200 (№4201)\tПульты №4401 и №4402: один адрес 5";
        QTest::newRow("a link without lines")
            << Change([](Site &s) { Site::link(s.ipConsole, s.unit, {}); }) << QString();
        QTest::newRow("link to a missing line") << Change([](Site &s) {
            s.ipConsole->inouts.last()->outlinks.append({s.horn->id_obj, {0}});
        }) << "LINE";
        QTest::newRow("link to a removed device") << Change([](Site &s) {
            s.ipConsole->inouts.last()->outlinks.append({9999, {1}});
        }) << "DEVICE";
        QTest::newRow("groups of one name side by side") << Change([](Site &s) {
            ProjectGroup *a = s.project.addGroup(s.building);
            ProjectGroup *b = s.project.addGroup(s.building);
            a->name = b->name = "Этаж 2";
        }) << "warning\tКорпус 1\tдве группы с именем \"Этаж 2\" на одном уровне";
    }

    void findings()
    {
        QFETCH(Change, change);
        QFETCH(QString, expected);
        Site site;
        change(site);
        const QList<ProjectLint::Finding> findings = ProjectLint::check(site.project);
        QStringList lines;
        for (const ProjectLint::Finding &finding : findings)
            lines << finding.line();
        if (expected == "LINE") {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines.first().contains(QStringLiteral("связь с линией 0 устройства "
                                                           "Оповещатель")),
                     qPrintable(lines.first()));
        } else if (expected == "DEVICE") {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(lines.first().contains(
                         QStringLiteral("связь с устройством, которого нет в проекте (id 9999)")),
                     qPrintable(lines.first()));
        } else {
            QCOMPARE(lines.join('\n'), expected);
        }
        QCOMPARE(ProjectLint::hasErrors(findings),
                 expected.startsWith("error") || expected == "LINE" || expected == "DEVICE");
    }

    void coversThePlans_data()
    {
        QTest::addColumn<Change>("change");
        QTest::newRow("clean") << Change([](Site &) {});
        // The unit is itself at an address no unit has, and its consoles too.
        QTest::newRow("a unit at address 12 with consoles at 0, 33 and twice at 7")
            << Change([](Site &s) {
                   s.unit->rs485_addr = 12;
                   s.console->rs485_addr = 0;
                   s.add(DeviceType::BexarTovik2, 4402, true, 33, {}, 8);
                   s.add(DeviceType::BexarTovik2, 4403, true, 7, {}, 8);
                   s.add(DeviceType::BexarTovik2, 4404, true, 7, {}, 8);
               });
        QTest::newRow("an extension unit's own bus") << Change([](Site &s) {
            s.unit->rs485_addr = 3;
            s.console->rs485_addr = 40;
        });
        QTest::newRow("two consoles with one serial number")
            << Change([](Site &s) { s.add(DeviceType::BexarTovik2, 4401, true, 6, {}, 8); });
        QTest::newRow("a name with a tab") << Change([](Site &s) { s.unit->tag = "Пост\t1"; });
        QTest::newRow("a name of 80 characters")
            << Change([](Site &s) { s.unit->tag = QString(80, 'x'); });
        QTest::newRow("an extension unit at 12")
            << Change([](Site &s) { s.extension->rs485_addr = 12; });
    }

    // Whatever a plan of any unit would refuse, the check reports as an error of that unit
    // (or of another unit on the same bus): a project that checks clean is one the plans
    // take.
    void coversThePlans()
    {
        QFETCH(Change, change);
        Site site;
        change(site);
        const QList<ProjectLint::Finding> findings = ProjectLint::check(site.project);
        QStringList errors;
        for (const ProjectLint::Finding &finding : findings) {
            if (finding.severity == ProjectLint::Severity::Error)
                errors << finding.what;
        }
        QStringList refused;
        for (const ProjectDevice *device : site.project.allDevices()) {
            if (!isCentralUnitType(device->type))
                continue;
            refused << ProjectUploadPlan::consoles(device).errors
                    << ProjectUploadPlan::unitSettings(device).errors;
        }
        for (const QString &error : qAsConst(refused))
            QVERIFY2(errors.contains(error), qPrintable(error));
        QCOMPARE(ProjectLint::hasErrors(findings), !refused.isEmpty());
        QCOMPARE(refused.isEmpty(), QString(QTest::currentDataTag()) == "clean");
    }

    // The command line: the same lines, exit 5 on an error, 0 otherwise.
    void commandLine()
    {
        QTemporaryDir dir;
        Site site;
        QCOMPARE(site.project.save(dir.filePath("clean.mpj")), 0);
        CliRun run = runCli({"project", "lint", dir.filePath("clean.mpj")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString());

        site.horn->serial = 0;
        QCOMPARE(site.project.save(dir.filePath("warning.mpj")), 0);
        run = runCli({"project", "lint", dir.filePath("warning.mpj")});
        QCOMPARE(run.code, 0);
        QVERIFY(run.out.startsWith("warning\t"));

        site.console->rs485_addr = 0;
        QCOMPARE(site.project.save(dir.filePath("error.mpj")), 0);
        run = runCli({"project", "lint", dir.filePath("error.mpj")});
        QCOMPARE(run.code, 5);
        QVERIFY(run.out.contains("error\tБлок NORDA-4200 (№4201)\tПульт №4401: адрес 0 вне "
                                 "диапазона 1..32\n"));
        QCOMPARE(runCli({"project", "lint", dir.filePath("none.mpj")}).code, 2);

        // A unit at address 12 with consoles at 0, 33 and twice at 7.
        Site bus;
        bus.unit->rs485_addr = 12;
        bus.console->rs485_addr = 0;
        bus.add(DeviceType::BexarTovik2, 4402, true, 33, {}, 8);
        bus.add(DeviceType::BexarTovik2, 4403, true, 7, {}, 8);
        bus.add(DeviceType::BexarTovik2, 4404, true, 7, {}, 8);
        QCOMPARE(bus.project.save(dir.filePath("bus.mpj")), 0);
        run = runCli({"project", "lint", dir.filePath("bus.mpj")});
        QCOMPARE(run.code, 5);
        for (const char *what :
             {"Блок №4201: адрес RS-485 12 вне диапазона 0..9",
              "Пульт №4401: адрес 0 вне диапазона 1..32",
              "Пульт №4402: адрес 33 вне диапазона 1..32", "Пульты №4403 и №4404: один адрес 7"})
            QVERIFY2(run.out.contains(QString::fromUtf8(what)), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(TestProjectLint)
#include "tst_projectlint.moc"
