// The four-line unit's window against a simulated unit, and both unit windows opened from
// the main window: the tabs the four-line unit keeps, what its connection reads, one write
// of each of its groups; "Поиск USB-устройств" and "Настройка" for a central unit.

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"
#include "tovikwindowtest.h"

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "devices/lumodevicewindow.h"

#include <QPushButton>
#include <QtTest>

using namespace DeviceWindowTest;
using namespace TovikWindowTest;

class TestLumoWindow : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    void lumo_data()
    {
        QStringList output = {"OutputPolarity[2] 0"};
        for (int s = 0; s < 14; ++s)
            output << QStringLiteral("OutputAssign%1[2] %2")
                          .arg(s, 2, 10, QLatin1Char('0'))
                          .arg(s == 0 ? 1 : 0);
        // clang-format off
        TestUtil::addRows<WriteRow>({
            {"input 1", "1.0.0", {"comboInputCtrlEnable1=#1"}, "pushButtonWriteInput1", {"InputCtrlEnable[0] 1"}, {}},
            {"output 3", "1.0.0", {"comboBoxOutputPolarity3=#0", "checkOutputAssign00_2=1"}, "pushButtonWriteOutput3", output, {}},
            {"serial number", "1.0.0", {"lineEditSerialNumber=4404"}, "pushButtonWriteSerial", {"SerialNumber 4404"}, {}},
            {"input gain", "1.0.0", {"spinBoxAudioInGain=120"}, "pushButtonWriteAudioInGain", {"AudioInGain 120"}, {"AudioInGain"}},
        });
        // clang-format on
    }

    // The four-line unit's window: the tabs it keeps, what every connection reads (no
    // files, no status, no polls), and one write of each of its groups, shown again after
    // "Прочитать всё".
    void lumo()
    {
        QFETCH(WriteRow, row);
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        rig = openRig(harness.get(), settings.get(), DeviceType::Lumo4, 4401,
                      QStringLiteral("127.82.1.%1").arg(++addressCount), 20);
        QVERIFY(rig->window);
        QStringList expected = {"SerialNumber", "AudioInGain"};
        for (int n = 0; n < 3; ++n)
            expected << indexed("InputCtrlState", n) << indexed("InputCtrlEnable", n);
        for (int k = 0; k < 3; ++k) {
            expected << indexed("OutputState", k) << indexed("OutputPolarity", k);
            for (int s = 0; s < 14; ++s)
                expected
                    << QStringLiteral("OutputAssign%1[%2]").arg(s, 2, 10, QLatin1Char('0')).arg(k);
        }
        expected = QStringList {"GET VERSION"} + reads(expected);
        QTRY_COMPARE(harness->requestLog(rig->sim), expected);
        QTRY_COMPARE(rig->window->facade()->readListSize(), 0);
        QCOMPARE(rig->window->windowTitle(), deviceTypeName(DeviceType::Lumo4));
        QCOMPARE(tabTitles(widget<QTabWidget>(rig->window, "tabWidgetSettings")),
                 QStringList({"Входы", "Выходы", "Заводские"}));
        // Its status carries no unit state and no lamps: no state page.
        QCOMPARE(tabTitles(widget<QTabWidget>(rig->window, "tabWidget")),
                 QStringList({"Настройка"}));
        QVERIFY(widget(rig->window, "comboBoxBuu2Enable")->isHidden());
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditSerialNumber")->text(),
                 QStringLiteral("4401"));

        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QTRY_COMPARE(harness->requestLog(rig->sim).mid(expected.size()),
                     setRequests(row.sets) + reads(row.readBack));
        const QStringList before = snapshot(rig->window, {"tabInputs", "tabOutputs", "tabFactory"});
        const int again = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QTRY_COMPARE(harness->requestLog(rig->sim).size(), again + expected.size() - 1);
        QTRY_COMPARE(rig->window->facade()->readListSize(), 0);
        QCOMPARE(snapshot(rig->window, {"tabInputs", "tabOutputs", "tabFactory"}), before);
        // The window polls nothing.
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(harness->requestLog(rig->sim).count("GET STATUS"), 0);
    }

    // "Поиск USB-устройств" finds the central unit on its USB port, and "Настройка" opens
    // its window, which reads it there and writes to it; the same for the four-line unit
    // over TCP.
    void fromMainWindow()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        SimDevice *unit = harness->addDevice(DeviceType::Norda4200, 4201, "127.82.2.2");
        SimDevice *lumo = harness->addDevice(DeviceType::Lumo4, 4601, "127.82.2.3");
        harness->run([&] { unit->version = "1.2.620"; });
        QVERIFY(!harness->addUsb(unit).isEmpty());
        ProjectModel project(ProjectModel::Journals::None);
        project.addDevice(nullptr, GuiTest::makeDevice(DeviceType::Norda4200, 4201));
        project.addDevice(nullptr,
                          GuiTest::makeDevice(DeviceType::Lumo4, 4601, false, 0, "127.82.2.3"));
        const QString settingsPath = GuiTest::windowSettings(
            work.path(), false, &project,
            {{"network/commandport", QString::number(harness->tcpPort(lumo))}});
        MainWindow main(settingsPath);
        main.installDeviceWindows();
        main.show();
        ProjectDevice *found = main.project()->findDeviceBySerial(4201);
        QVERIFY(found);
        widget<QPushButton>(&main, "pushButtonSearchDevices")->click();
        QTRY_VERIFY_WITH_TIMEOUT(found->portFound, 15000);
        const struct {
            int serial;
            SimDevice *sim;
            const char *className;
        } units[] = {{4201, unit, "TovikDeviceWindow"}, {4601, lumo, "LumoDeviceWindow"}};
        for (const auto &target : units) {
            harness->clearLog(target.sim);
            main.treeView()->selectNode(main.project()->findDeviceBySerial(target.serial));
            auto *setup = widget<QPushButton>(&main, "pushButtonOpenSetupDevice");
            QVERIFY(setup->isEnabled());
            setup->click();
            QPointer<QWidget> opened = QApplication::activeModalWidget();
            QVERIFY(opened);
            QCOMPARE(opened->metaObject()->className(), target.className);
            QTRY_COMPARE(widget<QLineEdit>(opened, "lineEditSerialNumber")->text(),
                         QString::number(target.serial));
            fill(opened, {"comboInputCtrlEnable2=#1"});
            widget<QPushButton>(opened, "pushButtonWriteInput2")->click();
            QTRY_VERIFY(harness->requestLog(target.sim)
                            .contains("SET DESCRIPTOR desc_InputCtrlEnable[1] 1"));
            QVERIFY(boxes->waitFor(1));
            QCOMPARE(boxes->texts().takeLast(), QString::fromUtf8(okText));
            boxes->boxes.clear();
            widget<QPushButton>(opened, "pushButtonClose")->click();
            QTRY_VERIFY(opened.isNull());
        }
    }

private:
    int addressCount = 0;
};

NORDA_GUI_TEST_MAIN(TestLumoWindow)
#include "tst_lumowindow.moc"
