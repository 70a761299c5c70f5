// norda-console --connect: the settings window of whatever device answers at an address,
// without a project, in the test process and as the program itself.

#include "devicewindowtest.h"
#include "guitest.h"
#include "testutil.h"

#include "app/quickconnect.h"
#include "devices/firmwareupdatewindow.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <signal.h>

using namespace DeviceWindowTest;

namespace {

struct ParseRow {
    const char *name;
    const char *text;
    bool ok;
    bool usb;
    const char *host;
    int port;
    int vendor;
    int product;
};

} // namespace

Q_DECLARE_METATYPE(ParseRow)

class TestQuickConnect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchConnectByName);
        harness = std::make_unique<SimHarness>();
        horn = harness->addDevice(DeviceType::Horn, 9101, QStringLiteral("127.81.4.2"));
        console = harness->addDevice(DeviceType::IpPult, 9102, QStringLiteral("127.81.4.3"));
        unit = harness->addDevice(DeviceType::Norda4200, 9103, QStringLiteral("127.81.4.4"));
        boot = harness->addDevice(DeviceType::Bootloader, 9104, QStringLiteral("127.81.4.5"));
        harness->run([this] { console->descriptors.insert("SerialNumber", "9999"); });
    }

    void cleanupTestCase() { harness.reset(); }

    void parse_data()
    {
        TestUtil::addRows<ParseRow>({
            {"address and port", "tcp://127.0.0.2:2323", true, false, "127.0.0.2", 2323, 0, 0},
            {"address without port", "tcp://127.0.0.2", true, false, "127.0.0.2", 0, 0, 0},
            {"leading zeros are decimal", "tcp://127.000.010.002:23", true, false, "127.0.10.2", 23,
             0, 0},
            {"host name", "tcp://device-1.local", true, false, "device-1.local", 0, 0, 0},
            {"usb", "usb", true, true, "", 0, 0x0483, 0x5740},
            {"usb with ids", "usb:1209:0001", true, true, "", 0, 0x1209, 0x0001},
            {"short address", "tcp://127.1", false, false, "", 0, 0, 0},
            {"hexadecimal address", "tcp://0x7f.0.0.1", false, false, "", 0, 0, 0},
            {"part above 255", "tcp://127.0.0.300", false, false, "", 0, 0, 0},
            {"port 0", "tcp://127.0.0.2:0", false, false, "", 0, 0, 0},
            {"port too large", "tcp://127.0.0.2:65536", false, false, "", 0, 0, 0},
            {"no host", "tcp://:23", false, false, "", 0, 0, 0},
            {"other scheme", "http://127.0.0.2", false, false, "", 0, 0, 0},
            {"usb with one id", "usb:1209", false, false, "", 0, 0, 0},
            {"usb id not hexadecimal", "usb:12g9:0001", false, false, "", 0, 0, 0},
        });
    }

    void parse()
    {
        QFETCH(ParseRow, row);
        QuickConnect::Target target;
        QString error;
        QCOMPARE(QuickConnect::parse(QString::fromLatin1(row.text), &target, &error), row.ok);
        if (!row.ok) {
            QVERIFY(error.startsWith(QStringLiteral("--connect ") + row.text));
            return;
        }
        QCOMPARE(target.usb, row.usb);
        QCOMPARE(target.host, QString::fromLatin1(row.host));
        QCOMPARE(int(target.port), row.port);
        if (row.usb) {
            QCOMPARE(int(target.vendorId), row.vendor);
            QCOMPARE(int(target.productId), row.product);
        }
    }

    // The window of the device that answers, titled with the serial number the device
    // reports, reading it as "Настройка" would; closing it ends the connection, and nothing
    // is written to the working folder.
    void opensTheWindowOfTheDevice_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("title");
        QTest::newRow("loudspeaker") << 0 << "Оповещатель/Громкоговоритель NORDA исп.IP №9101";
        QTest::newRow("console with another serial number")
            << 1 << "Пульт микрофонный NORDA-4300 №9999";
        QTest::newRow("central unit") << 2 << deviceTypeName(DeviceType::Norda4200) + " №9103";
    }

    void opensTheWindowOfTheDevice()
    {
        QFETCH(int, which);
        QFETCH(QString, title);
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        SimDevice *device = which == 0 ? horn : which == 1 ? console : unit;
        QTemporaryDir beside;
        QSettings settings(beside.filePath("settings.ini"), QSettings::IniFormat);
        harness->clearLog(device);
        auto quick = std::make_unique<QuickConnect>(targetOf(device), &settings);
        QSignalSpy finished(quick.get(), &QuickConnect::finished);
        quick->start();
        QTRY_VERIFY_WITH_TIMEOUT(quick->window(), 10000);
        QCOMPARE(quick->window()->windowTitle(), title);
        QVERIFY(quick->window()->isVisible());
        QCOMPARE(quick->window()->windowModality(), Qt::ApplicationModal);
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(device).contains("SET FILE_CLOSE"), 10000);
        const QStringList log = withoutStatus(harness->requestLog(device));
        // The device is asked what it is, then read as on every connection of a window.
        QCOMPARE(log.mid(0, 4),
                 QStringList({"GET VERSION", "GET DESCRIPTOR desc_SerialNumber", "GET VERSION",
                              "SET FILE_RESET"}));
        QVERIFY(finished.isEmpty());

        quick->window()->close();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().at(0).toInt(), int(QuickConnect::Closed));
        QCOMPARE(QDir(work.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
        QCOMPARE(connectByNameWarnings(), QStringList());
    }

    // Without a project the console's buttons are unknown: writing them would replace the
    // console's key file with an empty one, so the command is not offered, and nothing of
    // it reaches the device.
    void consoleButtonsAreNotWrittenWithoutAProject()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        QTemporaryDir beside;
        QSettings settings(beside.filePath("settings.ini"), QSettings::IniFormat);
        SimCommandDevice *command = harness->command(console);
        harness->run([command] { command->files.store("0:\\keys\\key_cfg.bin", "the keys"); });
        auto quick = std::make_unique<QuickConnect>(targetOf(console), &settings);
        quick->start();
        QTRY_VERIFY_WITH_TIMEOUT(quick->window(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(console).contains("SET FILE_CLOSE"), 10000);
        auto *write = quick->window()->findChild<QPushButton *>("pushButtonWriteKeys");
        QVERIFY(write);
        QVERIFY(!write->isEnabled());
        harness->clearLog(console);
        write->click();
        // The window's next status poll comes after anything the click could have sent.
        QTRY_VERIFY_WITH_TIMEOUT(!harness->requestLog(console).isEmpty(), 5000);
        QVERIFY(harness->requestLog(console).filter("FILE_CREATE").isEmpty());
        QByteArray kept;
        harness->run([&] { kept = command->files.file("0:\\keys\\key_cfg.bin"); });
        QCOMPARE(kept, QByteArray("the keys"));
        quick->window()->close();
    }

    // --firmware: the firmware update window of whatever answers, also of a device whose
    // settings window this build does not have; a device running its bootloader gets it
    // without --firmware.
    void opensTheFirmwareWindow_data()
    {
        QTest::addColumn<bool>("bootloader");
        QTest::newRow("--firmware") << false;
        QTest::newRow("bootloader") << true;
    }

    void opensTheFirmwareWindow()
    {
        QFETCH(bool, bootloader);
        QTemporaryDir beside;
        QSettings settings(beside.filePath("settings.ini"), QSettings::IniFormat);
        settings.setValue("paths/firmwarefolder", beside.filePath("firmware"));
        auto quick = std::make_unique<QuickConnect>(targetOf(bootloader ? boot : unit), &settings);
        quick->setFirmware(!bootloader);
        quick->start();
        QTRY_VERIFY_WITH_TIMEOUT(quick->window(), 10000);
        auto *window = qobject_cast<FirmwareUpdateWindow *>(quick->window());
        QVERIFY(window);
        if (!bootloader) {
            QCOMPARE(window->projectDevice()->type, int(DeviceType::Norda4200));
            QCOMPARE(window->projectDevice()->serial, 9103u);
        }
        QTRY_VERIFY_WITH_TIMEOUT(window->isIdentified(), 10000);
        window->close();
    }

    // Nobody answers at the address: the connection ends with its code and why, no window.
    void ends()
    {
        QuickConnect::Target parsed;
        QVERIFY(QuickConnect::parse(
            QStringLiteral("tcp://127.81.4.9:%1").arg(TestUtil::freePort("127.81.4.9")), &parsed,
            nullptr));
        QuickConnect quick(parsed, nullptr);
        quick.setTimeout(1500);
        QSignalSpy finished(&quick, &QuickConnect::finished);
        quick.start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.first().at(0).toInt(), int(QuickConnect::NoDevice));
        QVERIFY2(finished.first().at(1).toString().contains("no device answered at"),
                 qPrintable(finished.first().at(1).toString()));
        QVERIFY(!quick.window());
    }

    // The program itself: the window opens for the device, reads it, and the program ends
    // on SIGTERM as on a closed window; its working folder stays empty.
    void program()
    {
        const QString console = QStringLiteral(NORDA_BINARY_DIR "/app/norda-console");
        QVERIFY2(QFileInfo::exists(console), "norda-console is not built");
        QTemporaryDir installed;
        QTemporaryDir working;
        QVERIFY(QFile::copy(console, installed.filePath("norda-console")));
        harness->clearLog(horn);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(working.path());
        process.start(
            installed.filePath("norda-console"),
            {"--connect", QStringLiteral("tcp://127.81.4.2:%1").arg(harness->tcpPort(horn))});
        QVERIFY(process.waitForStarted(10000));
        QString out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(process.readAllStandardOutput());
                return out.contains(
                    "Quick connection: Оповещатель/Громкоговоритель NORDA исп.IP №9101");
            },
            20000));
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(horn).contains("SET FILE_CLOSE"), 20000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QDir(working.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());

        // A target that is not one is refused before anything is done.
        QProcess refused;
        refused.setProcessEnvironment(environment);
        refused.setWorkingDirectory(working.path());
        refused.start(installed.filePath("norda-console"), {"--connect", "tcp://127.1"});
        QVERIFY(refused.waitForFinished(20000));
        QCOMPARE(refused.exitCode(), int(QuickConnect::BadTarget));
        QVERIFY(
            QString::fromUtf8(refused.readAllStandardError()).contains("--connect tcp://127.1"));
    }

private:
    QuickConnect::Target targetOf(SimDevice *device) const
    {
        QuickConnect::Target target;
        if (!QuickConnect::parse(QStringLiteral("tcp://%1:%2")
                                     .arg(device->address.toString())
                                     .arg(harness->tcpPort(device)),
                                 &target, nullptr))
            qWarning("no target");
        return target;
    }

    std::unique_ptr<SimHarness> harness;
    SimDevice *horn = nullptr;
    SimDevice *console = nullptr;
    SimDevice *unit = nullptr;
    SimDevice *boot = nullptr;
};

NORDA_GUI_TEST_MAIN(TestQuickConnect)
#include "tst_quickconnect.moc"
