// The central unit window against a simulated unit: what it reads on every connection for
// each firmware build, what each tab polls, what each write group sends (byte for byte),
// that a failed or out-of-range answer never becomes something written back, the clock
// round trip, link loss during the read-all and a file upload while polling; and the
// unit's status fields, read without a window.

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"
#include "tovikwindowtest.h"

#include "devices/rwparamdialog.h"
#include "devices/tovikdevicewindow.h"
#include "link/tovikstatus.h"
#include "project/inout.h"
#include "project/projectgroup.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

using namespace DeviceWindowTest;
using namespace TovikWindowTest;

namespace {

QStringList readAllNames(int build)
{
    QStringList names = {"SerialNumber",
                         "IpAddress",
                         "NetMask",
                         "GateWay",
                         "CommandPort",
                         "BroadcastIP",
                         "OutPort",
                         "MaxVolume",
                         "Mode",
                         "DevRole",
                         "CurrentTime",
                         "FirstSoundTime",
                         "TransCheckInterval",
                         "AudioInGain"};
    for (int n = 0; n < 8; ++n)
        names << indexed("LoCtrlEnable", n) << indexed("LoCalibValue", n)
              << indexed("LoCtrlDelta", n);
    for (int n = 0; n < 8; ++n)
        names << indexed("PpkCtrlEnable", n);
    for (int n = 0; n < 32; ++n)
        names << indexed("Rs485PultEnable", n) << indexed("Rs485PultSerial", n)
              << indexed("Rs485PultStatus", n);
    for (int n = 0; n < 9; ++n)
        names << indexed("ExtBlockRs485Enable", n) << indexed("ExtBlockRs485Serial", n)
              << indexed("ExtBlockRs485Status", n);
    names << "Rs485GlobalEnable";
    if (build >= 576)
        names << "MacAddress"
              << "RemotePolarity"
              << "Buu2Enable"
              << "DeviceTag";
    for (int n = 0; n < 3; ++n)
        names << indexed("InputCtrlState", n);
    for (int n = 0; n < 3; ++n)
        names << indexed("InputCtrlEnable", n);
    for (int k = 0; k < 3; ++k) {
        names << indexed("OutputState", k) << indexed("OutputPolarity", k);
        for (int s = 0; s < 14; ++s)
            names << QStringLiteral("OutputAssign%1[%2]").arg(s, 2, 10, QLatin1Char('0')).arg(k);
    }
    return names;
}

// The requests of a log without the status requests.
QStringList withoutStatusRequests(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line != QLatin1String("GET STATUS") && line != QLatin1String("GET BINSTATUS"))
            lines << line;
    }
    return lines;
}

struct ReadAllRow {
    const char *name;
    const char *version;
    int build;
};

struct RefusalRow {
    const char *name;
    QStringList fields;
    const char *button;
    QString message;
    const char *fault; // null: refused before anything is sent
};

struct FailedReadRow {
    const char *name;
    const char *descriptor; // made to fail on the second read-all
    const char *button; // written afterwards
    const char *sent; // the write the button sends for the value read first
};

struct ModeRow {
    const char *name;
    const char *version;
    const char *mode;
    const char *buu2;
    int index;
    int items;
    const char *sent; // null: the write is refused
};

struct PollRow {
    const char *name;
    const char *tab;
    const char *version;
    bool inputsEverySecond;
    bool outputsEverySecond;
    bool binStatus;
};

} // namespace

Q_DECLARE_METATYPE(ReadAllRow)
Q_DECLARE_METATYPE(RefusalRow)
Q_DECLARE_METATYPE(FailedReadRow)
Q_DECLARE_METATYPE(ModeRow)
Q_DECLARE_METATYPE(PollRow)

class TestTovikWindow : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // ---- The window ----

    void readAll_data()
    {
        TestUtil::addRows<ReadAllRow>({
            {"build 0", "1.0.0", 0},
            {"build 576", "1.2.576", 576},
            {"build 620", "1.2.620", 620},
        });
    }

    // Every connection reads the build's list, then the files and the status; every
    // descriptor is answered and shown, and the rows of the newer descriptors appear from
    // build 576. Only builds above 619 are asked for BINSTATUS.
    void readAll()
    {
        QFETCH(ReadAllRow, row);
        // Ticks come many times during the list read, and the input states would be read
        // at every one of them.
        open(QString::fromLatin1(row.version), 20);
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabInputs"));
        QSignalSpy failed(rig->window->facade(), &Amodule::exchangeError);
        QVERIFY(waitRead());
        const QStringList expected = connectionReads(readAllNames(row.build));
        // No state is polled while the list is read.
        QCOMPARE(withoutStatusRequests(harness->requestLog(rig->sim)).mid(0, expected.size()),
                 expected);
        QCOMPARE(failed.count(), 0);
        auto *window = tovik();
        QCOMPARE(window->firmwareBuild(), row.build);
        for (const char *name : {"labelMacAddr", "lineEditMacAddr", "pushButtonWriteMacAddress",
                                 "labelDeviceName", "lineEditDeviceName"})
            QCOMPARE(!widget(window, name)->isHidden(), row.build >= 576);
        QCOMPARE(widget<QLineEdit>(window, "lineEditSerialNumber")->text(), QStringLiteral("2002"));
        QCOMPARE(widget<QLineEdit>(window, "lineEditBroadcastIP")->text(),
                 QStringLiteral("127.255.255.255"));
        QCOMPARE(widget<QComboBox>(window, "comboBoxAlgorithm")->currentIndex(), 0);
        QVERIFY(!widget<QLineEdit>(window, "lineEditCurrentTime")->text().isEmpty());
        QCOMPARE(widget<QLineEdit>(window, "lineOutputState3")->text(), QStringLiteral("откл"));
        if (row.build >= 576)
            QCOMPARE(widget<QLineEdit>(window, "lineEditDeviceName")->text(),
                     QStringLiteral("Unit 2002"));
        QTRY_VERIFY(harness->requestLog(rig->sim).count("GET STATUS") >= 3);
        QCOMPARE(harness->requestLog(rig->sim).contains("GET BINSTATUS"), row.build > 619);
        QVERIFY(!window->progressDialog()->isVisible());
        QVERIFY(boxes->boxes.isEmpty());
    }

    void polls_data()
    {
        TestUtil::addRows<PollRow>({
            {"inputs shown", "tabInputs", "1.2.620", true, false, true},
            {"outputs shown", "tabOutputs", "1.2.576", false, true, false},
            {"mode shown", "tabMode", "1.0.0", false, false, false},
        });
    }

    // Each tick asks for the status; the states of the inputs and outputs are read every
    // tick while their tab is shown and every fifth tick otherwise.
    void polls()
    {
        QFETCH(PollRow, row);
        open(QString::fromLatin1(row.version), 20);
        QVERIFY(waitRead());
        auto *tabs = widget<QTabWidget>(rig->window, "tabWidgetSettings");
        tabs->setCurrentWidget(widget(rig->window, row.tab));
        const int from = harness->requestLog(rig->sim).size();
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).mid(from).count("GET STATUS") >= 21,
                                 10000);
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        const int ticks = log.count("GET STATUS");
        auto count = [&log](const char *line) { return log.count(QLatin1String(line)); };
        const int inputs = count("GET DESCRIPTOR desc_InputCtrlState[2]");
        const int outputs = count("GET DESCRIPTOR desc_OutputState[0]");
        QVERIFY2(row.inputsEverySecond ? inputs >= ticks - 2 : qAbs(inputs - ticks / 5) <= 2,
                 qPrintable(QStringLiteral("%1 input polls in %2 ticks").arg(inputs).arg(ticks)));
        QVERIFY2(row.outputsEverySecond ? outputs >= ticks - 2 : qAbs(outputs - ticks / 5) <= 2,
                 qPrintable(QStringLiteral("%1 output polls in %2 ticks").arg(outputs).arg(ticks)));
        QCOMPARE(count("GET BINSTATUS") >= ticks - 2, row.binStatus);
        QCOMPARE(count("GET BINSTATUS") == 0, !row.binStatus);
        // Nothing but polls.
        QCOMPARE(withoutPolls(log), QStringList());
    }

    // A unit that answers slowly gets one request of each kind at a time, not one per
    // tick.
    void oneOutstandingPerKind()
    {
        open(QStringLiteral("1.2.620"), 20);
        QVERIFY(waitRead());
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabInputs"));
        harness->setFault(rig->sim, QStringLiteral("delay=50"));
        const int from = harness->requestLog(rig->sim).size();
        // Some 30 ticks while 12 requests are answered.
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).size() - from >= 12, 10000);
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        harness->clearFaults(rig->sim);
        const int rounds = log.count("GET STATUS") + 1;
        QVERIFY2(log.count("GET BINSTATUS") <= rounds, qPrintable(log.join(", ")));
        QVERIFY2(log.count("GET DESCRIPTOR desc_InputCtrlState[0]") <= rounds,
                 qPrintable(log.join(", ")));
        QVERIFY2(log.count("GET DESCRIPTOR desc_OutputState[0]") <= rounds,
                 qPrintable(log.join(", ")));
    }

    void writes_data()
    {
        QStringList rs485 = {"DeviceTag Зал 2", "Rs485GlobalEnable 1", "DevRole 0"};
        QStringList rs485Before576 = {"Rs485GlobalEnable 1", "DevRole 3"};
        for (int n = 0; n < 32; ++n) {
            rs485 << QStringLiteral("Rs485PultEnable[%1] %2").arg(n).arg(n == 4 ? 1 : 0);
            rs485Before576 << QStringLiteral("Rs485PultEnable[%1] 0").arg(n);
        }
        for (int n = 0; n < 9; ++n) {
            rs485 << QStringLiteral("ExtBlockRs485Enable[%1] %2").arg(n).arg(n == 0 ? 1 : 0);
            rs485Before576 << QStringLiteral("ExtBlockRs485Enable[%1] 0").arg(n);
        }
        QStringList output = {"OutputPolarity[1] 1"};
        for (int s = 0; s < 14; ++s)
            output << QStringLiteral("OutputAssign%1[1] %2")
                          .arg(s, 2, 10, QLatin1Char('0'))
                          .arg(s == 5 || s == 13 ? 1 : 0);
        QStringList ppk;
        for (int n = 0; n < 8; ++n)
            ppk << QStringLiteral("PpkCtrlEnable[%1] %2").arg(n).arg(n == 2 ? "да" : "нет");
        // clang-format off
        TestUtil::addRows<WriteRow>({
            {"mode", "1.0.0", {"comboBoxAlgorithm=#2", "spinBoxFirstMessageTimeSec=30", "comboBoxTransCheckInterval=#6"},
             "pushButtonWriteModeSettings", {"Mode 2", "FirstSoundTime 30", "TransCheckInterval 6"}, {}},
            {"time", "1.0.0", {"dateTimeEdit=2031-05-04 07:08:09"}, "pushButtonWriteTime", {"WriteTime 07:08:09 04/05/31"}, {"CurrentTime"}},
            {"ethernet", "1.0.0", {"lineEditIpAddr=192.168.010.2", "lineEditNetMask=255.255.255.0", "lineEditGateWay=192.168.10.1", "lineCmdPort=2323"},
             "pushButtonWriteEthernet", {"IpAddress 192.168.10.2", "NetMask 255.255.255.0", "GateWay 192.168.10.1", "CommandPort 2323"}, {}},
            {"mac address", "1.2.576", {"lineEditMacAddr=02a1b2c3d4e5"}, "pushButtonWriteMacAddress", {"MacAddress 02:A1:B2:C3:D4:E5"}, {"MacAddress"}},
            {"rs485 with the name", "1.2.576", {"lineEditDeviceName=Зал 2", "checkBoxRs485Enable=1", "comboBoxDevRole=#0", "framePult5=1", "frameExtBlock1=1"},
             "pushButtonWriteRs485", rs485, {}},
            {"rs485 of an extension unit before build 576", "1.0.0", {"checkBoxRs485Enable=1", "comboBoxDevRole=#0", "framePult5=1", "frameExtBlock1=1",
             "comboBoxDevRole=#3"}, "pushButtonWriteRs485", rs485Before576, {}},
            {"ppk", "1.0.0", {"comboBoxPpkCtrlEnable_3=#1"}, "pushButtonWriteAllPpk", ppk, {}},
            {"input 3", "1.0.0", {"comboInputCtrlEnable3=#1"}, "pushButtonWriteInput3", {"InputCtrlEnable[2] 1"}, {}},
            {"output 2", "1.0.0", {"comboBoxOutputPolarity2=#1", "checkOutputAssign05_1=1", "checkOutputAssign13_1=1"}, "pushButtonWriteOutput2", output, {}},
            {"serial number", "1.0.0", {"lineEditSerialNumber=0031337"}, "pushButtonWriteSerial", {"SerialNumber 31337"}, {}},
            {"input gain", "1.0.0", {"spinBoxAudioInGain=150"}, "pushButtonWriteAudioInGain", {"AudioInGain 150"}, {"AudioInGain"}},
            {"remote polarity", "1.2.576", {"comboBoxRemotePolarity=#1"}, "pushButtonWriteRemotePolarity", {"RemotePolarity 1"}, {"RemotePolarity"}},
            {"buu-2", "1.2.576", {"comboBoxBuu2Enable=#1"}, "pushButtonWriteBuu2Enable", {"Buu2Enable 1"}, {"Buu2Enable", "Mode"}},
        });
        // clang-format on
    }

    // One write of each group, with full access: the requests byte for byte, the read-back
    // where there is one, one message, and the value read again after "Прочитать всё".
    void writes()
    {
        QFETCH(WriteRow, row);
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(QString::fromLatin1(row.version));
        QVERIFY(waitRead());
        const int from = harness->requestLog(rig->sim).size();
        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QTRY_COMPARE(withoutPolls(harness->requestLog(rig->sim).mid(from)),
                     setRequests(row.sets) + reads(row.readBack));
        if (QString::fromLatin1(row.button) == QLatin1String("pushButtonWriteSerial")) {
            QCOMPARE(rig->device->serial, 31337u);
            QVERIFY(rig->project->modified);
        }
        // What was written comes back.
        const QStringList before = snapshot(rig->window);
        const int again = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(waitRead(again));
        QCOMPARE(snapshot(rig->window), before);
    }

    void refusals_data()
    {
        const QString name = "Параметры не записаны: В имени устройства есть управляющие символы "
                             "или символы, которых нет в кодировке Windows-1251.";
        const QString incomplete = "Параметры не записаны: поле «%1» заполнено не полностью.";
        // clang-format off
        TestUtil::addRows<RefusalRow>({
            {"name with a line break", {"lineEditDeviceName=Зал\n2"}, "pushButtonWriteRs485", name, nullptr},
            {"name outside Windows-1251", {"lineEditDeviceName=Зал ☎"}, "pushButtonWriteRs485", name, nullptr},
            {"half-typed address", {"lineEditIpAddr=192.168."}, "pushButtonWriteEthernet", incomplete.arg("IP-адрес"), nullptr},
            {"half-typed mac address", {"lineEditMacAddr=02a1b2"}, "pushButtonWriteMacAddress", incomplete.arg("MAC-адрес"), nullptr},
            {"empty port", {"lineCmdPort="}, "pushButtonWriteEthernet", incomplete.arg("Командный порт"), nullptr},
            {"refused by the unit", {"lineEditSerialNumber=4242"}, "pushButtonWriteSerial",
             "Устройство не приняло параметры: Серийный номер.", "fail=1:SET DESCRIPTOR desc_SerialNumber"},
        });
        // clang-format on
    }

    // A field that is not complete, or a name that cannot travel, is refused with one
    // message and nothing is sent; a write the unit refuses ends in one error naming it.
    // The project's serial number changes only after the unit took it.
    void refusals()
    {
        QFETCH(RefusalRow, row);
        // The factory group is written at the factory level.
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(QStringLiteral("1.2.576"));
        QVERIFY(waitRead());
        if (row.fault)
            harness->setFault(rig->sim, QString::fromLatin1(row.fault));
        const int from = harness->requestLog(rig->sim).size();
        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QStringLiteral("Ошибка: ") + row.message});
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET").size(),
                 row.fault ? 1 : 0);
        QCOMPARE(rig->device->serial, 2002u);
        QVERIFY(!rig->project->modified);
    }

    void failedRead_data()
    {
        TestUtil::addRows<FailedReadRow>({
            {"mode", "desc_Mode", "pushButtonWriteModeSettings", "SET DESCRIPTOR desc_Mode 1"},
            {"console enable", "desc_Rs485PultEnable[3]", "pushButtonWriteRs485",
             "SET DESCRIPTOR desc_Rs485PultEnable[3] 1"},
            {"rs485 switch", "desc_Rs485GlobalEnable", "pushButtonWriteRs485",
             "SET DESCRIPTOR desc_Rs485GlobalEnable 1"},
            {"output assignment", "desc_OutputAssign05[1]", "pushButtonWriteOutput2",
             "SET DESCRIPTOR desc_OutputAssign05[1] 1"},
        });
    }

    // A read that fails leaves its control as it was, and the next write sends what the
    // unit had, not what the failure would have made of it.
    void failedRead()
    {
        QFETCH(FailedReadRow, row);
        open(QStringLiteral("1.2.576"), 1000, [](SimDevice *device) {
            device->descriptors.insert("Mode", "2");
            device->descriptors.insert("Rs485GlobalEnable", "вкл");
            device->descriptors.insert("Rs485PultEnable[3]", "да");
            device->descriptors.insert("OutputAssign05[1]", "+");
        });
        QVERIFY(waitRead());
        const QStringList before = snapshot(rig->window);
        harness->setFault(rig->sim, QStringLiteral("fail=1:GET DESCRIPTOR %1").arg(row.descriptor));
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(waitRead(from));
        QCOMPARE(snapshot(rig->window), before);
        widget<QPushButton>(rig->window, row.button)->click();
        // The read names what it could not read; the write then succeeds.
        QVERIFY(boxes->waitFor(2));
        QVERIFY2(boxes->texts().value(0).startsWith(
                     QStringLiteral("Ошибка: Не удалось прочитать параметры: ") +
                     QString::fromLatin1(row.descriptor).mid(5)),
                 qPrintable(boxes->texts().join(" | ")));
        QVERIFY(boxes->texts().value(1).startsWith(QStringLiteral("Запись выполнена")));
        QTRY_VERIFY2(
            linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET DESCRIPTOR")
                .contains(QString::fromUtf8(row.sent)),
            qPrintable(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET DESCRIPTOR")
                           .join('\n')));
    }

    void mode_data()
    {
        TestUtil::addRows<ModeRow>({
            {"DADAR with BUU-2", "1.2.576", "СБП", "вкл", 3, 4, "SET DESCRIPTOR desc_Mode 3"},
            {"standard 2 with BUU-2", "1.2.576", "2", "вкл", 1, 4, "SET DESCRIPTOR desc_Mode 1"},
            {"DADAR without BUU-2", "1.2.576", "СБП", "откл", -1, 3, nullptr},
            {"out of range", "1.2.576", "9", "откл", -1, 3, nullptr},
            {"zero", "1.0.0", "0", "откл", -1, 3, nullptr},
        });
    }

    // The mode answer comes before the BUU-2 answer and is applied again after it; a mode
    // the list does not have selects nothing and is never written.
    void mode()
    {
        QFETCH(ModeRow, row);
        open(QString::fromLatin1(row.version), 1000, [&row](SimDevice *device) {
            device->descriptors.insert("Mode", QString::fromUtf8(row.mode));
            device->descriptors.insert("Buu2Enable", QString::fromUtf8(row.buu2));
        });
        QVERIFY(waitRead());
        auto *box = widget<QComboBox>(rig->window, "comboBoxAlgorithm");
        QCOMPARE(box->count(), row.items);
        QCOMPARE(box->currentIndex(), row.index);
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonWriteModeSettings")->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY(roundTrip(rig->window));
        const QStringList sets = linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET");
        if (row.sent) {
            QCOMPARE(sets.value(0), QString::fromUtf8(row.sent));
        } else {
            QCOMPARE(sets, QStringList());
            QCOMPARE(boxes->texts(),
                     QStringList {
                         "Ошибка: Параметры не записаны: поле «Алгоритм» заполнено не полностью."});
        }
    }

    // "Синхронизировать с ПК" writes the PC's wall clock; the unit's clock then reads as the
    // PC's, from its descriptor and from its status (UTC seconds) alike.
    void clockRoundTrip()
    {
        open(QStringLiteral("1.0.0"), 100,
             [](SimDevice *device) { device->clockOffset = -5 * 3600 - 17; });
        QVERIFY(waitRead());
        auto *shown = widget<QLineEdit>(rig->window, "lineEditCurrentTime");
        auto shownTime = [shown] {
            return QDateTime::fromString(shown->text(), QStringLiteral("hh:mm:ss dd.MM.yyyy"));
        };
        QTRY_VERIFY(shownTime().isValid());
        QVERIFY(qAbs(shownTime().secsTo(QDateTime::currentDateTime())) > 3600);
        widget<QPushButton>(rig->window, "pushButtonSynchroTime")->click();
        QVERIFY(boxes->waitFor(1));
        QTRY_VERIFY(qAbs(shownTime().secsTo(QDateTime::currentDateTime())) <= 2);
        // Later status answers keep it there.
        const int from = harness->requestLog(rig->sim).size();
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).count("GET STATUS") >= 3);
        QVERIFY(qAbs(shownTime().secsTo(QDateTime::currentDateTime())) <= 2);
    }

    // The link goes in the middle of the read-all: the progress closes, and the next
    // connection reads everything again.
    void linkLossDuringReadAll()
    {
        open(QStringLiteral("1.0.0"));
        QTRY_VERIFY(harness->requestLog(rig->sim).contains("GET DESCRIPTOR desc_PpkCtrlEnable[0]"));
        harness->unplug(rig->sim);
        QTRY_COMPARE(rig->window->statusBar()->currentMessage(), QStringLiteral("Нет подключения"));
        QTRY_VERIFY(!rig->window->progressDialog()->isVisible());
        QCOMPARE(rig->window->facade()->readListSize(), 0);
        const int from = harness->requestLog(rig->sim).size();
        QVERIFY(harness->replug(rig->sim));
        QVERIFY(waitRead(from, 20000));
        const QStringList expected = connectionReads(readAllNames(0));
        QCOMPARE(
            withoutStatusRequests(harness->requestLog(rig->sim).mid(from)).mid(0, expected.size()),
            expected);
        QVERIFY(!rig->window->progressDialog()->isVisible());
        QVERIFY(boxes->boxes.isEmpty());
    }

    // "Прочитать всё" (its list, the file list and config.ini beside it): the dialog's bar
    // counts the names in as they come, never goes back, and is full before it closes.
    void readAllProgress()
    {
        open(QStringLiteral("1.2.620"), 100);
        QVERIFY(waitRead());
        QProgressDialog *dialog = rig->window->progressDialog();
        auto *bar = dialog->findChild<QProgressBar *>();
        QVERIFY(bar);
        QList<QPair<int, int>> shown;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            if (dialog->isVisible())
                shown << qMakePair(value, bar->maximum());
        });
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(waitRead(from));
        QTRY_VERIFY(!dialog->isVisible());
        QString steps;
        for (const auto &step : qAsConst(shown))
            steps += QStringLiteral("%1/%2 ").arg(step.first).arg(step.second);
        QVERIFY2(shown.size() > 100, qPrintable(steps));
        const int maximum = readAllNames(620).size();
        for (int i = 0; i < shown.size(); ++i) {
            QVERIFY2(shown.at(i).second == maximum, qPrintable(steps));
            QVERIFY2(i == 0 || shown.at(i).first > shown.at(i - 1).first, qPrintable(steps));
        }
        QCOMPARE(shown.last().first, maximum);
        QVERIFY(boxes->boxes.isEmpty());
    }

    // An upload while the window polls every tick: no poll while the file goes, every
    // block goes, and the folder is read again half a second after it.
    void uploadWhilePolling()
    {
        open(QStringLiteral("1.2.620"), 20);
        QVERIFY(waitRead());
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabInputs"));
        QTemporaryDir source;
        const QString path = source.filePath(QStringLiteral("alarm.wav"));
        const QByteArray bytes = TestUtil::randomBytes(8000);
        QVERIFY(TestUtil::writeFile(path, bytes));
        const int from = harness->requestLog(rig->sim).size();
        auto accepted = GuiTest::acceptFileDialog(path);
        widget<QPushButton>(rig->window, "pushButtonLoadCustomFile")->click();
        QVERIFY(*accepted);
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).contains("SET FILE_CLOSE"));
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).contains("GET FILE_LIST 0:\\audio"));
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        const QList<qint64> times = harness->requestTimes(rig->sim).mid(from);
        const int create = log.indexOf(QStringLiteral("SET FILE_CREATE 0:\\audio\\alarm.wav"));
        const int close = log.indexOf(QStringLiteral("SET FILE_CLOSE"));
        const int reread = log.indexOf(QStringLiteral("GET FILE_LIST 0:\\audio"), close);
        QVERIFY(close >= 0 && reread > close);
        // Measured where the requests arrive: the test's own polling may see them late.
        QVERIFY2(times.at(reread) - times.at(close) >= 350,
                 qPrintable(QString::number(times.at(reread) - times.at(close))));
        QVERIFY(create >= 0);
        QCOMPARE(close - create - 1, (8000 + 511) / 512);
        for (int i = create; i <= close; ++i)
            QVERIFY2(log.at(i).startsWith(QLatin1String("SET FILE_")), qPrintable(log.at(i)));
        QByteArray stored;
        SimCommandDevice *device = harness->command(rig->sim);
        harness->run([&] { stored = device->files.file(QStringLiteral("0:\\audio\\alarm.wav")); });
        QCOMPARE(stored, bytes);
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from + close).count("GET STATUS") >= 3);
        QVERIFY(boxes->boxes.isEmpty());
    }

    // The audio files carry the unit's five signals: the group "assign" of config.ini
    // selects them, and "Применить" writes the group with only the assignments changed.
    void audioAssignments()
    {
        open(QStringLiteral("1.0.0"));
        QVERIFY(waitRead());
        auto *table = widget<QTableWidget>(rig->window, "tableAudioFiles");
        QTRY_COMPARE(table->rowCount(), 3);
        auto box = [table](const QString &name) -> QComboBox * {
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 0)->text() == QStringLiteral("flash:\\audio\\") + name)
                    return qobject_cast<QComboBox *>(table->cellWidget(row, 2));
            }
            return nullptr;
        };
        QVERIFY(box("siren.wav") && box("gong.wav"));
        QCOMPARE(box("siren.wav")->count(), 6);
        // The list comes before config.ini, whose answer may still be on its way.
        QTRY_COMPARE(box("siren.wav")->currentText(), QStringLiteral("Сигнал сирены"));
        QCOMPARE(box("gong.wav")->currentText(), QStringLiteral("Не назначено"));
        box("gong.wav")->setCurrentIndex(box("gong.wav")->findText(QStringLiteral("Сигнал гонга")));
        widget<QPushButton>(rig->window, "pushButtonApplyAssigns")->click();
        SimCommandDevice *device = harness->command(rig->sim);
        QByteArray stored;
        QTRY_VERIFY(([&] {
            harness->run([&] { stored = device->files.file(QStringLiteral("0:\\config.ini")); });
            return stored.contains("gong=");
        }()));
        QCOMPARE(stored,
                 QByteArray("[assign]\r\nsiren=0:\\\\audio\\\\siren.wav\r\n"
                            "gong=0:\\\\audio\\\\gong.wav\r\n"));
        // Read back: the gong's row keeps its signal.
        QTRY_COMPARE(box("gong.wav")->currentText(), QStringLiteral("Сигнал гонга"));
        QVERIFY(boxes->boxes.isEmpty());
    }

    // "Сброс настроек" asks first, with "Нет" the default: only "Да" resets the unit.
    void initByDefault()
    {
        open(QStringLiteral("1.0.0"));
        QVERIFY(waitRead());
        boxes.reset();
        const int from = harness->requestLog(rig->sim).size();
        for (const auto choice : {QMessageBox::No, QMessageBox::Yes}) {
            auto defaultNo = std::make_shared<bool>(false);
            auto handled = GuiTest::onNextModal<QMessageBox>([defaultNo, choice](QMessageBox *box) {
                *defaultNo = box->defaultButton() == box->button(QMessageBox::No) &&
                    box->windowTitle() == QStringLiteral("Сброс настроек");
                box->button(choice)->click();
            });
            widget<QPushButton>(rig->window, "pushButtonInitByDefault")->click();
            QVERIFY(*handled);
            QVERIFY(*defaultNo);
            QVERIFY(roundTrip(rig->window));
            QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET")
                         .count("SET DESCRIPTOR desc_InitByDefaultCmd 1"),
                     choice == QMessageBox::Yes ? 1 : 0);
        }
        GuiTest::onNextModal<QMessageBox>([](QMessageBox *box) { box->accept(); });
    }

    // In monitoring mode the four tabs go by widget and the mode group and three buttons
    // are hidden; the screenshot tab is there only when the settings ask for it.
    void forms()
    {
        ProjectModel model(ProjectModel::Journals::None);
        model.monitoring = true;
        auto *device = new ProjectDevice(DeviceType::Norda4200, 5, QString(), false, 0, true,
                                         QStringLiteral("127.79.0.250"), -1);
        model.addDevice(nullptr, device);
        settings->setValue(QStringLiteral("application/screenshot"), QStringLiteral("1"));
        DeviceWindowContext context;
        context.settings = settings.get();
        context.project = &model;
        TovikDeviceWindow monitoring(device, context);
        QCOMPARE(tabTitles(monitoring.findChild<QTabWidget *>("tabWidgetSettings")),
                 QStringList({"Режим работы", "Линии оповещения", "Линии ППК", "Входы"}));
        QVERIFY(monitoring.findChild<QWidget *>("groupBoxWorkMode")->isHidden());
        for (const char *name :
             {"pushButtonReadAll", "pushButtonInitByDefault", "pushButtonWriteAllLo",
              "pushButtoSaveProject", "pushButtonLoadProject"})
            QVERIFY2(monitoring.findChild<QWidget *>(name)->isHidden(), name);
        // The line lamps' images load without the main window ever having been opened.
        QVERIFY(!QPixmap(QStringLiteral(":/images/buttons/Button-Blank-Gray-icon.png")).isNull());
        model.monitoring = false;
        TovikDeviceWindow configuring(device, context);
        QCOMPARE(tabTitles(configuring.findChild<QTabWidget *>("tabWidgetSettings")).size(), 8);
        settings->setValue(QStringLiteral("application/screenshot"), QStringLiteral("0"));
        TovikDeviceWindow noScreen(device, context);
        QVERIFY(!tabTitles(noScreen.findChild<QTabWidget *>("tabWidgetSettings"))
                     .contains(QStringLiteral("Скриншоты")));
    }

    // A unit whose RS-485 switch differs from the project's is marked; the project
    // controls show only with full access.
    void configDiff_data()
    {
        QTest::addColumn<bool>("fullAccess");
        QTest::newRow("full access") << true;
        QTest::newRow("no full access") << false;
    }

    void configDiff()
    {
        QFETCH(bool, fullAccess);
        settings->setValue(QStringLiteral("factory/fullaccess"), fullAccess ? "1" : "0");
        open(QStringLiteral("1.0.0"), 1000,
             [](SimDevice *device) { device->descriptors.insert("Rs485GlobalEnable", "вкл"); });
        QVERIFY(waitRead());
        QVERIFY(rig->window->configDiffers());
        QCOMPARE(widget(rig->window, "labelHasConfigMsg")->isVisible(), fullAccess);
        QCOMPARE(widget(rig->window, "pushButtonLoadProject")->isVisible(), fullAccess);
        if (fullAccess) {
            // "Загрузить из проекта" opens the write-project dialog for this unit.
            auto plan = std::make_shared<QStringList>();
            auto shown = GuiTest::onNextModal<RwParamDialog>([plan](RwParamDialog *dialog) {
                *plan = dialog->plan().lines();
                static_cast<QDialog *>(dialog)->reject();
            });
            qobject_cast<QPushButton *>(widget(rig->window, "pushButtonLoadProject"))->click();
            QTRY_VERIFY(*shown);
            QVERIFY(!plan->isEmpty());
        }
        QCOMPARE(!widget(rig->window, "pushButtonWriteBuu2Enable")->isHidden(), false);
        QCOMPARE(widget(rig->window, "spinBoxAudioInGain")->isEnabled(), fullAccess);
    }

    // "Загрузить из проекта" is one operation with one result: the deletion of a key file
    // the unit does not have is the plan's business, not a failed deletion of the window's.
    // Whatever the result, the window then reads what the unit holds.
    void loadProjectOneResult_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("box");
        QTest::newRow("written") << QString()
                                 << QStringLiteral("Запись выполнена: Параметры записаны.");
        QTest::newRow("a key file refused")
            << QStringLiteral("fail=1:SET FILE_CREATE 0:\\keys\\keys1.bin")
            << QStringLiteral("Ошибка: Ошибка на шаге");
    }

    void loadProjectOneResult()
    {
        QFETCH(QString, fault);
        QFETCH(QString, box);
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(QStringLiteral("1.0.0"), 1000,
             [](SimDevice *device) { device->descriptors.insert("Rs485GlobalEnable", "вкл"); });
        QVERIFY(waitRead());
        // Console 5001 at address 1 switches the unit's first line; 5002 at address 3 has no
        // links, and the unit no key file of it.
        auto *linked =
            new ProjectDevice(DeviceType::BexarTovik2, 5001, QString(), true, 1, false, {}, 2);
        auto *plain =
            new ProjectDevice(DeviceType::BexarTovik2, 5002, QString(), true, 3, false, {}, 2);
        rig->project->addDevice(rig->device->parentGroup(), linked);
        rig->project->addDevice(rig->device->parentGroup(), plain);
        for (InOut *io : linked->inouts) {
            if (io->type == InOutType::Button) {
                io->outlinks.append(OutLink {rig->device->id_obj, {rig->device->firstLineIndex()}});
                break;
            }
        }
        if (!fault.isEmpty())
            harness->setFault(rig->sim, fault);
        const QString serialRead = QStringLiteral("GET DESCRIPTOR desc_SerialNumber");
        const int readsBefore = harness->requestLog(rig->sim).count(serialRead);
        DeviceWindowTest::BoxWatcher *seen = boxes.get();
        auto shown = GuiTest::onNextModal<RwParamDialog>([seen](RwParamDialog *opened) {
            opened->findChild<QPushButton *>("pushButtonContinue")->click();
            // After a failure the dialog stays open with the report: the user closes it.
            auto *closer = new QTimer(opened);
            QObject::connect(closer, &QTimer::timeout, opened, [seen, opened] {
                if (!seen->boxes.isEmpty() && !opened->isRunning())
                    static_cast<QDialog *>(opened)->reject();
            });
            closer->start(20);
        });
        qobject_cast<QPushButton *>(widget(rig->window, "pushButtonLoadProject"))->click();
        QVERIFY(*shown);
        QVERIFY(boxes->waitFor(1, 30000));
        // Read again once the dialog is gone (the plan itself never reads the serial number).
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).count(serialRead) > readsBefore,
                                 20000);
        QVERIFY(waitRead(harness->requestLog(rig->sim).lastIndexOf(serialRead), 20000));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(boxes->texts().size(), 1);
        QVERIFY2(boxes->texts().first().startsWith(box), qPrintable(boxes->texts().join('|')));
    }

    // The PPK states of the status answer are shown on "Линии ППК".
    void ppkStates()
    {
        open(QStringLiteral("1.0.0"), 100, [](SimDevice *device) {
            device->statusAnswer =
                QStringLiteral("tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,0,0,36,0,0,0");
        });
        QVERIFY(waitRead());
        QTRY_COMPARE(widget<QLabel>(rig->window, "labelPpkStatus_2")->text(),
                     QStringLiteral("Состояние: сигнал пожара"));
        QCOMPARE(widget<QLabel>(rig->window, "labelPpkStatus_3")->text(),
                 QStringLiteral("Состояние: ошибка линии"));
        QCOMPARE(widget<QLabel>(rig->window, "labelPpkStatus_1")->styleSheet(),
                 QStringLiteral("color: green;"));
    }

private:
    bool waitRead(int from = 0, int ms = 10000)
    {
        return waitUnitRead(harness.get(), rig.get(), from, ms);
    }

    void open(const QString &version, int pollMs = 1000,
              const std::function<void(SimDevice *)> &before = nullptr)
    {
        rig = openRig(harness.get(), settings.get(), DeviceType::Tovik2, 2002,
                      QStringLiteral("127.79.0.%1").arg(++addressCount), pollMs,
                      [&](SimDevice *device) {
                          device->version = version;
                          if (before)
                              before(device);
                      });
        QVERIFY(rig->window);
    }

    TovikDeviceWindow *tovik() const { return qobject_cast<TovikDeviceWindow *>(rig->window); }

    int addressCount = 0;
};

NORDA_GUI_TEST_MAIN(TestTovikWindow)
#include "tst_tovikwindow.moc"
