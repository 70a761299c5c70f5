// The loudspeaker, IP console and media converter windows against simulated devices: what
// they ask on every connection, what they write (byte for byte), what they refuse to write,
// and that a failed answer never becomes a value or a project change.

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simulator.h"

#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

struct SequenceRow {
    const char *name;
    int type;
    QStringList expected;
};

const QStringList hornReads = {"SerialNumber", "AmpNomPower", "IpAddress", "NetMask",
                               "GateWay",      "CommandPort", "MaxVolume"};
const QStringList consoleReads = {"SerialNumber", "IpAddress",      "NetMask",
                                  "GateWay",      "CommandPort",    "BroadcastIP",
                                  "OutPort",      "SignalVolume_1", "SignalVolume_2",
                                  "AmpNomPower",  "SpeakerNomPower"};
const QStringList mediaReads = {"SerialNumber", "AmpNomPower", "IpAddress", "NetMask",
                                "GateWay",      "CommandPort", "MaxVolume", "AudioInGain"};

// A write: the fields filled in (as fill() takes them), the button pressed and the
// descriptors the device must receive ("Name value").
struct WriteRow {
    const char *name;
    int type;
    QStringList fields;
    const char *button;
    QStringList sets;
    bool fullAccess;
    const char *projectAddress; // the project device's address afterwards (null: unchanged)
    int projectSerial; // the project device's serial number afterwards (0: unchanged)
};

// A write refused: before anything is sent (no fault), or by the device (the descriptor
// whose write fails).
struct RefusalRow {
    const char *name;
    int type;
    QStringList fields;
    const char *button;
    QString message;
    const char *refused;
};

} // namespace

Q_DECLARE_METATYPE(SequenceRow)
Q_DECLARE_METATYPE(WriteRow)
Q_DECLARE_METATYPE(RefusalRow)

class TestAudioWindows : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    void firstConnection_data()
    {
        TestUtil::addRows<SequenceRow>({
            {"loudspeaker", DeviceType::Horn, connectionReads(hornReads)},
            {"console", DeviceType::IpPult, connectionReads(consoleReads)},
            {"media converter", DeviceType::Media, connectionReads(mediaReads)},
        });
    }

    // What a window asks on its first connection, in order; the storage label comes from
    // the status answer, the project's serial number is the device's, and only the console
    // shows its audio files.
    void firstConnection()
    {
        QFETCH(SequenceRow, row);
        open(row.type, 1000 + row.type);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        QCOMPARE(withoutStatus(harness->requestLog(rig->sim)), row.expected);
        QCOMPARE(rig->window->windowTitle(),
                 deviceTypeName(row.type) + QStringLiteral(" №%1").arg(1000 + row.type));
        QCOMPARE(rig->window->statusBar()->currentMessage(),
                 QStringLiteral("Подключен ") + deviceTypeName(row.type) +
                     QStringLiteral(" вер. 1.0.0"));
        QTRY_VERIFY(widget<QLabel>(rig->window, "labelSdCardStatus")
                        ->text()
                        .startsWith(QStringLiteral("Флэш-память: ошибок нет, свободно ")));
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditSerialNumber")->text(),
                 QString::number(1000 + row.type));
        QVERIFY(!rig->window->configDiffers());
        // The folder is read (and shown on the console): a folder and two files.
        QTRY_COMPARE(widget<QTableWidget>(rig->window, "tableAudioFiles")->rowCount(), 3);
        auto *tabs = widget<QTabWidget>(rig->window, "tabWidget");
        QCOMPARE(tabs->count(), row.type == DeviceType::IpPult ? 3 : 1);
        QVERIFY(!rig->window->progressDialog()->isVisible());
        QVERIFY(boxes->boxes.isEmpty());
    }

    void writes_data()
    {
        const QStringList address = {"lineEditIpAddr=192.168.1.50", "lineEditNetMask=255.255.255.0",
                                     "lineEditGateWay=192.168.1.1", "lineCmdPort=2323"};
        const QStringList addressSets = {"IpAddress 192.168.1.50", "NetMask 255.255.255.0",
                                         "GateWay 192.168.1.1", "CommandPort 2323"};
        const int horn = DeviceType::Horn, console = DeviceType::IpPult, media = DeviceType::Media;
        // clang-format off
        TestUtil::addRows<WriteRow>({
            {"loudspeaker network", horn, address, "pushButtonWriteEthernet", addressSets, false, "192.168.1.50", 0},
            {"loudspeaker address without leading zeros", horn,
             {"lineEditIpAddr=192.168.001.050", "lineEditNetMask=255.255.255.000", "lineEditGateWay=192.168.1.1", "lineCmdPort=23"},
             "pushButtonWriteEthernet", {"IpAddress 192.168.1.50", "NetMask 255.255.255.0", "GateWay 192.168.1.1", "CommandPort 23"},
             false, "192.168.1.50", 0},
            {"loudspeaker volume", horn, {"lineEditMaxVolume=55"}, "pushButtonWriteMaxVolume", {"MaxVolume 55"}, false, nullptr, 0},
            {"loudspeaker serial and gain", horn, {"lineEditSerialNumber=1234", "comboBoxAmpNomPower=#200"}, "pushButtonWriteSerial",
             {"SerialNumber 1234", "AmpNomPower 200"}, false, nullptr, 1234},
            {"console network", console, address + QStringList {"lineEditBroadcastIp=192.168.1.255", "lineEditOutPort=5005"},
             "pushButtonWriteEthernet", addressSets + QStringList {"BroadcastIP 192.168.1.255", "OutPort 5005"}, false, nullptr, 0},
            {"console signal volumes", console, {"spinBoxSoundVol1=90", "spinBoxSoundVol2=130"}, "pushButtonWriteSignalVolume",
             {"SignalVolume_1 90", "SignalVolume_2 130"}, false, nullptr, 0},
            {"console gains", console, {"comboBoxAmpNomPower=#207", "comboBoxSpeakerNomPower=#94"}, "pushButtonWriteAmps",
             {"AmpNomPower 207", "SpeakerNomPower 94"}, false, nullptr, 0},
            {"console serial", console, {"lineEditSerialNumber=4444"}, "pushButtonWriteSerial", {"SerialNumber 4444"}, false, nullptr, 4444},
            {"media converter serial with factory access", media, {"lineEditSerialNumber=999", "spinBoxAudioInGain=150"},
             "pushButtonWriteSerial", {"SerialNumber 999", "AudioInGain 150"}, true, nullptr, 999},
            {"media converter serial", media, {"lineEditSerialNumber=998", "spinBoxAudioInGain=150"}, "pushButtonWriteSerial",
             {"SerialNumber 998"}, false, nullptr, 998},
            {"media converter network", media, address, "pushButtonWriteEthernet", addressSets, false, "192.168.1.50", 0},
        });
        // clang-format on
    }

    // One write of each group: the SET lines byte for byte, one message once every write is
    // confirmed, and the project changed only as the confirmed writes say (the tree told).
    void writes()
    {
        QFETCH(WriteRow, row);
        if (row.fullAccess)
            settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(row.type);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        // The factory group is written at the factory level only.
        if (!row.fullAccess && QByteArray(row.button) == "pushButtonWriteSerial") {
            QVERIFY(!widget<QPushButton>(rig->window, row.button)->isEnabled());
            QCOMPARE(widget<QPushButton>(rig->window, row.button)->toolTip(),
                     QStringLiteral("Нужен уровень доступа 4 (завод)"));
            return;
        }
        const QString addressBefore = rig->device->ip_addr;
        const quint32 serialBefore = rig->device->serial;
        QSignalSpy changes(rig->project.get(), &ProjectModel::nodeChanged);
        const int from = harness->requestLog(rig->sim).size();

        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET "),
                 setRequests(row.sets));
        QCOMPARE(boxes->texts(), QStringList {okText});

        QCOMPARE(rig->device->ip_addr,
                 row.projectAddress ? QString::fromLatin1(row.projectAddress) : addressBefore);
        QCOMPARE(rig->device->serial,
                 row.projectSerial ? quint32(row.projectSerial) : serialBefore);
        const bool changed = row.projectAddress || row.projectSerial;
        QCOMPARE(!changes.isEmpty(), changed);
        QCOMPARE(rig->project->modified, changed);
        if (changed)
            QCOMPARE(changes.last().at(0).value<QObject *>(), rig->device);
        if (row.projectSerial)
            QVERIFY(
                rig->window->windowTitle().endsWith(QStringLiteral(" №%1").arg(row.projectSerial)));
    }

    void refusals_data()
    {
        const QString incomplete = "Параметры не записаны: поле «%1» заполнено не полностью.";
        const QString notTaken = "Устройство не приняло параметры: %1.";
        const QStringList serialAndAddress = {"lineEditSerialNumber=77", "lineEditIpAddr=10.1.2.3"};
        const int horn = DeviceType::Horn, console = DeviceType::IpPult, media = DeviceType::Media;
        // clang-format off
        TestUtil::addRows<RefusalRow>({
            {"address cut short", horn, {"lineEditIpAddr=192.168."}, "pushButtonWriteEthernet", incomplete.arg("IP-адрес"), nullptr},
            {"empty port", horn, {"lineCmdPort="}, "pushButtonWriteEthernet", incomplete.arg("Командный порт"), nullptr},
            {"console broadcast address cut short", console, {"lineEditBroadcastIp=10.0.0"}, "pushButtonWriteEthernet",
             incomplete.arg("Широковещательный адрес"), nullptr},
            {"empty volume", horn, {"lineEditMaxVolume="}, "pushButtonWriteMaxVolume", incomplete.arg("Максимальная громкость"), nullptr},
            {"volume 0", media, {"lineEditMaxVolume=0"}, "pushButtonWriteMaxVolume", incomplete.arg("Максимальная громкость"), nullptr},
            {"no gain chosen", horn, {"comboBoxAmpNomPower=#-1"}, "pushButtonWriteSerial", incomplete.arg("Номинальное усиление, дБ"), nullptr},
            {"no speaker gain chosen", console, {"comboBoxSpeakerNomPower=#-1"}, "pushButtonWriteAmps",
             incomplete.arg("Усиление встроенного динамика"), nullptr},
            {"empty serial number", media, {"lineEditSerialNumber="}, "pushButtonWriteSerial", incomplete.arg("Серийный номер"), nullptr},
            {"serial number 0", console, {"lineEditSerialNumber=0"}, "pushButtonWriteSerial",
             "Параметры не записаны: серийный номер должен быть числом от 1 до 4294967295.", nullptr},
            {"loudspeaker serial refused", horn, serialAndAddress, "pushButtonWriteSerial", notTaken.arg("Серийный номер"), "desc_SerialNumber"},
            {"console serial refused", console, serialAndAddress, "pushButtonWriteSerial", notTaken.arg("Серийный номер"), "desc_SerialNumber"},
            {"media converter address refused", media, serialAndAddress, "pushButtonWriteEthernet", notTaken.arg("IP-адрес"), "desc_IpAddress"},
            {"loudspeaker mask refused", horn, serialAndAddress, "pushButtonWriteEthernet", notTaken.arg("Маска подсети"), "desc_NetMask"},
        });
        // clang-format on
    }

    // A field that is not complete refuses the whole write with one message: nothing is
    // sent. A write the device refuses ends the list with one error (no "Параметры
    // записаны."), the writes after it still sent, and leaves the project as it was.
    void refusals()
    {
        QFETCH(RefusalRow, row);
        // The factory group is written at the factory level.
        if (QByteArray(row.button) == "pushButtonWriteSerial")
            settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(row.type);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        const QString refused = QString::fromLatin1(row.refused);
        if (row.refused)
            harness->setFault(rig->sim, QStringLiteral("fail=1:SET DESCRIPTOR ") + refused);
        const quint32 serial = rig->device->serial;
        const QString address = rig->device->ip_addr;
        const QString title = rig->window->windowTitle();
        QSignalSpy changes(rig->project.get(), &ProjectModel::nodeChanged);
        fill(rig->window, row.fields);
        const int from = harness->requestLog(rig->sim).size();

        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(boxes->texts(), QStringList {QStringLiteral("Ошибка: ") + row.message});
        const QStringList sets = linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET ");
        QVERIFY(row.refused ? sets.size() >= 1 : sets.isEmpty());
        QCOMPARE(rig->device->serial, serial);
        QCOMPARE(rig->window->windowTitle(), title);
        if (refused != QLatin1String("desc_NetMask")) {
            QCOMPARE(rig->device->ip_addr, address);
            QCOMPARE(changes.count(), 0);
            QVERIFY(!rig->project->modified);
        } else {
            // The address itself was confirmed: the project follows the device.
            QCOMPARE(rig->device->ip_addr, QStringLiteral("10.1.2.3"));
        }
    }

    // Error answers are no values: fields, gains, the serial number check, the file table
    // and the storage label keep what they showed.
    void errorAnswersChangeNothing()
    {
        open(DeviceType::IpPult, 5001);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        QTRY_VERIFY(
            widget<QLabel>(rig->window, "labelSdCardStatus")->text().contains("ошибок нет"));
        const QString storage = widget<QLabel>(rig->window, "labelSdCardStatus")->text();
        auto *amp = widget<QComboBox>(rig->window, "comboBoxAmpNomPower");
        auto *speaker = widget<QComboBox>(rig->window, "comboBoxSpeakerNomPower");
        QCOMPARE(amp->currentIndex(), 207);
        QCOMPARE(speaker->currentIndex(), 9);
        // Every request of the next read-all is refused, or not answered in time.
        harness->setFault(rig->sim, QStringLiteral("fail=-1:GET DESCRIPTOR"));
        harness->setFault(rig->sim, QStringLiteral("fail=-1:GET FILE_LIST"));
        harness->setFault(rig->sim, QStringLiteral("fail=-1:GET STATUS"));
        widget<QLineEdit>(rig->window, "lineEditSerialNumber")->setText("5001");
        widget<QLineEdit>(rig->window, "lineEditIpAddr")->setText("10.9.9.9");
        widget<QSpinBox>(rig->window, "spinBoxSoundVol1")->setValue(50);
        const int from = harness->requestLog(rig->sim).size();

        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(waitReadAll(harness.get(), rig.get(), from));
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).contains("GET STATUS"));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(amp->currentIndex(), 207);
        QCOMPARE(speaker->currentIndex(), 9);
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditSerialNumber")->text(), QString("5001"));
        QVERIFY(!rig->window->configDiffers());
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditIpAddr")->text(), QString("10.9.9.9"));
        QCOMPARE(widget<QSpinBox>(rig->window, "spinBoxSoundVol1")->value(), 50);
        QCOMPARE(widget<QTableWidget>(rig->window, "tableAudioFiles")->rowCount(), 0);
        QCOMPARE(widget<QLabel>(rig->window, "labelSdCardStatus")->text(), storage);
        // One message names what could not be read.
        QCOMPARE(boxes->boxes.size(), 1);
        QVERIFY2(boxes->texts().first().startsWith(
                     QStringLiteral("Ошибка: Не удалось прочитать параметры: ")),
                 qPrintable(boxes->texts().first()));
    }

    // The serial number the device reports marks the window as differing from the project.
    void differentSerialNumber()
    {
        open(DeviceType::Horn, 5101, [this](SimDevice *device) {
            harness->run([device] { device->descriptors.insert("SerialNumber", "5102"); });
        });
        QSignalSpy differs(rig->window.data(), &BaseDeviceWindow::configDiffChanged);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        QTRY_COMPARE(differs.count(), 1);
        QCOMPARE(differs.first().at(0).toBool(), true);
        QCOMPARE(rig->window->deviceSerialNumber(), 5102u);
        QCOMPARE(rig->device->serial, 5101u);
    }

    // The link drops in the middle of the read-all: the window shows it, drops what was on
    // its way, and reads everything again, in order, once the device is back.
    void linkLossDuringReadAll()
    {
        open(DeviceType::Media, 5201, [this](SimDevice *device) {
            harness->setFault(device, QStringLiteral("mute=1:GET DESCRIPTOR desc_GateWay"));
        });
        QSignalSpy first(rig->window.data(), &BaseDeviceWindow::firstConnectionEvent);
        QSignalSpy again(rig->window.data(), &BaseDeviceWindow::connectionEvent);
        QTRY_VERIFY(harness->requestLog(rig->sim).contains("GET DESCRIPTOR desc_GateWay"));
        QTRY_VERIFY(rig->window->progressDialog()->isVisible());
        harness->unplug(rig->sim);
        QTRY_COMPARE(rig->window->statusBar()->currentMessage(), QStringLiteral("Нет подключения"));
        QTRY_VERIFY(!rig->window->progressDialog()->isVisible());
        QCOMPARE(rig->window->facade()->readListSize(), 0);
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditMaxVolume")->text(), QString());

        harness->clearFaults(rig->sim);
        harness->clearLog(rig->sim);
        QVERIFY(harness->replug(rig->sim));
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        QCOMPARE(withoutStatus(harness->requestLog(rig->sim)), connectionReads(mediaReads));
        QCOMPARE(first.count(), 1);
        QCOMPARE(again.count(), 1);
        QTRY_COMPARE(widget<QLineEdit>(rig->window, "lineEditMaxVolume")->text(), QString("80"));
        QCOMPARE(widget<QSpinBox>(rig->window, "spinBoxAudioInGain")->value(), 100);
        // The list the lost link cut off is named once: from the value it was waiting for.
        QCOMPARE(boxes->boxes.size(), 1);
        QVERIFY2(boxes->texts().first().startsWith(
                     QStringLiteral("Ошибка: Не удалось прочитать параметры: GateWay")),
                 qPrintable(boxes->texts().first()));
    }

    // A device that answers slowly gets one status request at a time: requests of the user
    // are not queued behind a pile of them.
    void oneStatusRequestAtATime()
    {
        open(DeviceType::Horn, 5301, nullptr, 20);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
        harness->setFault(rig->sim, QStringLiteral("delay=150"));
        QSignalSpy answers(rig->window->facade(), &Amodule::receivedParam);
        QTRY_VERIFY_WITH_TIMEOUT(answers.count() >= 3, 10000);
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadSerial")->click();
        QTRY_VERIFY_WITH_TIMEOUT(
            harness->requestLog(rig->sim).mid(from).contains("GET DESCRIPTOR desc_SerialNumber"),
            10000);
        const QStringList before = harness->requestLog(rig->sim).mid(from);
        QVERIFY2(before.indexOf("GET DESCRIPTOR desc_SerialNumber") <= 1,
                 qPrintable(before.join('|')));
        harness->clearFaults(rig->sim);
    }

    // "Настройка" in the main window opens the window of each audio device of the project
    // and the window reads the device and writes a setting.
    void openedFromTheMainWindow()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        const QString addresses[] = {"127.81.1.2", "127.81.1.3", "127.81.1.4"};
        const int types[] = {DeviceType::Horn, DeviceType::IpPult, DeviceType::Media};
        const quint16 port = TestUtil::freePort("127.81.1.2");
        SimDevice *devices[3] = {};
        QString error;
        harness->run([&] {
            for (int i = 0; i < 3 && error.isEmpty(); ++i) {
                devices[i] =
                    harness->sim()->addDevice(types[i], 6001 + i, QHostAddress(addresses[i]));
                harness->commandServer()->attach(devices[i], port, &error);
            }
        });
        QVERIFY2(error.isEmpty(), qPrintable(error));
        ProjectModel project(ProjectModel::Journals::None);
        for (int i = 0; i < 3; ++i)
            project.addDevice(nullptr,
                              GuiTest::makeDevice(types[i], 6001 + i, false, 0, addresses[i],
                                                  types[i] == 8 ? 8 : -1));
        const QString settingsPath = GuiTest::windowSettings(
            work.path(), false, &project,
            {{"network/commandport", QString::number(port)}, {"factory/fullaccess", "1"}});
        MainWindow main(settingsPath);
        main.installDeviceWindows();
        main.show();
        const char *classes[] = {"HornDeviceWindow", "IpPultDeviceWindow", "MediaDeviceWindow"};
        for (int i = 0; i < 3; ++i) {
            main.treeView()->selectNode(main.project()->findDeviceBySerial(6001 + i));
            auto *setup = widget<QPushButton>(&main, "pushButtonOpenSetupDevice");
            QVERIFY(setup->isEnabled());
            setup->click();
            QPointer<QWidget> opened = QApplication::activeModalWidget();
            QVERIFY(opened);
            QCOMPARE(opened->metaObject()->className(), classes[i]);
            QCOMPARE(opened->parentWidget(), &main);
            QTRY_VERIFY(harness->requestLog(devices[i]).contains("SET FILE_CLOSE"));
            QTRY_COMPARE(widget<QLineEdit>(opened, "lineEditSerialNumber")->text(),
                         QString::number(6001 + i));
            fill(opened, {"lineEditSerialNumber=7001"});
            widget<QPushButton>(opened, "pushButtonWriteSerial")->click();
            QVERIFY(boxes->waitFor(i + 1));
            QCOMPARE(boxes->boxes.last().text, QStringLiteral("Параметры записаны."));
            QVERIFY(
                harness->requestLog(devices[i]).contains("SET DESCRIPTOR desc_SerialNumber 7001"));
            widget<QPushButton>(opened, "pushButtonClose")->click();
            QTRY_VERIFY(opened.isNull());
        }
        // The tree's menu: "Настройка" opens the media converter's window once the
        // converter has been found.
        ProjectDevice *converter = main.project()->allDevices().last();
        main.treeView()->selectNode(converter);
        std::unique_ptr<QMenu> absent(
            main.treeView()->createContextMenu(main.treeView()->currentIndex()));
        QVERIFY(!absent->actions().at(1)->isEnabled());
        converter->netFound = true;
        std::unique_ptr<QMenu> menu(
            main.treeView()->createContextMenu(main.treeView()->currentIndex()));
        QAction *settingsEntry = menu->actions().at(1);
        QCOMPARE(settingsEntry->text(), QStringLiteral("Настройка"));
        QVERIFY(settingsEntry->isEnabled());
        settingsEntry->trigger();
        QPointer<QWidget> opened = QApplication::activeModalWidget();
        QVERIFY(opened);
        QCOMPARE(opened->metaObject()->className(), "MediaDeviceWindow");
        opened->close();
        QTRY_VERIFY(opened.isNull());

        // The project took the serial numbers the devices confirmed.
        QCOMPARE(main.project()->findDeviceBySerial(6001), nullptr);
        QCOMPARE(main.project()->allDevices().size(), 3);
        for (ProjectDevice *device : main.project()->allDevices())
            QCOMPARE(device->serial, 7001u);
    }

private:
    // A window on a new simulated device (serial number 10000 + its address's last number
    // unless given).
    void open(int type, int serial = 0, const std::function<void(SimDevice *)> &before = nullptr,
              int pollMs = 1000)
    {
        ++addressCount;
        rig = openRig(harness.get(), settings.get(), type, serial ? serial : 10000 + addressCount,
                      QStringLiteral("127.81.0.%1").arg(addressCount), pollMs, before);
        QVERIFY(rig->window);
    }

    int addressCount = 1;
};

NORDA_GUI_TEST_MAIN(TestAudioWindows)
#include "tst_audiowindows.moc"
