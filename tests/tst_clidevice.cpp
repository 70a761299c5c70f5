#include "jobs/projectuploadplan.h"
#include "link/screenfont.h"
#include "link/screenrenderer.h"
#include "link/unitscreen.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace TestUtil;

namespace {

const QStringList textLines = {QStringLiteral("ПОЖАР! Этаж 3"), QStringLiteral("Эвакуация"),
                               QStringLiteral("ЛО1-ЛО8: норма"), QStringLiteral("12:30 07.12.26")};

// Dots along both diagonals of the screen.
QByteArray diagonals()
{
    UnitScreen screen = UnitScreen::blank();
    for (int column = 0; column < UnitScreen::columns; ++column) {
        screen.setDot(column, column / 4, true);
        screen.setDot(column, 31 - column / 4, true);
    }
    return screen.bytes();
}

struct PictureRow {
    const char *name;
    const char *unit;
    UnitScreen screen;
};

} // namespace

Q_DECLARE_METATYPE(PictureRow)

class TestCliDevice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        const QString registry = dir.filePath("ports");
        QVERIFY(QDir().mkpath(registry));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("NORDA_VIRTUAL_PORTS", registry);
        environment.insert("NORDA_VIRTUAL_PORTS_ONLY", "1");
        // Journal records are printed in local time; the expected texts are UTC ones.
        environment.insert("TZ", "UTC");
        simulator.setProcessEnvironment(environment);
        // Central units 2100 to 2102 keep journals: four slots wrapped and read from a file,
        // none, and one that answers another index. Units 2201 to 2203 show text lines, the
        // diagonals from a hexadecimal file (broken into lines) and 511 bytes; 2204 refuses
        // its screen. Loudspeakers 1010 to 1012 answer file reads with blocks that lose 100
        // bytes, carry 100 bytes more than asked, or hold a NUL byte.
        QVERIFY(writeFile(dir.filePath("records.txt"),
                          "# six records, oldest first\n"
                          "00F15365C00000\n3CF15365810000\n"
                          "78F15365CA0082\nB4F15365C50700\n\n"
                          "F0F15365080000\n2CF253654C0010\n"));
        const QByteArray hex = diagonals().toHex();
        QVERIFY(writeFile(dir.filePath("diagonals.hex"),
                          hex.left(300) + "\n" + hex.mid(300, 400) + "\r\n" + hex.mid(700) + "\n"));
        QVERIFY(writeFile(dir.filePath("short.bin"), diagonals().left(511)));
        simulator.setProcessChannelMode(QProcess::SeparateChannels);
        simulator.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                        {"--device",       "horn:1001@127.77.0.2",
                         "--device",       "tovik2:2002@127.77.0.3",
                         "--device",       "media:3003@127.77.0.4",
                         "--device",       "tovik2:2010@127.77.0.6",
                         "--device",       "tovik2:2011@127.77.0.7",
                         "--command-port", "0",
                         "--usb",          "2002=1209:0001",
                         "--fault",        "3003:fail=-1:SET FILE_CREATE",
                         "--fault",        "2011:fail=-1:SET FILE_CREATE",
                         "--request-log",  dir.filePath("requests"),
                         "--device",       "tovik2:2100@127.77.3.10",
                         "--device",       "tovik2:2101@127.77.3.11",
                         "--device",       "tovik2:2102@127.77.3.12",
                         "--device",       "horn:2103@127.77.3.13",
                         "--journal",      "2100:capacity=4,file=" + dir.filePath("records.txt"),
                         "--journal",      "2101:records=0",
                         "--journal",      "2102:records=3,wrong-index=1",
                         "--device",       "tovik2:2201@127.77.4.2",
                         "--device",       "tovik2:2202@127.77.4.3",
                         "--device",       "tovik2:2203@127.77.4.4",
                         "--device",       "tovik2:2204@127.77.4.5",
                         "--screen-text",  "2201=" + textLines.join('|'),
                         "--screen-file",  "2202=" + dir.filePath("diagonals.hex"),
                         "--screen-file",  "2203=" + dir.filePath("short.bin"),
                         "--fault",        "2204:fail=-1:GET SCREEN",
                         "--device",       "horn:1010@127.77.0.10",
                         "--device",       "horn:1011@127.77.0.11",
                         "--device",       "horn:1012@127.77.0.12",
                         "--fault",        "1010:short-block=100",
                         "--fault",        "1011:long-block=100",
                         "--fault",        "1012:nul=-1:GET FILE_READ"});
        QByteArray output;
        QList<TestUtil::SimEndpoint> started;
        QVERIFY2(TestUtil::waitForSimulator(simulator, &started, &output), output.constData());
        // The first device of each type, and every device by serial number.
        QCOMPARE(started.size(), 16);
        for (const TestUtil::SimEndpoint &device : qAsConst(started)) {
            if (!endpoints.contains(device.key))
                endpoints.insert(device.key, device.address);
            endpoints.insert(device.serial, device.address);
        }
        writeProjects();
        QVERIFY(output.contains("usb tovik2:2002 /dev/pts/"));

        // Local files that no upload or flash may read.
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        for (const auto &sparse :
             {qMakePair(QString("huge.bin"), qint64(256) * 1024 * 1024 + 1),
              qMakePair(QString("huge.norda"), qint64(16 + 1024 * 1024 + 1))}) {
            QFile file(dir.filePath(sparse.first));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(firmwareFile(0x08000000, {}, 1024 * 1024)) == 16);
            QVERIFY(file.resize(sparse.second));
        }
        QVERIFY(
            writeFile(dir.filePath("wrap.norda"), firmwareFile(0xffffff00u, randomBytes(0x200))));
        QVERIFY(writeFile(dir.filePath("empty.norda"), firmwareFile(0x08000000, {})));
        QVERIFY(writeFile(dir.filePath("misaligned.norda"),
                          firmwareFile(0x08001000, randomBytes(0x200))));
        QVERIFY(
            writeFile(dir.filePath("long.norda"), firmwareFile(0x080f0000, randomBytes(0x10100))));
    }

    void cleanupTestCase()
    {
        simulator.terminate();
        QVERIFY(simulator.waitForFinished(10000));
        // The simulator took its registry entry away when it ended.
        QVERIFY(QDir(dir.filePath("ports")).entryList(QDir::Files).isEmpty());
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");

        QTest::newRow("version over tcp")
            << QStringList {"--tcp", "%horn%", "version"}
            << QString::fromUtf8(
                   "horn 1.0.0\ntype 7 \"Оповещатель/Громкоговоритель NORDA исп.IP\"\n");
        QTest::newRow("version over usb")
            << QStringList {"--usb", "1209:0001", "version"}
            << QString::fromUtf8("tovik2 1.0.0\ntype 1 \"Блок NORDA-4100/4101\"\n");
        QTest::newRow("get") << QStringList {"--tcp", "%horn%", "get", "SerialNumber"} << "1001\n";
        QTest::newRow("get indexed over usb")
            << QStringList {"--usb", "1209:0001", "get", "LoCtrlEnable[2]"}
            << QString::fromUtf8("да\n");
        QTest::newRow("read") << QStringList {"--tcp",        "%tovik2%",     "read",
                                              "SerialNumber", "desc_NetMask", "DevRole"}
                              << QString::fromUtf8(
                                     "SerialNumber = 2002\nNetMask = 255.0.0.0\nDevRole = ЦБ\n");
        QTest::newRow("ls") << QStringList {"--tcp", "%horn%", "ls", "0:\\audio"}
                            << "/custom\ngong.wav\t1024\nsiren.wav\t2048\n";
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        const CliRun run = cli(args);
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, out);
        QCOMPARE(run.err, QString());
    }

    void writeThenRead()
    {
        CliRun run = cli({"--tcp", "%horn%", "set", "MaxVolume", "33"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QString());
        run = cli({"--tcp", "%horn%", "get", "MaxVolume"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, "33\n");
    }

    void filesOverUsb()
    {
        const QByteArray data = randomBytes(3000);
        const QString local = dir.filePath("sound.bin");
        const QString back = dir.filePath("back.bin");
        QVERIFY(writeFile(local, data));

        CliRun run =
            cli({"--usb", "1209:0001", "--progress", "upload", local, "0:\\audio\\sound.bin"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, "uploaded 3000 bytes to 0:\\audio\\sound.bin\n");
        QVERIFY(run.err.contains("upload   [##############################] 100%"));

        run = cli({"--usb", "1209:0001", "ls", "0:\\audio"});
        QVERIFY(run.out.split(QLatin1Char('\n')).contains("sound.bin\t3000"));

        run = cli({"--usb", "1209:0001", "download", "0:\\audio\\sound.bin", back});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringLiteral("downloaded 3000 bytes to %1\n").arg(back));
        QCOMPARE(readFile(back), data);

        run = cli({"--usb", "1209:0001", "rm", "0:\\audio\\sound.bin"});
        QCOMPARE(run.code, 0);
        run = cli({"--usb", "1209:0001", "rm", "0:\\audio\\sound.bin"});
        QCOMPARE(run.code, 4);
        QCOMPARE(run.err,
                 "norda-cli: the device did not delete 0:\\audio\\sound.bin: the device answered "
                 "ERROR\n");
    }

    // Over USB and every failing stage: the job tests.
    void flash()
    {
        const QStringList target {"--tcp", "%horn%"};
        const QString file = dir.filePath("image.norda");
        QVERIFY(writeFile(file, firmwareFile(0x08000000, randomBytes(0x6000 + 0x40))));
        const CliRun run = cli(target + QStringList {"--progress", "flash", file});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, "flashed 24640 bytes at 0x8000000; the device restarts\n");
        for (const char *stage : {"erase", "write", "verify"})
            QVERIFY2(run.err.contains(QStringLiteral("%1 [").arg(QLatin1String(stage), -8)),
                     qPrintable(run.err));
        // The device comes back in its firmware.
        const CliRun after = cli(target + QStringList {"version"});
        QCOMPARE(after.code, 0);
        QVERIFY(after.out.startsWith("horn "));
    }

    void failures_data()
    {
        const QString readme = NORDA_SOURCE_DIR "/README.md";
        const CliFailure rows[] = {
            // message: the last line of standard error
            // clang-format off
            // The refused link is reopened every second; the wait still ends in time.
            {"nothing at the address", {"--tcp", "127.77.0.99:1", "--timeout", "1.2", "version"}, 2, "no device answered at 127.77.0.99:1"},
            {"no such usb device", {"--usb", "1209:0fff", "--timeout", "0.3", "version"}, 2, "no device answered at a USB port with ids 1209:0fff"},
            {"unknown descriptor", {"--tcp", "%horn%", "get", "Nothing"}, 4, "reading Nothing failed: the device answered ERROR"},
            {"refused write", {"--tcp", "%horn%", "set", "SerialNumber", "abc"}, 4, "the device refused SerialNumber = abc"},
            {"one of a list fails", {"--tcp", "%horn%", "read", "SerialNumber", "Nothing"}, 4, "1 of 2 reads failed"},
            {"file creation refused", {"--tcp", "%media%", "upload", readme, "0:\\r.md"}, 4, "the device refused to create 0:\\r.md"},
            {"missing remote file", {"--tcp", "%horn%", "download", "0:\\none.bin", "%DIR%/none.bin"}, 4, "the device refused to open 0:\\none.bin"},
            // The folder lists 2048 bytes; every block loses 100 of its 512.
            {"download shorter than listed", {"--tcp", "%1010%", "download", "0:\\audio\\siren.wav", "%DIR%/short.wav"}, 4, "1648 bytes of 0:\\audio\\siren.wav came from the device, but its folder lists 2048 bytes"},
            {"block longer than asked", {"--tcp", "%1011%", "download", "0:\\audio\\siren.wav", "%DIR%/long.wav"}, 4, "reading 0:\\audio\\siren.wav from the device failed after 0 bytes"},
            {"block with a NUL byte", {"--tcp", "%1012%", "download", "0:\\audio\\siren.wav", "%DIR%/nul.wav"}, 4, "reading 0:\\audio\\siren.wav from the device failed after 0 bytes"},
            {"missing local file", {"--tcp", "%horn%", "upload", "/nonexistent/x", "0:\\x"}, 2, "cannot open /nonexistent/x"},
            {"not a firmware image", {"--tcp", "%horn%", "flash", readme}, 3, readme + " is not a firmware image"},
            // Refused before a byte is read: neither blocks nor fills memory.
            {"upload of a device node", {"--tcp", "%horn%", "upload", "/dev/zero", "0:\\z"}, 2, "/dev/zero is not a regular file"},
            {"upload of a fifo", {"--tcp", "%horn%", "upload", "%DIR%/fifo", "0:\\z"}, 2, "%DIR%/fifo is not a regular file"},
            {"upload of a folder", {"--tcp", "%horn%", "upload", "%DIR%", "0:\\z"}, 2, "%DIR% is not a regular file"},
            {"upload over 256 MiB", {"--tcp", "%horn%", "upload", "%DIR%/huge.bin", "0:\\z"}, 3, "%DIR%/huge.bin is too large for a device (268435456 bytes at most)"},
            {"flash of a fifo", {"--tcp", "%horn%", "flash", "%DIR%/fifo"}, 2, "%DIR%/fifo is not a regular file"},
            {"image larger than the flash", {"--tcp", "%horn%", "flash", "%DIR%/huge.norda"}, 3, "%DIR%/huge.norda is too large for a firmware image (1048592 bytes at most)"},
            {"image past the address space", {"--tcp", "%horn%", "flash", "%DIR%/wrap.norda"}, 3, "%DIR%/wrap.norda names an area beyond the end of the address space"},
            {"empty image", {"--tcp", "%horn%", "flash", "%DIR%/empty.norda"}, 3, "%DIR%/empty.norda: the firmware image is empty"},
            {"image not at a sector's start", {"--tcp", "%horn%", "flash", "%DIR%/misaligned.norda"}, 3, "%DIR%/misaligned.norda: the firmware image starts at 0x8001000, not where an erase unit of the device's flash starts"},
            {"image past the flash", {"--tcp", "%horn%", "flash", "%DIR%/long.norda"}, 3, "%DIR%/long.norda: the firmware image (65792 bytes at 0x80f0000) runs past the end of the flash at 0x8100000"},
            {"project file missing", {"--tcp", "%2010%", "write-project", "%DIR%/none.mpj"}, 2, "cannot open project file %DIR%/none.mpj: no such file"},
            {"project with two consoles at one address", {"--tcp", "%2010%", "write-project", "%DIR%/clash.mpj"}, 3, "the plan has 1 error(s); nothing was written"},
            {"unit not in the project", {"--tcp", "%horn%", "write-project", "%DIR%/units.mpj"}, 3, "the project has no central unit with serial number 1001 (the device that answers)"},
            {"a step refused", {"--tcp", "%2011%", "write-project", "%DIR%/units.mpj"}, 4, "step 2 of 4 failed (Файл назначений пульта №5001): the device refused to create 0:\\links\\5001.lnk; restored 0:\\links\\5001.lnk"},
            {"project with two consoles of one serial number", {"--tcp", "%2010%", "write-project", "%DIR%/twins.mpj", "--dry-run"}, 3, "the plan has 1 error(s); nothing was written"},
            {"project with the unit at address 12", {"--tcp", "%2010%", "write-project", "%DIR%/bus.mpj", "--dry-run"}, 3, "the plan has 3 error(s); nothing was written"},
            {"no command", {}, 1, ""},
            {"no device named", {"version"}, 1, "say which device: --tcp HOST[:PORT] or --usb [VID:PID]"},
            {"unknown command", {"--tcp", "%horn%", "frobnicate"}, 1, "unknown device command 'frobnicate'"},
            {"wrong number of arguments", {"--tcp", "%horn%", "get"}, 1, "wrong number of arguments"},
            {"bad port", {"--tcp", "127.77.0.2:99999", "version"}, 1, "bad port in '127.77.0.2:99999'"},
            {"screen without a file", {"--tcp", "%2201%", "screen"}, 1, "wrong number of arguments"},
            // clang-format on
        };
        addRows(rows);
    }

    void failures()
    {
        QFETCH(CliFailure, row);
        QElapsedTimer clock;
        clock.start();
        const CliRun run = cli(row.args);
        // None of them waits for more than the link.
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.code, row.code);
        if (!row.message.isEmpty()) {
            const QStringList lines = run.err.trimmed().split(QLatin1Char('\n'));
            QCOMPARE(lines.last(), "norda-cli: " + expand({row.message}).first());
        }
    }

    // flash-all: every loudspeaker of a project, two at a time; one refuses its bootloader,
    // which stops neither the others nor the summary.
    void flashAll()
    {
        const quint16 port = freePort("127.77.2.2");
        QVERIFY(port != 0);
        QProcess devices;
        devices.setProcessEnvironment(simulator.processEnvironment());
        devices.start(QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
                      {"--device", "horn:1201@127.77.2.2", "--device", "horn:1202@127.77.2.3",
                       "--device", "horn:1203@127.77.2.4", "--device", "media:1204@127.77.2.5",
                       "--command-port", QString::number(port), "--fault",
                       "1202:fail=-1:SET BOOT"});
        QList<SimEndpoint> announced;
        QByteArray output;
        QVERIFY2(waitForSimulator(devices, &announced, &output), output.constData());
        QVERIFY(writeFile(dir.filePath("fleet.mpj"), R"({ "name": "fleet", "id_obj": 4, "nodes": [
  { "nodetype": "device", "id_obj": 1, "type": "horn", "serial": 1201, "ip_enabled": true,
    "ip_addr": "127.77.2.2" },
  { "nodetype": "device", "id_obj": 2, "type": "horn", "serial": 1202, "ip_enabled": true,
    "ip_addr": "127.77.2.3" },
  { "nodetype": "device", "id_obj": 3, "type": "horn", "serial": 1203, "ip_enabled": true,
    "ip_addr": "127.77.2.4" },
  { "nodetype": "device", "id_obj": 4, "type": "media", "serial": 1204, "ip_enabled": true,
    "ip_addr": "127.77.2.5" } ] })"));
        const QString image = dir.filePath("fleet.norda");
        QVERIFY(writeFile(image, firmwareFile(0x08000000, randomBytes(0x1000))));
        const CliRun run = cli({"flash-all", dir.filePath("fleet.mpj"), image, "--type", "horn",
                                "--parallel", "2", "--command-port", QString::number(port)});
        QCOMPARE(run.code, 4);
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(0), "serial\taddress\tresult");
        QCOMPARE(lines.at(1), "1201\t127.77.2.2\tupdated");
        QVERIFY2(lines.at(2).startsWith("1202\t127.77.2.3\tfailed: "), qPrintable(lines.at(2)));
        QCOMPARE(lines.at(3), "1203\t127.77.2.4\tupdated");
        QCOMPARE(lines.at(4), "2 updated, 1 failed");
        // The media converter was not of the type and was not asked.
        QVERIFY(!run.err.contains("1204"));

        // An image at a console page that starts no loudspeaker sector is refused for the
        // loudspeakers before any of them is asked.
        const QString unfit = dir.filePath("unfit.norda");
        QVERIFY(writeFile(unfit, firmwareFile(0x08000400, randomBytes(0x100))));
        const CliRun refused = cli({"flash-all", dir.filePath("fleet.mpj"), unfit, "--type", "horn",
                                    "--command-port", QString::number(port)});
        QCOMPARE(refused.code, 3);
        QVERIFY2(!refused.err.contains("updating"), qPrintable(refused.err));

        QCOMPARE(cli({"flash-all", dir.filePath("fleet.mpj"), image, "--group", "none",
                      "--command-port", QString::number(port)})
                     .code,
                 2);
        QCOMPARE(cli({"flash-all", dir.filePath("fleet.mpj"), image, "--parallel", "0"}).code, 1);
        devices.kill();
        QVERIFY(devices.waitForFinished(10000));
    }

    void uploadCutByALostLink()
    {
        // The device goes away in the middle of an upload: the blocks fail because the link
        // is gone, and that is what the tool says.
        QProcess device;
        device.setProcessEnvironment(simulator.processEnvironment());
        device.start(
            QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim"),
            {"--device", "horn:1009@127.77.0.9", "--command-port", "0", "--fault", "delay=5"});
        QList<SimEndpoint> announced;
        QVERIFY(waitForSimulator(device, &announced));
        QCOMPARE(announced.size(), 1);
        const QString endpoint = announced.first().address;
        const QString local = dir.filePath("long.bin");
        QVERIFY(writeFile(local, randomBytes(512 * 200)));

        QProcess tool;
        tool.setReadChannel(QProcess::StandardError);
        tool.start(QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli"),
                   {"device", "--timeout", "30", "--tcp", endpoint, "--progress", "upload", local,
                    "0:\\long.bin"});
        QByteArray progress;
        static const QRegularExpression under(" [1-9]\\d?%");
        while (!under.match(QString::fromLatin1(progress)).hasMatch()) {
            QVERIFY2(tool.waitForReadyRead(20000), progress.constData());
            progress += tool.readAllStandardError();
        }
        device.kill();
        QVERIFY(device.waitForFinished(10000));
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitCode(), 4);
        const QStringList lines =
            QString::fromUtf8(progress + tool.readAllStandardError()).trimmed().split('\n');
        static const QRegularExpression lost(
            "^norda-cli: the link to the device was lost after \\d+ bytes$");
        QVERIFY2(lost.match(lines.last()).hasMatch(), qPrintable(lines.last()));
    }

    // --dry-run prints the plan the upload window shows, one step a line, and writes
    // nothing; without it the same plan is written.
    void writeProject()
    {
        ProjectModel project(ProjectModel::Journals::None);
        QCOMPARE(project.load(dir.filePath("units.mpj")), 0);
        const ProjectDevice *unit = project.findDeviceBySerial(2010);
        QVERIFY(unit);
        const QStringList lines = ProjectUploadPlan::consoles(unit).lines();
        QCOMPARE(lines.size(), 4);

        CliRun run = cli({"--tcp", "%2010%", "write-project", "%DIR%/units.mpj", "--dry-run"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out,
                 QString::fromUtf8("central unit 2010 (tovik2) in group \"Корпус\": 4 steps\n") +
                     lines.join('\n') + "\ndry run: nothing was written\n");
        QVERIFY(run.out.contains(QString::fromUtf8("Выключение пульта №5001 по адресу 2")));
        QVERIFY(sentTo("2010").filter(QRegularExpression("^SET ")).isEmpty());

        run = cli({"--tcp", "%2010%", "--progress", "write-project", "%DIR%/units.mpj"});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QVERIFY(run.out.endsWith("wrote 4 steps into central unit 2010\n"));
        QVERIFY(run.err.contains("write    [##############################] 100%"));
        QVERIFY(sentTo("2010").contains("SET DESCRIPTOR desc_Rs485PultEnable[1] 1"));
        run = cli({"--tcp", "%2010%", "read", "Rs485PultEnable[1]", "Rs485PultSerial[1]"});
        QCOMPARE(run.out,
                 QString::fromUtf8("Rs485PultEnable[1] = да\nRs485PultSerial[1] = 5001\n"));
        run = cli({"--tcp", "%2010%", "ls", "0:\\links"});
        QVERIFY2(run.out.startsWith("5001.lnk\t"), qPrintable(run.out));
    }

    void portsListsWhatAnswers()
    {
        const CliRun run = cli({"ports"});
        QCOMPARE(run.code, 0);
        static const QRegularExpression line(QString::fromUtf8(
            "^tovik2-2002 /dev/pts/\\d+ 1209:0001: tovik2 1.0.0 serial 2002 \"Блок "
            "NORDA-4100/4101\"$"));
        QVERIFY2(line.match(run.out.trimmed()).hasMatch(), qPrintable(run.out));
    }

    // The unit's event journal, oldest record first.
    void journal_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::newRow("wrapped, oldest first")
            << QStringList {"--tcp", "%2100%", "journal"} << 0
            << QString::fromUtf8("22:15:20 14.11.2023\tнеисправность\tИзменение состояния линий: "
                                 "Короткое замыкание ЛО2, ЛО8\n"
                                 "22:16:20 14.11.2023\tнеисправность\tОшибка связи с пультом №7\n"
                                 "22:17:20 14.11.2023\tсобытие\tСБРОС СОСТОЯНИЯ\n"
                                 "22:18:20 14.11.2023\tсобытие\tИзменение состояния линий: "
                                 "выход за пределы ЛО5\n");
        QTest::newRow("empty") << QStringList {"--tcp", "%2101%", "journal"} << 0 << QString();
        QTest::newRow("answer for another index")
            << QStringList {"--tcp", "%2102%", "journal"} << 4 << QString();
        QTest::newRow("not a central unit")
            << QStringList {"--tcp", "%2103%", "journal"} << 4 << QString();
        QTest::newRow("nobody there")
            << QStringList {"--timeout", "1", "--tcp", "127.77.3.99:1", "journal"} << 2
            << QString();
        QTest::newRow("unknown argument")
            << QStringList {"--tcp", "%2100%", "journal", "--csv"} << 1 << QString();
    }

    void journal()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        const CliRun run = cli(args);
        QVERIFY2(run.code == code, qPrintable(run.err));
        QCOMPARE(run.out, out);
        QCOMPARE(run.err.isEmpty(), code == 0);
    }

    // --xlsx writes what it prints as the window exports it, read back by an independent
    // reader.
    void journalSpreadsheet()
    {
        const QString path = dir.filePath("journal.xlsx");
        const CliRun run = cli({"--tcp", "%2100%", "journal", "--xlsx", path});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out.count('\n'), 4);
        QProcess python;
        python.start("/usr/bin/python3",
                     {QStringLiteral(NORDA_SOURCE_DIR "/tests/xlsxdump.py"), path});
        QVERIFY(python.waitForFinished(60000));
        QCOMPARE(python.exitCode(), 0);
        const QJsonObject sheet = QJsonDocument::fromJson(python.readAllStandardOutput())
                                      .object()
                                      .value("sheets")
                                      .toArray()
                                      .first()
                                      .toObject();
        QMap<QString, QString> cells;
        for (const QJsonValue &cell : sheet.value("cells").toArray())
            cells.insert(cell.toObject().value("ref").toString(),
                         cell.toObject().value("value").toVariant().toString());
        QCOMPARE(cells.value("A1"), QString::fromUtf8("Блок NORDA-4100/4101. Журнал событий."));
        QCOMPARE(cells.value("A2"), QString::fromUtf8("Серийный номер устройства:2100."));
        QVERIFY(cells.value("A3").startsWith(QString::fromUtf8("Время создания файла:")));
        QCOMPARE(cells.value("C5"), QString::fromUtf8("Описание события"));
        QCOMPARE(cells.value("A6"), QStringLiteral("22:15:20 14.11.2023"));
        QCOMPARE(cells.value("B6"), QString::fromUtf8("неисправность"));
        QCOMPARE(cells.value("C9"),
                 QString::fromUtf8("Изменение состояния линий: выход за пределы ЛО5"));
        QCOMPARE(sheet.value("maxRow").toInt(), 9);
    }

    void screenPictures_data()
    {
        const PictureRow rows[] = {
            {"text lines", "2201", ScreenFont::preview(textLines)},
            {"hexadecimal file", "2202", UnitScreen(diagonals())},
        };
        addRows(rows);
    }

    // The PNG is the frame's 1040 x 272 picture of the unit's screen, pixel for pixel.
    void screenPictures()
    {
        QFETCH(PictureRow, row);
        const QString out = dir.filePath(QStringLiteral("%1.png").arg(row.unit));
        const CliRun run = cli({"--tcp", endpoints.value(row.unit), "screen", out});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("screen saved to %1\n").arg(out));
        QImage picture;
        QVERIFY(picture.load(out, "PNG"));
        QCOMPARE(picture.size(), QSize(1040, 272));
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32), ScreenRenderer::render(row.screen));
        // Not a blank picture: the screen has dots.
        QVERIFY(row.screen.bytes().count('\0') < UnitScreen::bufferBytes);
    }

    void screenFailures_data()
    {
        const CliFailure rows[] = {
            // clang-format off
            {"511 bytes", {"2203", "%DIR%/short.png"}, 4, "the screen answer is not 512 bytes in hexadecimal (1022 characters)"},
            {"refused", {"2204", "%DIR%/refused.png"}, 4, "reading the screen failed: the device answered ERROR"},
            {"a device without a screen", {"2103", "%DIR%/horn.png"}, 4, "reading the screen failed: the device answered ERROR"},
            {"picture cannot be written", {"2201", "%DIR%/none/x.png"}, 2, "cannot write %DIR%/none/x.png: "},
            // clang-format on
        };
        addRows(rows);
    }

    // Exit 4 when the unit gave no whole screen, 2 when the picture cannot be written; no
    // picture is left behind either way.
    void screenFailures()
    {
        QFETCH(CliFailure, row);
        const QString out = expand({row.args.at(1)}).first();
        const CliRun run = cli({"--tcp", endpoints.value(row.args.at(0)), "screen", out});
        QCOMPARE(run.code, row.code);
        const QStringList lines = run.err.trimmed().split(QLatin1Char('\n'));
        QVERIFY2(lines.last().startsWith("norda-cli: " + expand({row.message}).first()),
                 qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
        QCOMPARE(run.out, QString());
    }

private:
    // units.mpj: group "Корпус" with central units 2010 and 2011 and console 5001 at
    // RS-485 address 2 whose first button switches line 1 of unit 2010; clash.mpj: the same
    // with a second console at address 2; twins.mpj: with a second console 5001 at address
    // 3; bus.mpj: unit 2010 at address 12 and consoles at 0, 33 and twice at 7.
    void writeProjects()
    {
        for (const char *name : {"units.mpj", "clash.mpj", "twins.mpj", "bus.mpj"}) {
            ProjectModel project(ProjectModel::Journals::None);
            ProjectGroup *group = project.addGroup();
            group->name = QString::fromUtf8("Корпус");
            auto *unit = new ProjectDevice(1, 2010, QString(), true, 0, false, QString(), -1);
            project.addDevice(group, unit);
            project.addDevice(group,
                              new ProjectDevice(1, 2011, QString(), true, 0, false, QString(), -1));
            auto *console = new ProjectDevice(6, 5001, QString(), true, 2, false, QString(), 2);
            project.addDevice(group, console);
            for (InOut *io : console->inouts) {
                if (io->type == InOutType::Button) {
                    io->outlinks.append(OutLink {unit->id_obj, {1}});
                    break;
                }
            }
            if (QLatin1String(name) == QLatin1String("clash.mpj"))
                project.addDevice(
                    group, new ProjectDevice(6, 5002, QString(), true, 2, false, QString(), 2));
            if (QLatin1String(name) == QLatin1String("twins.mpj"))
                project.addDevice(
                    group, new ProjectDevice(6, 5001, QString(), true, 3, false, QString(), 2));
            if (QLatin1String(name) == QLatin1String("bus.mpj")) {
                unit->rs485_addr = 12;
                console->rs485_addr = 0;
                for (const auto &[serial, address] :
                     {std::pair<int, int> {5002, 33}, {5003, 7}, {5004, 7}})
                    project.addDevice(group,
                                      new ProjectDevice(6, serial, QString(), true, address, false,
                                                        QString(), 2));
            }
            QCOMPARE(project.save(dir.filePath(name)), 0);
        }
    }

    // The requests the simulated device with this serial number received.
    QStringList sentTo(const QString &serial)
    {
        QStringList lines;
        for (const QString &line :
             QString::fromUtf8(readFile(dir.filePath("requests"))).split('\n')) {
            const QStringList fields = line.split('\t');
            if (fields.size() == 3 && fields.at(1) == serial)
                lines << fields.at(2);
        }
        return lines;
    }

    CliRun cli(const QStringList &args)
    {
        QStringList full = expand(args);
        // A loaded machine may take a while to bring the link up; rows that test the wait set
        // their own.
        if (!full.contains("--timeout") && !full.isEmpty() &&
            full.first().startsWith(QLatin1String("--")))
            full = QStringList {"--timeout", "30"} + full;
        return runCli(QStringList {"device"} + full, QString(), simulator.processEnvironment());
    }

    QStringList expand(const QStringList &args) const
    {
        QStringList result;
        for (QString arg : args) {
            for (auto it = endpoints.begin(); it != endpoints.end(); ++it)
                arg.replace(QLatin1Char('%') + it.key() + QLatin1Char('%'), it.value());
            arg.replace("%DIR%", dir.path());
            result << arg;
        }
        return result;
    }

    QTemporaryDir dir;
    QProcess simulator;
    QMap<QString, QString> endpoints; // "horn" or "1001" -> "127.77.0.2:40000"
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "tst_clidevice.moc"
