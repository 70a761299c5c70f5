#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QPoint>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// The link check of the facades' workers: a dropped link is noticed this soon (the real
// interval is a second).
constexpr int shortLinkCheck = 200;

// A facade with spies on all of its signals.
class Facade {
public:
    Facade(const ProjectDevice *target, quint16 port)
        : module(target, nullptr, port)
        , connected(&module, &Amodule::connected)
        , spies(&module)
    {
        module.worker()->setTimings(CdcUsbProcess::requestTimeoutMs, shortLinkCheck);
    }
    ~Facade() { module.closeAndWait(30000); }
    QSignalSpy &spy(const char *name) { return spies[name]; }

    Amodule module;
    QSignalSpy connected;
    TestUtil::SignalSpies spies;
};

struct ReadRow {
    const char *name;
    bool onUnit;
    const char *descriptor;
    int index;
    const char *wire, *reported;
    int reportedIndex;
    const char *value;
};

// The facade's operations that put text of the caller's on the wire.
enum class TextCall { Get, GetIndexed, SetName, SetValue, Param, Command, List, Upload, Download };

struct TextRow {
    const char *name;
    TextCall call;
    QString text;
    const char *reason;
};

// A device command of norda-cli; "%file%" stands for a local file that exists.
struct CliRow {
    const char *name;
    QStringList args;
};

// A device that does not tell its type at the first ask.
struct VersionRow {
    const char *name;
    // The fault as norda-devsim --fault takes it.
    QString fault;
    // Asks that go unanswered usefully; the fault is cleared after them when it would last.
    int failing;
    bool clearAfter;
};

// A device command of norda-cli whose output holds text of the device's.
struct EscapeRow {
    const char *name;
    const char *prefix; // the request whose answer is replaced
    QByteArray answer; // in Windows-1251
    QStringList args;
    int code;
    QString expected; // a line of standard output, or for code 4 of standard error
};

struct WriteRow {
    const char *name, *descriptor;
    QVariant value;
    const char *wire, *reported, *reportedValue;
    int reportedIndex, err;
};

} // namespace

Q_DECLARE_METATYPE(VersionRow)
Q_DECLARE_METATYPE(EscapeRow)
Q_DECLARE_METATYPE(TextRow)
Q_DECLARE_METATYPE(CliRow)
Q_DECLARE_METATYPE(ReadRow)
Q_DECLARE_METATYPE(WriteRow)

class TestAmodule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.75.0.2");
        unit = sim->addDevice(DeviceType::Norda4200, 2002, "127.75.0.3");
        odd = sim->addDevice(DeviceType::Media, 3003, "127.75.0.4");
        cliTarget = sim->addDevice(DeviceType::Horn, 5005, "127.75.0.10");
        // A unit whose firmware has the device name.
        sim->run([this] {
            odd->reportedKey = "frobnicator";
            unit->version = "1.2.576";
        });
        hornTarget.reset(SimHarness::tcpTarget(horn));
        unitTarget.reset(SimHarness::tcpTarget(unit));
        hornFacade = std::make_unique<Facade>(hornTarget.get(), sim->tcpPort(horn));
        unitFacade = std::make_unique<Facade>(unitTarget.get(), sim->tcpPort(unit));
        QTRY_VERIFY_WITH_TIMEOUT(hornFacade->connected.count() == 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(unitFacade->connected.count() == 1, 10000);
    }

    void cleanupTestCase()
    {
        hornFacade.reset();
        unitFacade.reset();
        sim.reset();
    }

    void init()
    {
        for (SimDevice *device : {horn, unit, odd, cliTarget}) {
            sim->clearFaults(device);
            sim->clearLog(device);
            QVERIFY(sim->replug(device));
        }
        // Both links are up and quiet: a last exchange goes after anything queued before it.
        // (A TCP link reports itself open before the connection is up; a request offered then
        // may be lost, so the check is repeated.)
        for (Facade *facade : {hornFacade.get(), unitFacade.get()}) {
            bool answered = false;
            for (int attempt = 0; attempt < 5 && !answered; ++attempt) {
                QTRY_VERIFY_WITH_TIMEOUT(facade->module.isConnected(), 20000);
                facade->spy("receivedParam").clear();
                facade->spy("disconnected").clear();
                // Answered, or dropped with its link (then the next link is waited for).
                answered = facade->module.getParam("STATUS") == 0 &&
                    facade->spies.waitAny({"receivedParam", "disconnected"}, 10000) &&
                    facade->spy("receivedParam").count() == 1;
            }
            QVERIFY(answered);
            facade->spies.clear();
        }
        for (SimDevice *device : {horn, unit, odd, cliTarget})
            sim->clearLog(device);
    }

    // A device window and the status decoder name the modes alike; codes that are no mode
    // are named as such.
    void layoutOfVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("layout");
        QTest::newRow("no second field") << "2.5" << 0;
        QTest::newRow("uniform") << "2.5,1" << 1;
        QTest::newRow("low 8 bits") << "2.5,257" << 1;
        QTest::newRow("not a number") << "2.5,x" << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void layoutOfVersion()
    {
        QFETCH(QString, version);
        QFETCH(int, layout);
        QCOMPARE(Amodule::layoutOfVersion(version), layout);
    }

    void everythingIsRefusedBeforeTheLink()
    {
        std::unique_ptr<ProjectDevice> nowhere(SimHarness::usbTarget(0x1209, 0x0fff));
        Facade facade(nowhere.get(), 0);
        Amodule &module = facade.module;
        QVERIFY(!module.isConnected());
        QCOMPARE(module.getDescriptor("SerialNumber"), -1);
        QCOMPARE(module.getDescriptor("LoCtrlEnable", 1), -1);
        QCOMPARE(module.setDescriptor("MaxVolume", 5), -1);
        QCOMPARE(module.getParam("STATUS"), -1);
        QCOMPARE(module.sendCommand("SET FILE_RESET"), -1);
        QCOMPARE(module.readDescriptors({"SerialNumber"}), -1);
        QCOMPARE(module.writeFile("0:\\x", QByteArray("x")), -1);
        QCOMPARE(module.readFile("0:\\x"), -1);
        QCOMPARE(module.pendingDescriptorReads(), 0);
        QVERIFY(!module.isFileTransferPending());
        QVERIFY(module.worker());
        QCOMPARE(facade.spy("startReadList").count(), 0);
    }

    void versionIdentifiesTheDevice()
    {
        QCOMPARE(hornFacade->connected.first().at(0).toInt(), int(DeviceType::Horn));
        QCOMPARE(hornFacade->connected.first().at(1).toString(), "1.0.0");
        QCOMPARE(hornFacade->module.version(), "1.0.0");
        QCOMPARE(unitFacade->connected.first().at(0).toInt(), int(DeviceType::Norda4200));
    }

    void unknownTypeKeyLeavesTheDeviceUnidentified()
    {
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(odd));
        Facade facade(target.get(), sim->tcpPort(odd));
        QTRY_VERIFY_WITH_TIMEOUT(facade.module.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(sim->requestLog(odd).contains("GET VERSION"), 10000);
        // Linked, so requests go out, but never identified.
        QCOMPARE(facade.module.getParam("STATUS"), 0);
        QVERIFY(facade.spy("receivedParam").wait(10000));
        QCOMPARE(facade.connected.count(), 0);
        QVERIFY(facade.module.version().isEmpty());
    }

    // One failed version answer does not leave the link unidentified: the device is asked
    // again at every link check until it tells. A version line that came with a failure is
    // no identification.
    void versionAskedAgainUntilTheDeviceTells_data()
    {
        const QByteArray garbage = QByteArray("\x01\x02zz\r\nOK\r\n").toHex();
        const QByteArray unconfirmed = QByteArray("horn 1.0.0\r\nOK?\r\n").toHex();
        const VersionRow rows[] = {
            {"refused twice", "fail=2:GET VERSION", 2, false},
            {"garbled twice", "raw=2:" + QString::fromLatin1(garbage) + ":GET VERSION", 2, false},
            {"unconfirmed twice", "raw=2:" + QString::fromLatin1(unconfirmed) + ":GET VERSION", 2,
             false},
            {"bare line feeds", "bare-lf", 3, true},
        };
        TestUtil::addRows(rows);
    }

    void versionAskedAgainUntilTheDeviceTells()
    {
        QFETCH(VersionRow, row);
        sim->setFault(horn, row.fault);
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(horn));
        Facade facade(target.get(), sim->tcpPort(horn));
        int asksWhenIdentified = -1;
        QObject::connect(&facade.module, &Amodule::connected,
                         [&] { asksWhenIdentified = sim->requestLog(horn).count("GET VERSION"); });
        if (row.clearAfter) {
            QTRY_VERIFY_WITH_TIMEOUT(sim->requestLog(horn).count("GET VERSION") >= row.failing,
                                     10000);
            sim->clearFaults(horn);
            QCOMPARE(facade.connected.count(), 0);
            QVERIFY(facade.module.isConnected());
        }
        // A few link checks.
        QTRY_VERIFY_WITH_TIMEOUT(facade.connected.count() == 1, 10 * shortLinkCheck + 5000);
        QCOMPARE(facade.connected.first().at(0).toInt(), int(DeviceType::Horn));
        QCOMPARE(facade.module.version(), "1.0.0");
        QVERIFY2(asksWhenIdentified > row.failing, qPrintable(QString::number(asksWhenIdentified)));
        // Once it has told, it is not asked again at the link checks that follow.
        const int asks = sim->requestLog(horn).count("GET VERSION");
        QSignalSpy checks(facade.module.worker(), &CdcUsbProcess::linkChecked);
        QTRY_VERIFY_WITH_TIMEOUT(checks.count() >= 3, 10 * shortLinkCheck + 5000);
        QCOMPARE(facade.module.getParam("STATUS"), 0);
        QVERIFY(facade.spy("receivedParam").wait(10000));
        QCOMPARE(sim->requestLog(horn).count("GET VERSION"), asks);
    }

    // The command line waits out a failed identification within its timeout.
    void cliWaitsForAFailedIdentification()
    {
        sim->setFault(cliTarget, "fail=2:GET VERSION");
        const TestUtil::CliRun run = TestUtil::runCli(
            {"device", "--timeout", "8", "--tcp",
             QStringLiteral("127.75.0.10:%1").arg(sim->tcpPort(cliTarget)), "version"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY2(run.out.startsWith("horn 1.0.0\n"), qPrintable(run.out));
        QCOMPARE(sim->requestLog(cliTarget).count("GET VERSION"), 3);
    }

    // Text of the device's reaches the terminal with its controls escaped (a name that
    // would retitle the terminal and clear it); Cyrillic stays as it is.
    void cliEscapesDeviceText_data()
    {
        const QByteArray sequences = "\x1b]0;pwned\x07\x1b[2J\x7f";
        const QString shown = "\\x1b]0;pwned\\x07\\x1b[2J\\x7f";
        const QByteArray name = QByteArray("\xc8\xec\xff ") + sequences; // "Имя " in Windows-1251
        const QString named = QString::fromUtf8("Имя ") + shown;
        const EscapeRow rows[] = {
            {"version",
             "GET VERSION",
             "horn 1.0" + sequences + "\r\nOK\r\n",
             {"version"},
             0,
             "horn 1.0" + shown},
            {"get",
             "GET DESCRIPTOR desc_DeviceName",
             name + "\r\nOK\r\n",
             {"get", "DeviceName"},
             0,
             named},
            {"read",
             "GET DESCRIPTOR desc_DeviceName",
             name + "\r\nOK\r\n",
             {"read", "SerialNumber", "DeviceName"},
             0,
             "DeviceName = " + named},
            {"ls",
             "GET FILE_LIST",
             sequences + "a.wav\t10\r\n\r\nOK\r\n",
             {"ls", "0:\\audio"},
             0,
             shown + "a.wav\t10"},
            // The answer is quoted as what the device said, not given as the reason.
            {"a failed get",
             "GET DESCRIPTOR desc_DeviceName",
             name + "\r\nOK?\r\n",
             {"get", "DeviceName"},
             4,
             "norda-cli: reading DeviceName failed: the device did not confirm its answer \"" +
                 named + "\""},
            {"a failed read",
             "GET DESCRIPTOR desc_DeviceName",
             name + "\r\nOK?\r\n",
             {"read", "DeviceName"},
             4,
             "DeviceName: failed: the device did not confirm its answer \"" + named + "\""},
            // A C1 control of the command line, quoted in the refusal.
            {"refused name",
             "GET NOTHING",
             "",
             {"get", QString::fromUtf8("Name\u009b2J")},
             1,
             "norda-cli: cannot send \"Name\\x9b2J\" to a device: it holds a character that "
             "Windows-1251 cannot carry (U+009B)"},
        };
        TestUtil::addRows(rows);
    }

    void cliEscapesDeviceText()
    {
        QFETCH(EscapeRow, row);
        sim->setRawAnswer(cliTarget, row.prefix, row.answer);
        const TestUtil::CliRun run = TestUtil::runCli(
            QStringList {"device", "--timeout", "8", "--tcp",
                         QStringLiteral("127.75.0.10:%1").arg(sim->tcpPort(cliTarget))} +
            row.args);
        QCOMPARE(run.code, row.code);
        const QString printed = run.out + run.err;
        for (const QChar c : printed) {
            const ushort u = c.unicode();
            QVERIFY2(c == QLatin1Char('\n') || c == QLatin1Char('\t') ||
                         (u >= 0x20 && u != 0x7f && (u < 0x80 || u >= 0xa0)),
                     qPrintable(QStringLiteral("U+%1 printed").arg(u, 4, 16, QLatin1Char('0'))));
        }
        const QStringList lines =
            (row.code == 0 || row.args.first() == QLatin1String("read") ? run.out : run.err)
                .split(QLatin1Char('\n'));
        QVERIFY2(lines.contains(row.expected), qPrintable(printed));
    }

    void descriptorNamesAndIndexes_data()
    {
        const ReadRow rows[] = {
            // clang-format off
            // name, onUnit, descriptor, index (-1: the plain call), wire, reported, reportedIndex, value
            {"bare name", false, "SerialNumber", -1, "GET DESCRIPTOR desc_SerialNumber", "SerialNumber", 0, "1001"},
            {"prefixed name", false, "desc_SerialNumber", -1, "GET DESCRIPTOR desc_SerialNumber", "SerialNumber", 0, "1001"},
            {"prefix is case-sensitive", false, "Desc_X", -1, "GET DESCRIPTOR desc_Desc_X", "Desc_X", 0, "ERROR\r\n"},
            {"index argument", true, "LoCtrlEnable", 3, "GET DESCRIPTOR desc_LoCtrlEnable[3]", "LoCtrlEnable", 3, "да"},
            {"index in the name", true, "desc_OutputAssign05[1]", -1, "GET DESCRIPTOR desc_OutputAssign05[1]", "OutputAssign05", 1, "-"},
            {"text value", true, "DevRole", -1, "GET DESCRIPTOR desc_DevRole", "DevRole", 0, "ЦБ"},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void descriptorNamesAndIndexes()
    {
        QFETCH(ReadRow, row);
        Facade &facade = row.onUnit ? *unitFacade : *hornFacade;
        const int result = row.index < 0 ? facade.module.getDescriptor(row.descriptor)
                                         : facade.module.getDescriptor(row.descriptor, row.index);
        QCOMPARE(result, 0);
        QVERIFY(facade.spy("receivedDescriptor").wait(10000));
        QCOMPARE(sim->requestLog(row.onUnit ? unit : horn), QStringList {row.wire});
        QCOMPARE(facade.spy("receivedDescriptor").first(),
                 (QList<QVariant> {row.reported, row.value, row.reportedIndex, 0}));
    }

    void descriptorWrites_data()
    {
        const WriteRow rows[] = {
            // clang-format off
            // name, descriptor, value, wire, reported, reportedValue, reportedIndex, err
            {"text with spaces", "DeviceTag", "Hall A  b", "SET DESCRIPTOR desc_DeviceTag Hall A  b", "desc_DeviceTag", "Hall", 0, 0},
            {"number", "desc_MaxVolume", 42, "SET DESCRIPTOR desc_MaxVolume 42", "desc_MaxVolume", "42", 0, 0},
            {"indexed", "LoCtrlEnable[2]", 1u, "SET DESCRIPTOR desc_LoCtrlEnable[2] 1", "desc_LoCtrlEnable", "1", 2, 0},
            {"refused", "Nothing", 1, "SET DESCRIPTOR desc_Nothing 1", "desc_Nothing", "1", 0, -1},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void descriptorWrites()
    {
        QFETCH(WriteRow, row);
        QCOMPARE(unitFacade->module.setDescriptor(row.descriptor, row.value), 0);
        QVERIFY(unitFacade->spy("writedDescriptor").wait(10000));
        QCOMPARE(sim->requestLog(unit), QStringList {row.wire});
        const QList<QVariant> args = unitFacade->spy("writedDescriptor").first();
        QCOMPARE(args.at(0).toString(), row.reported);
        QCOMPARE(args.at(1).toString(), row.reportedValue);
        QCOMPARE(args.at(2).toInt(), row.reportedIndex);
        QCOMPARE(args.at(3).toInt(), row.err);
        QCOMPARE(unitFacade->spy("endWriteDescriptors").count(), 1);
        QCOMPARE(unitFacade->spy("exchangeError").count(), row.err ? 1 : 0);
    }

    void textThatWouldSplitTheLineIsRefused_data()
    {
        const TextRow rows[] = {
            // clang-format off
            // name, call, text, reason
            {"get, CR LF", TextCall::Get, "SerialNumber\r\nSET BOOT", "line break"},
            {"get indexed, LF", TextCall::GetIndexed, "LoCtrlEnable\nSET BOOT", "line break"},
            {"set, value with CR LF", TextCall::SetValue, "x\r\nSET BOOT", "line break"},
            {"set, value with a lone CR", TextCall::SetValue, "x\rSET BOOT", "line break"},
            {"set, name with NUL", TextCall::SetName, QString::fromUtf8("Tag\0SET BOOT", 12), "NUL"},
            {"set, value beyond Windows-1251", TextCall::SetValue, QString::fromUtf8("Зал \u2603"), "U+2603"},
            {"set, value with an emoji", TextCall::SetValue, QString::fromUtf8("\U0001F514"), "U+1F514"},
            {"param, LF", TextCall::Param, "STATUS\nSET BOOT", "line break"},
            {"command, CR LF", TextCall::Command, "SET FILE_RESET\r\nSET BOOT", "line break"},
            {"list, one name of several", TextCall::List, "NetMask\nSET BOOT", "line break"},
            {"upload path", TextCall::Upload, "0:\\a.wav\r\nSET BOOT", "line break"},
            {"upload path beyond Windows-1251", TextCall::Upload, QString::fromUtf8("0:\\\u266A.wav"), "U+266A"},
            {"download path", TextCall::Download, "0:\\a.wav\nSET BOOT", "line break"},
            // clang-format on
        };
        TestUtil::addRows(rows);
    }

    void textThatWouldSplitTheLineIsRefused()
    {
        QFETCH(TextRow, row);
        Facade &facade = *hornFacade;
        Amodule &module = facade.module;
        int result = 0;
        switch (row.call) {
        case TextCall::Get:
            result = module.getDescriptor(row.text);
            break;
        case TextCall::GetIndexed:
            result = module.getDescriptor(row.text, 2);
            break;
        case TextCall::SetName:
            result = module.setDescriptor(row.text, 1);
            break;
        case TextCall::SetValue:
            result = module.setDescriptor("DeviceTag", row.text);
            break;
        case TextCall::Param:
            result = module.getParam(row.text);
            break;
        case TextCall::Command:
            result = module.sendCommand(row.text);
            break;
        case TextCall::List:
            result = module.readDescriptors({"SerialNumber", row.text});
            break;
        case TextCall::Upload:
            result = module.writeFile(row.text, QByteArray("data"));
            break;
        case TextCall::Download:
            result = module.readFile(row.text);
            break;
        }
        QCOMPARE(result, int(Amodule::TextRefused));
        QVERIFY2(module.refusalReason().contains(QLatin1String(row.reason)),
                 qPrintable(module.refusalReason()));
        // Nothing was queued: no list read began, no transfer, and the next request is the
        // first the device sees.
        QCOMPARE(module.readListSize(), 0);
        QCOMPARE(facade.spy("startReadList").count(), 0);
        QVERIFY(!module.isFileTransferPending());
        QCOMPARE(module.getParam("STATUS"), 0);
        QVERIFY(facade.spy("receivedParam").wait(10000));
        QCOMPARE(sim->requestLog(horn), QStringList {"GET STATUS"});
        SimCommandDevice *device = sim->command(horn);
        bool inBootloader = true;
        sim->run([&] { inBootloader = device->inBootloader(); });
        QVERIFY(!inBootloader);
    }

    void cliRefusesTextThatWouldSplitTheLine_data()
    {
        const CliRow rows[] = {
            {"set, value", {"set", "DeviceTag", "x\r\nSET BOOT"}},
            {"set, name", {"set", "DeviceTag\nSET BOOT", "1"}},
            {"get", {"get", "SerialNumber\r\nSET BOOT"}},
            {"read", {"read", "SerialNumber", "NetMask\nSET BOOT"}},
            {"ls", {"ls", "0:\\audio\r\nSET BOOT"}},
            {"rm", {"rm", "0:\\audio\\a.wav\nSET BOOT"}},
            {"upload", {"upload", "%file%", "0:\\a.wav\r\nSET BOOT"}},
            {"download", {"download", "0:\\a.wav\nSET BOOT", "%file%"}},
        };
        TestUtil::addRows(rows);
    }

    void cliRefusesTextThatWouldSplitTheLine()
    {
        QFETCH(CliRow, row);
        QTemporaryDir dir;
        const QString file = dir.filePath("local.bin");
        QVERIFY(TestUtil::writeFile(file, "data"));
        QStringList args {"device", "--timeout", "5", "--tcp",
                          QStringLiteral("127.75.0.10:%1").arg(sim->tcpPort(cliTarget))};
        for (const QString &arg : row.args)
            args << (arg == QLatin1String("%file%") ? file : arg);
        const TestUtil::CliRun run = TestUtil::runCli(args);
        QCOMPARE(run.code, 1);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.startsWith("norda-cli: cannot send \"") && run.err.count('\n') == 1 &&
                     run.err.endsWith('\n') && !run.err.contains('\r'),
                 qPrintable(run.err));
        // No second command reached the device (nor anything but its identification).
        const QStringList log = sim->requestLog(cliTarget);
        QVERIFY2(log.filter(QRegularExpression("^(?!GET VERSION$)")).isEmpty(),
                 qPrintable(log.join(" | ")));
        SimCommandDevice *device = sim->command(cliTarget);
        bool inBootloader = true;
        sim->run([&] { inBootloader = device->inBootloader(); });
        QVERIFY(!inBootloader);
    }

    void cliReadsDottedAddressesAsDecimal()
    {
        // 127.75.0.010 is 127.75.0.10 (as octal it would be 127.75.0.8, where nothing is).
        const TestUtil::CliRun run =
            TestUtil::runCli({"device", "--timeout", "5", "--tcp",
                              QStringLiteral("127.75.0.010:%1").arg(sim->tcpPort(cliTarget)), "get",
                              "SerialNumber"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, "5005\n");
        QCOMPARE(sim->requestLog(cliTarget),
                 (QStringList {"GET VERSION", "GET DESCRIPTOR desc_SerialNumber"}));
    }

    void valueThatIsNeitherTextNorNumber()
    {
        QCOMPARE(unitFacade->module.setDescriptor("MaxVolume", QVariant::fromValue(QPoint(1, 2))),
                 -1);
        QCOMPARE(unitFacade->module.setDescriptor("MaxVolume", QVariant()), -1);
        // Nothing went out: the next exchange is the first the device sees.
        QCOMPARE(unitFacade->module.getParam("STATUS"), 0);
        QVERIFY(unitFacade->spy("receivedParam").wait(10000));
        QCOMPARE(sim->requestLog(unit), QStringList {"GET STATUS"});
    }

    void errorsComeBeforeTheTypedSignal()
    {
        QStringList order;
        QObject context;
        Amodule &module = hornFacade->module;
        connect(&module, &Amodule::exchangeError, &context,
                [&](int err) { order << QStringLiteral("error %1").arg(err); });
        connect(&module, &Amodule::receivedDescriptor, &context,
                [&](const QString &name, const QVariant &value, int, int err) {
                    order << QStringLiteral("read %1 %2 %3").arg(name, value.toString()).arg(err);
                });
        connect(&module, &Amodule::writedDescriptor, &context,
                [&](const QString &name, const QVariant &, int, int err) {
                    order << QStringLiteral("write %1 %2").arg(name).arg(err);
                });
        QCOMPARE(module.getDescriptor("Nothing"), 0);
        QCOMPARE(module.setDescriptor("Nothing", 3), 0);
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 4, 10000);
        QCOMPARE(order,
                 (QStringList {"error -1", "read Nothing ERROR\r\n 0", "error -1",
                               "write desc_Nothing -1"}));
    }

    void paramsAndCommands()
    {
        Facade &facade = *hornFacade;
        QCOMPARE(facade.module.getParam("STATUS"), 0);
        QVERIFY(facade.spy("receivedParam").wait(10000));
        QCOMPARE(facade.spy("receivedParam").first().at(0).toString(), "STATUS");
        QVERIFY(facade.spy("receivedParam").first().at(1).toString().startsWith("horn 1001,"));
        QCOMPARE(facade.spy("receivedParam").first().at(2).toInt(), 0);

        QCOMPARE(facade.module.sendCommand("SET FILE_RESET"), 0);
        QCOMPARE(facade.module.sendCommand("SET BOGUS 1"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(facade.spy("writedParam").count(), 2, 10000);
        QCOMPARE(facade.spy("writedParam").at(0), (QList<QVariant> {"FILE_RESET", "OK", 0}));
        QCOMPARE(facade.spy("writedParam").at(1), (QList<QVariant> {"BOGUS", "ERROR", -1}));
        QCOMPARE(facade.spy("exchangeError").count(), 1);
        // Neither is a descriptor: no descriptor signals.
        QCOMPARE(facade.spy("receivedDescriptor").count() + facade.spy("writedDescriptor").count(),
                 0);
    }

    void listReadCountsAndEnds()
    {
        Facade &facade = *unitFacade;
        const QStringList names {"SerialNumber", "desc_NetMask", "desc_LoCtrlEnable[2]",
                                 "PpkCtrlEnable[1]"};
        QCOMPARE(facade.module.readDescriptors(names), 0);
        QCOMPARE(facade.spy("startReadList").count(), 1);
        QCOMPARE(facade.spy("startReadList").first().at(0).toInt(), 4);
        QCOMPARE(facade.module.readListSize(), 4);
        QVERIFY(facade.spy("endReadList").wait(10000));
        QCOMPARE(facade.spy("receivedDescriptor").count(), 4);
        QCOMPARE(facade.spy("endReadList").count(), 1);
        QCOMPARE(facade.module.readListSize(), 0);
        QCOMPARE(sim->requestLog(unit),
                 (QStringList {"GET DESCRIPTOR desc_SerialNumber", "GET DESCRIPTOR desc_NetMask",
                               "GET DESCRIPTOR desc_LoCtrlEnable[2]",
                               "GET DESCRIPTOR desc_PpkCtrlEnable[1]"}));
        QCOMPARE(facade.module.readDescriptors({}), -2);
    }

    void listReadDropsDuplicates()
    {
        Facade &facade = *unitFacade;
        sim->setFault(unit, "delay=50");
        QCOMPARE(facade.module.readDescriptors({"SerialNumber", "NetMask", "GateWay"}), 0);
        QCOMPARE(facade.module.readDescriptors({"NetMask", "IpAddress", "NetMask"}), 0);
        QCOMPARE(facade.spy("startReadList").count(), 2);
        QCOMPARE(facade.spy("startReadList").at(0).at(0).toInt(), 3);
        QCOMPARE(facade.spy("startReadList").at(1).at(0).toInt(), 4);
        QVERIFY(facade.spy("endReadList").wait(20000));
        QCOMPARE(facade.spy("endReadList").count(), 1);
        // The unfinished names of the first list were asked for again.
        const QStringList log = sim->requestLog(unit);
        QTRY_COMPARE_WITH_TIMEOUT(sim->requestLog(unit).size(), 7, 20000);
        QCOMPARE(sim->requestLog(unit).filter("desc_NetMask").size(), 2);
        QCOMPARE(sim->requestLog(unit).filter("desc_IpAddress").size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(facade.spy("receivedDescriptor").count(), 7, 20000);
        QCOMPARE(facade.spy("endReadList").count(), 1);
    }

    void timedOutReadStillLeavesTheList()
    {
        Facade &facade = *hornFacade;
        sim->setFault(horn, "silent");
        facade.module.worker()->setTimings(500, shortLinkCheck);
        QCOMPARE(facade.module.readDescriptors({"SerialNumber"}), 0);
        const bool ended = facade.spy("endReadList").wait(15000);
        facade.module.worker()->setTimings(CdcUsbProcess::requestTimeoutMs, shortLinkCheck);
        QVERIFY(ended);
        QCOMPARE(facade.spy("receivedDescriptor").first().at(1).toString(), "ERROR TIMEOUT");
        QCOMPARE(facade.spy("exchangeError").first().at(0).toInt(), -1);
        QVERIFY(facade.spy("disconnected").count() || facade.spy("disconnected").wait(10000));
    }

    void endOfWritesWaitsForQueuedReads()
    {
        Facade &facade = *unitFacade;
        sim->setFault(unit, "delay=50");
        QCOMPARE(facade.module.setDescriptor("MaxVolume", 10), 0);
        QCOMPARE(facade.module.getDescriptor("SerialNumber"), 0);
        QCOMPARE(facade.module.getDescriptor("NetMask"), 0);
        QCOMPARE(facade.module.getDescriptor("GateWay"), 0);
        QVERIFY(facade.spy("writedDescriptor").wait(10000));
        QCOMPARE(facade.spy("endWriteDescriptors").count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(facade.spy("receivedDescriptor").count(), 3, 10000);
        QCOMPARE(facade.module.setDescriptor("MaxVolume", 11), 0);
        QVERIFY(facade.spy("endWriteDescriptors").wait(10000));
    }

    void answersAfterCloseAreIgnored()
    {
        std::unique_ptr<ProjectDevice> target(SimHarness::tcpTarget(horn));
        Facade facade(target.get(), sim->tcpPort(horn));
        QVERIFY(facade.connected.wait(10000));
        sim->setFault(horn, "delay=300");
        QCOMPARE(facade.module.getDescriptor("SerialNumber"), 0);
        QCOMPARE(facade.module.readDescriptors({"NetMask"}), 0);
        facade.spy("disconnected").clear();
        QPointer<CdcUsbProcess> worker = facade.module.worker();
        facade.module.close();
        QCOMPARE(facade.spy("disconnected").count(), 1);
        QVERIFY(!facade.module.isConnected());
        QVERIFY(!facade.module.worker());
        QCOMPARE(facade.module.readListSize(), 0);
        QCOMPARE(facade.module.getDescriptor("SerialNumber"), -1);
        QCOMPARE(facade.module.pendingDescriptorReads(), 0);
        // Whatever the worker reported before it ended reaches the facade now, and is
        // ignored.
        QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 10000);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(facade.spy("receivedDescriptor").count(), 0);
        QCOMPARE(facade.spy("endReadList").count(), 0);
        QCOMPARE(facade.spy("exchangeError").count(), 0);
    }

private:
    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr;
    SimDevice *unit = nullptr;
    SimDevice *odd = nullptr;
    SimDevice *cliTarget = nullptr;
    std::unique_ptr<ProjectDevice> hornTarget, unitTarget;
    std::unique_ptr<Facade> hornFacade, unitFacade;
};

QTEST_GUILESS_MAIN(TestAmodule)
#include "tst_amodule.moc"
