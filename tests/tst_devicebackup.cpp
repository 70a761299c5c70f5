#include "facadelink.h"
#include "jobs/devicebackupjob.h"
#include "jobs/devicerestorejob.h"
#include "link/amodule.h"
#include "link/devicebackup.h"
#include "link/deviceconfigtable.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "simharness.h"
#include "testutil.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace TestUtil;

namespace {

const QString configPath = QStringLiteral("0:\\config.ini");

using Link = FacadeLink;

DeviceJob::Result runJob(DeviceJob &job)
{
    QSignalSpy finished(&job, &DeviceJob::finished);
    job.start();
    if (!finished.wait(30000))
        return {DeviceJob::Status::Failed, 0, -1, QString(), QStringLiteral("no result")};
    return finished.first().at(0).value<DeviceJob::Result>();
}

QStringList writesIn(const QStringList &log)
{
    QStringList writes;
    for (const QString &line : log) {
        if (line.startsWith(QLatin1String("SET DESCRIPTOR")) ||
            line.startsWith(QLatin1String("SET FILE_CREATE")))
            writes << line;
    }
    return writes;
}

struct Device {
    const char *key;
    int type;
    int serial;
    const char *address;
};

const Device devices[] = {
    {"horn", DeviceType::Horn, 1001, "127.97.0.2"},
    {"unit", DeviceType::Tovik2, 2002, "127.97.0.3"},
    {"console", DeviceType::IpPult, 4004, "127.97.0.4"},
    {"media", DeviceType::Media, 3003, "127.97.0.5"},
};

// A value that a conversion writes: the backup holds `read`, the device holds something
// else, and the restore must send `wire`.
struct ConversionRow {
    const char *name;
    const char *device;
    const char *descriptor;
    const char *read;
    const char *other;
    const char *wire;
};

const ConversionRow conversionRows[] = {
    {"gain dB as index", "console", "AmpNomPower", "0.0", "-53.5", "207"},
    {"gain lowest", "console", "AmpNomPower", "-103.5", "0.0", "0"},
    {"speaker dB as index", "console", "SpeakerNomPower", "-6", "3", "9"},
    {"speaker off", "console", "SpeakerNomPower", "откл", "-6", "94"},
    {"role extension unit", "unit", "DevRole", "БР3", "ЦБ", "3"},
    {"role central unit", "unit", "DevRole", "ЦБ", "БР5", "0"},
    {"mode counted from one", "unit", "Mode", "2", "1", "1"},
    {"check interval text", "unit", "TransCheckInterval", "5 мин", "откл", "2"},
    {"console enable yes", "unit", "Rs485PultEnable[4]", "да", "нет", "1"},
    {"extension enable no", "unit", "ExtBlockRs485Enable[8]", "нет", "да", "0"},
    {"bus on", "unit", "Rs485GlobalEnable", "вкл", "откл", "1"},
    {"fire panel line as text", "unit", "PpkCtrlEnable[2]", "да", "нет", "да"},
    {"input control", "unit", "InputCtrlEnable[0]", "да", "нет", "1"},
    {"output polarity open", "unit", "OutputPolarity[1]", "норм.откр.", "норм.закр.", "1"},
    {"output polarity closed", "unit", "OutputPolarity[2]", "норм.закр.", "норм.откр.", "0"},
    {"output assignment", "unit", "OutputAssign05[2]", "+", "-", "1"},
    {"device name", "unit", "DeviceTag", "Зал 2", "Unit 2002", "Зал 2"},
    {"max volume", "horn", "MaxVolume", "64", "80", "64"},
};

// A backup file that is refused, and what the refusal says.
struct BrokenRow {
    const char *name;
    const char *json;
    const char *reason;
};

const BrokenRow brokenRows[] = {
    {"not json", "{\"format\": ", "not JSON"},
    {"array", "[1, 2]", "not a JSON object"},
    {"other format", "{\"format\": \"norda-project\", \"version\": 1}", "not a device backup"},
    {"newer version", "{\"format\": \"norda-device-backup\", \"version\": 2}", "version 2"},
    {"version as text", "{\"format\": \"norda-device-backup\", \"version\": \"1\"}",
     "\"version\" is not a whole number"},
    {"type and code disagree", "{%HEAD%, \"type\": \"horn\", \"typeCode\": 1}", "\"typeCode\" 1"},
    {"serial negative", "{%HEAD%, %TYPE%, \"serial\": -5}", "\"serial\""},
    {"serial fraction", "{%HEAD%, %TYPE%, \"serial\": 1.5}", "\"serial\""},
    {"values not an object", "{%HEAD%, %TYPE%, %IDENT%, \"values\": [], \"files\": {}}",
     "\"values\" is not an object"},
    {"value not a text",
     "{%HEAD%, %TYPE%, %IDENT%, \"values\": {\"MaxVolume\": 80}, \"files\": {}}",
     "value \"MaxVolume\" is not a text"},
    {"value with a line feed",
     "{%HEAD%, %TYPE%, %IDENT%, \"values\": {\"MaxVolume\": \"8\\n0\"}, \"files\": {}}",
     "value \"MaxVolume\""},
    {"bad name", "{%HEAD%, %TYPE%, %IDENT%, \"values\": {\"Max Volume\": \"80\"}, \"files\": {}}",
     "bad descriptor name"},
    {"file outside the configuration",
     "{%HEAD%, %TYPE%, %IDENT%, \"values\": {}, \"files\": {\"0:\\\\audio\\\\a.wav\": \"\"}}",
     "no configuration file"},
    {"bad base64",
     "{%HEAD%, %TYPE%, %IDENT%, \"values\": {}, \"files\": {\"0:\\\\config.ini\": \"@@@\"}}",
     "not valid base64"},
    {"no time", "{%HEAD%, %TYPE%, \"serial\": 1, \"firmware\": \"1.0.0\", \"values\": {}}",
     "\"time\""},
};

// A value the device answers that no restore could write back.
struct UnrestorableRow {
    const char *name;
    QByteArray answer; // to "GET DESCRIPTOR desc_DeviceTag", in Windows-1251
    const char *reason;
};

} // namespace

Q_DECLARE_METATYPE(UnrestorableRow)
Q_DECLARE_METATYPE(ConversionRow)
Q_DECLARE_METATYPE(BrokenRow)

class TestDeviceBackup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        sim = std::make_unique<SimHarness>();
        for (const Device &device : devices) {
            SimDevice *simulated = sim->addDevice(device.type, device.serial, device.address);
            QVERIFY(simulated);
            // A unit of a build that has the device name.
            sim->run([simulated] {
                if (isCentralUnitType(simulated->type))
                    simulated->version = QStringLiteral("1.0.620");
            });
            simulatedOf[device.key] = simulated;
            targets[device.key].reset(SimHarness::tcpTarget(simulated));
            links[device.key] =
                std::make_unique<Link>(targets[device.key].get(), sim->tcpPort(simulated));
            QVERIFY(links[device.key]->waitIdentified());
        }
    }

    void cleanupTestCase()
    {
        links.clear();
        sim.reset();
    }

    // backup -> change values and the configuration file on the device -> restore -> the
    // device holds the backup again; a factory value changed meanwhile stays as it is.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("factory");
        QTest::newRow("loudspeaker")
            << "horn" << QStringList {"MaxVolume=33", "NetMask=255.255.0.0"} << "AmpNomPower=-3.0";
        QTest::newRow("central unit") << "unit"
                                      << QStringList {"Mode=3",
                                                      "DevRole=БР2",
                                                      "Rs485PultEnable[7]=да",
                                                      "PpkCtrlEnable[0]=да",
                                                      "OutputAssign13[0]=+",
                                                      "DeviceTag=Склад",
                                                      "TransCheckInterval=24 ч",
                                                      "Rs485GlobalEnable=вкл"}
                                      << "AudioInGain=150";
        QTest::newRow("console") << "console"
                                 << QStringList {"SignalVolume_2=7", "SpeakerNomPower=откл",
                                                 "OutPort=6000"}
                                 << "MacAddress=02:00:00:00:00:01";
    }

    void roundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, changes);
        QFETCH(QString, factory);
        SimDevice *device = simulatedOf[key];
        const QByteArray config = "[pult_files]\r\nfile_1=0:\\audio\\gong.wav\r\n";
        storeFile(device, configPath, config);

        const DeviceBackup backup = takeBackup(key);
        QCOMPARE(backup.serial, quint32(device->serial));
        QCOMPARE(backup.files.value(configPath), config);
        // The backup as a file and back: what is restored is what was saved.
        DeviceBackup loaded;
        QString error;
        QVERIFY2(DeviceBackup::fromJson(backup.toJson(), &loaded, &error), qPrintable(error));
        QCOMPARE(loaded.values, backup.values);
        QCOMPARE(loaded.files, backup.files);

        const QString factoryName = factory.section('=', 0, 0);
        sim->run([&] {
            for (const QString &change : changes)
                device->descriptors.insert(change.section('=', 0, 0), change.section('=', 1));
            device->descriptors.insert(factoryName, factory.section('=', 1));
        });
        storeFile(device, configPath, "[pult_files]\r\n");
        sim->clearLog(device);

        DeviceRestoreJob job(&links[key]->module, loaded);
        const DeviceJob::Result result = runJob(job);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(job.differences().size(), changes.size() + 1);
        QCOMPARE(writesIn(sim->requestLog(device)).size(), changes.size() + 1);

        const QMap<QString, QString> now = descriptorsOf(device);
        for (const DeviceConfigTable::Value &value :
             DeviceConfigTable::restorable(device->type, buildOf(device)))
            QCOMPARE(now.value(value.name), backup.values.value(value.name));
        QCOMPARE(fileOf(device, configPath), config);
        // Never written back.
        QCOMPARE(now.value(factoryName), factory.section('=', 1));
        sim->run(
            [&] { device->descriptors.insert(factoryName, backup.values.value(factoryName)); });
    }

    void conversionWireText_data() { addRows(conversionRows); }

    void conversionWireText()
    {
        QFETCH(ConversionRow, row);
        SimDevice *device = simulatedOf[row.device];
        DeviceBackup backup = takeBackup(row.device);
        backup.values.insert(QString::fromUtf8(row.descriptor), QString::fromUtf8(row.read));
        sim->run([&] {
            device->descriptors.insert(QString::fromUtf8(row.descriptor),
                                       QString::fromUtf8(row.other));
        });
        sim->clearLog(device);

        DeviceRestoreJob job(&links[row.device]->module, backup);
        const DeviceJob::Result result = runJob(job);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(
            writesIn(sim->requestLog(device)),
            QStringList {QStringLiteral("SET DESCRIPTOR desc_%1 %2")
                             .arg(QString::fromUtf8(row.descriptor), QString::fromUtf8(row.wire))});
        // The device reads back what the backup holds.
        QCOMPARE(descriptorsOf(device).value(QString::fromUtf8(row.descriptor)),
                 QString::fromUtf8(row.read));
    }

    // Reading and comparing only: the differences are there, nothing reaches the device.
    void dryRunWritesNothing()
    {
        SimDevice *device = simulatedOf["unit"];
        const DeviceBackup backup = takeBackup("unit");
        sim->run([&] {
            device->descriptors.insert("Mode", backup.values.value("Mode") == "3" ? "1" : "3");
            device->descriptors.insert("InputCtrlEnable[2]",
                                       backup.values.value("InputCtrlEnable[2]") == "да" ? "нет"
                                                                                         : "да");
        });
        storeFile(device, configPath, "changed");
        sim->clearLog(device);

        DeviceRestoreJob job(&links["unit"]->module, backup);
        job.setDryRun(true);
        const DeviceJob::Result result = runJob(job);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QStringList names;
        for (const DeviceRestoreJob::Difference &diff : job.differences())
            names << diff.name;
        QCOMPARE(names, (QStringList {"Mode", "InputCtrlEnable[2]", configPath}));
        const QString changedMode = descriptorsOf(device).value("Mode");
        QCOMPARE(job.differences().at(0).device, changedMode);
        QCOMPARE(job.differences().at(0).backup, backup.values.value("Mode"));
        QCOMPARE(writesIn(sim->requestLog(device)), QStringList());
        QCOMPARE(descriptorsOf(device).value("Mode"), changedMode);

        // The real run then writes exactly these three.
        sim->clearLog(device);
        DeviceRestoreJob restore(&links["unit"]->module, backup);
        QVERIFY(runJob(restore).ok());
        QCOMPARE(writesIn(sim->requestLog(device)).size(), 3);
    }

    // A backup of another type: refused before anything is read or written.
    void otherTypeRefused()
    {
        const DeviceBackup backup = takeBackup("horn");
        SimDevice *device = simulatedOf["media"];
        sim->clearLog(device);
        DeviceRestoreJob job(&links["media"]->module, backup);
        const DeviceJob::Result result = runJob(job);
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QVERIFY(job.refusedType());
        QVERIFY2(result.message.contains("nothing was written"), qPrintable(result.message));
        QCOMPARE(sim->requestLog(device), QStringList());
    }

    // Another serial number: compared, then refused unless allowed.
    void otherSerial()
    {
        SimDevice *device = simulatedOf["horn"];
        DeviceBackup backup = takeBackup("horn");
        backup.serial = 1999;
        sim->run([&] { device->descriptors.insert("MaxVolume", "12"); });
        sim->clearLog(device);

        DeviceRestoreJob refused(&links["horn"]->module, backup);
        QCOMPARE(runJob(refused).status, DeviceJob::Status::Failed);
        QVERIFY(refused.refusedSerial());
        QVERIFY(refused.otherSerial());
        QCOMPARE(refused.deviceSerial(), quint32(1001));
        QCOMPARE(refused.differences().size(), 1);
        QCOMPARE(writesIn(sim->requestLog(device)), QStringList());

        DeviceRestoreJob allowed(&links["horn"]->module, backup);
        allowed.setAllowOtherSerial(true);
        QVERIFY(runJob(allowed).ok());
        QCOMPARE(writesIn(sim->requestLog(device)),
                 QStringList {"SET DESCRIPTOR desc_MaxVolume " + backup.values.value("MaxVolume")});
    }

    // A descriptor the device fails to answer fails the backup; over the command line no
    // file is left.
    void failedReadFailsBackup()
    {
        SimDevice *device = simulatedOf["horn"];
        sim->setRawAnswer(device, "GET DESCRIPTOR desc_NetMask", "ERROR\r\n", 1);
        DeviceBackupJob job(&links["horn"]->module);
        const DeviceJob::Result result = runJob(job);
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QVERIFY2(result.message.contains("NetMask"), qPrintable(result.message));

        sim->setRawAnswer(device, "GET DESCRIPTOR desc_MaxVolume", "ERROR\r\n", 1);
        const QString out = dir.filePath("failed.json");
        const CliRun run = runCli({"device", "--tcp", endpoint("horn"), "backup", out});
        QCOMPARE(run.code, 4);
        QVERIFY2(run.err.contains("MaxVolume"), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
    }

    void keyFileOfAnotherLengthFailsBackup()
    {
        // The key folder lists the file's length: blocks that lose bytes on the way make a
        // download of another length, which is not the file.
        SimDevice *device = simulatedOf["unit"];
        const QString keyPath = QStringLiteral("0:\\keys\\5001.key");
        storeFile(device, keyPath, QByteArray(1000, 'k'));
        sim->setFault(device, "short-block=10");
        DeviceBackupJob job(&links["unit"]->module);
        const DeviceJob::Result result = runJob(job);
        sim->clearFaults(device);
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { command->files.remove(keyPath); });
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(result.step, int(DeviceBackupJob::ReadFiles));
        QVERIFY2(result.message.contains(keyPath) && result.message.contains("lists 1000 bytes"),
                 qPrintable(result.message));
    }

    // The backup takes only what a restore takes: a value that no request line can carry,
    // or that the restore would refuse to write, fails the backup naming it, and nothing
    // is saved (the restore would otherwise refuse the whole file when it is needed).
    void unrestorableValueFailsBackup_data()
    {
        const UnrestorableRow rows[] = {
            {"name with a carriage return", "\xc7\xe0\xeb\r2\r\nOK\r\n", "line break"},
            {"empty name", "\r\nOK\r\n", "no value that can be written"},
            {"name longer than a backup holds", QByteArray(5000, 'x') + "\r\nOK\r\n",
             "longer than 4096"},
        };
        addRows(rows);
    }

    void unrestorableValueFailsBackup()
    {
        QFETCH(UnrestorableRow, row);
        SimDevice *device = simulatedOf["unit"];
        sim->setRawAnswer(device, "GET DESCRIPTOR desc_DeviceTag", row.answer);
        DeviceBackupJob job(&links["unit"]->module);
        const DeviceJob::Result result = runJob(job);
        sim->clearFaults(device);
        QCOMPARE(result.status, DeviceJob::Status::Failed);
        QCOMPARE(result.step, int(DeviceBackupJob::ReadValues));
        QVERIFY2(result.message.contains("DeviceTag") && result.message.contains(row.reason) &&
                     result.message.contains("nothing was saved"),
                 qPrintable(result.message));
    }

    // The command line names the value with its controls escaped and writes no file.
    void unrestorableValueOnTheCommandLine()
    {
        SimDevice *device = simulatedOf["unit"];
        sim->setRawAnswer(device, "GET DESCRIPTOR desc_DeviceTag", "\xc7\xe0\xeb\r2\r\nOK\r\n");
        const QString out = dir.filePath("unrestorable.json");
        const CliRun run = runCli({"device", "--tcp", endpoint("unit"), "backup", out});
        sim->clearFaults(device);
        QCOMPARE(run.code, 4);
        QVERIFY2(run.err.contains(QString::fromUtf8("DeviceTag \"Зал\\r2\"")), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
    }

    void brokenFileRefused_data() { addRows(brokenRows); }

    void brokenFileRefused()
    {
        QFETCH(BrokenRow, row);
        QString json = QString::fromUtf8(row.json);
        json.replace("%HEAD%", "\"format\": \"norda-device-backup\", \"version\": 1");
        json.replace("%TYPE%", "\"type\": \"horn\", \"typeCode\": 7");
        json.replace("%IDENT%",
                     "\"serial\": 1001, \"firmware\": \"1.0.0\", \"time\": "
                     "\"2026-01-02T03:04:05Z\"");
        DeviceBackup backup;
        QString error;
        QVERIFY(!DeviceBackup::fromJson(json.toUtf8(), &backup, &error));
        QVERIFY2(error.contains(QString::fromUtf8(row.reason)), qPrintable(error));

        // The command line refuses it before the device is asked anything.
        const QString path = dir.filePath("broken.json");
        QVERIFY(writeFile(path, json.toUtf8()));
        sim->clearLog(simulatedOf["horn"]);
        const CliRun run = runCli({"device", "--tcp", endpoint("horn"), "restore", path});
        QCOMPARE(run.code, 3);
        QVERIFY2(run.err.contains(QString::fromUtf8(row.reason)), qPrintable(run.err));
        QCOMPARE(sim->requestLog(simulatedOf["horn"]), QStringList());
    }

    void oversizeFileRefused()
    {
        QByteArray json = "{\"format\": \"norda-device-backup\", \"pad\": \"";
        json += QByteArray(int(DeviceBackup::maxFileSize), 'x') + "\"}";
        DeviceBackup backup;
        QString error;
        QVERIFY(!DeviceBackup::fromJson(json, &backup, &error));
        QVERIFY2(error.contains("larger than"), qPrintable(error));
    }

    // The command line against the simulator: backup, a change, a dry run that prints the
    // difference and writes nothing, the restore, and another serial number refused.
    void commandLine()
    {
        SimDevice *device = simulatedOf["console"];
        const QString path = dir.filePath("console.json");
        CliRun run = runCli({"device", "--tcp", endpoint("console"), "backup", path});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains("of ip_pult 4004"), qPrintable(run.out));
        DeviceBackup saved;
        QString error;
        QVERIFY2(DeviceBackup::load(path, &saved, &error), qPrintable(error));
        QCOMPARE(saved.typeCode, int(DeviceType::IpPult));

        sim->run([&] { device->descriptors.insert("SignalVolume_1", "55"); });
        sim->clearLog(device);
        run = runCli({"device", "--tcp", endpoint("console"), "restore", path, "--dry-run"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out.section('\n', 0, 0),
                 "SignalVolume_1\t55\t" + saved.values.value("SignalVolume_1"));
        QVERIFY(run.out.contains("dry run: nothing was written"));
        QCOMPARE(writesIn(sim->requestLog(device)), QStringList());

        QJsonObject other = QJsonDocument::fromJson(readFile(path)).object();
        other.insert("serial", 4005);
        const QString otherPath = dir.filePath("other.json");
        QVERIFY(writeFile(otherPath, QJsonDocument(other).toJson()));
        run = runCli({"device", "--tcp", endpoint("console"), "restore", otherPath});
        QCOMPARE(run.code, 3);
        QVERIFY2(run.err.contains("--force"), qPrintable(run.err));
        QCOMPARE(writesIn(sim->requestLog(device)), QStringList());

        run = runCli({"device", "--tcp", endpoint("console"), "restore", path});
        QCOMPARE(run.code, 0);
        QCOMPARE(writesIn(sim->requestLog(device)),
                 QStringList {"SET DESCRIPTOR desc_SignalVolume_1 " +
                              saved.values.value("SignalVolume_1")});
        run = runCli({"device", "--tcp", endpoint("console"), "restore", path});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.contains("no differences"), qPrintable(run.out));
    }

private:
    int buildOf(const SimDevice *device)
    {
        int build = 0;
        sim->run([&] { build = device->build(); });
        return build;
    }

    QString endpoint(const QString &key)
    {
        return QStringLiteral("%1:%2")
            .arg(simulatedOf[key]->address.toString())
            .arg(sim->tcpPort(simulatedOf[key]));
    }

    DeviceBackup takeBackup(const QString &key)
    {
        DeviceBackupJob job(&links[key]->module);
        const DeviceJob::Result result = runJob(job);
        [&] { QVERIFY2(result.ok(), qPrintable(result.message)); }();
        return job.backup();
    }

    QMap<QString, QString> descriptorsOf(SimDevice *device)
    {
        QMap<QString, QString> values;
        sim->run([&] { values = device->descriptors; });
        return values;
    }

    void storeFile(SimDevice *device, const QString &path, const QByteArray &data)
    {
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { command->files.store(path, data); });
    }

    QByteArray fileOf(SimDevice *device, const QString &path)
    {
        QByteArray data;
        SimCommandDevice *command = sim->command(device);
        sim->run([&] { data = command->files.file(path); });
        return data;
    }

    QTemporaryDir dir;
    std::unique_ptr<SimHarness> sim;
    std::map<QString, SimDevice *> simulatedOf;
    std::map<QString, std::unique_ptr<ProjectDevice>> targets;
    std::map<QString, std::unique_ptr<Link>> links;
};

QTEST_MAIN(TestDeviceBackup)
#include "tst_devicebackup.moc"
