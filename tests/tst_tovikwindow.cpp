// The central unit window against a simulated unit: what it reads on every connection for
// each firmware build, what each tab polls, what each write group sends (byte for byte),
// that a failed or out-of-range answer never becomes something written back, the clock
// round trip, link loss during the read-all and a file upload while polling; and the
// unit's status fields, read without a window.

#include "devicewindowtest.h"
#include "guitest.h"
#include "testutil.h"

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "devices/tovikdevicewindow.h"
#include "link/tovikstatus.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace DeviceWindowTest;

namespace {

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(index);
}

// The unit's read-all in the order the unit's firmware documents it; `desc_AudioInGain`
// appears twice there and is read at its first place.
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

QStringList reads(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines << QStringLiteral("GET DESCRIPTOR desc_") + name;
    return lines;
}

const QStringList filesAndStatus = {"GET FILE_LIST 0:\\audio", "SET FILE_OPEN 0:\\config.ini",
                                    "GET FILE_READ 512", "GET FILE_READ 512", "SET FILE_CLOSE"};

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

// The requests of a log that are not polls.
QStringList withoutPolls(const QStringList &log)
{
    QStringList lines;
    for (const QString &line : log) {
        if (line != QLatin1String("GET STATUS") && line != QLatin1String("GET BINSTATUS") &&
            !line.startsWith(QLatin1String("GET DESCRIPTOR desc_InputCtrlState")) &&
            !line.startsWith(QLatin1String("GET DESCRIPTOR desc_OutputState")))
            lines << line;
    }
    return lines;
}

QCheckBox *frameBox(QWidget *window, const QString &frame)
{
    auto *row = window->findChild<QWidget *>(frame);
    return row ? row->findChild<QCheckBox *>(QStringLiteral("checkBoxPultEnable")) : nullptr;
}

void fill(QWidget *window, const QStringList &fields)
{
    for (const QString &assignment : fields) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        QWidget *field = window->findChild<QWidget *>(name);
        QVERIFY2(field, qPrintable(name));
        if (name.startsWith(QLatin1String("frame")))
            field = frameBox(window, name);
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setText(value);
        else if (auto *box = qobject_cast<QComboBox *>(field))
            box->setCurrentIndex(value.mid(1).toInt());
        else if (auto *spin = qobject_cast<QSpinBox *>(field))
            spin->setValue(value.toInt());
        else if (auto *check = qobject_cast<QCheckBox *>(field))
            check->setChecked(value == QLatin1String("1"));
        else if (auto *time = qobject_cast<QDateTimeEdit *>(field))
            time->setDateTime(QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
}

struct ReadAllRow {
    const char *name;
    const char *version;
    int build;
};

struct WriteRow {
    const char *name;
    const char *version;
    QStringList fields;
    const char *button;
    QStringList sets;
    QStringList readBack;
};

struct RefusalRow {
    const char *name;
    QStringList fields;
    const char *button;
    const char *message;
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

struct StatusRow {
    const char *name;
    const char *answer;
    bool valid;
    bool hasConsoles;
    quint64 consoles;
    bool hasPpk;
    quint64 ppk;
};

struct TimeRow {
    const char *name;
    const char *text;
    const char *expected; // ISO, or null when invalid
};

struct PollRow {
    const char *name;
    const char *tab;
    const char *version;
    bool inputsEverySecond;
    bool outputsEverySecond;
    bool binStatus;
};

const char okText[] = "Запись выполнена: Параметры записаны.";

} // namespace

Q_DECLARE_METATYPE(ReadAllRow)
Q_DECLARE_METATYPE(WriteRow)
Q_DECLARE_METATYPE(RefusalRow)
Q_DECLARE_METATYPE(FailedReadRow)
Q_DECLARE_METATYPE(ModeRow)
Q_DECLARE_METATYPE(StatusRow)
Q_DECLARE_METATYPE(TimeRow)
Q_DECLARE_METATYPE(PollRow)

class TestTovikWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchConnectByName);
        QVERIFY(dir.isValid());
        harness = std::make_unique<SimHarness>();
    }

    void init()
    {
        settings = std::make_unique<QSettings>(
            dir.filePath(QStringLiteral("settings-%1.ini").arg(++settingsCount)),
            QSettings::IniFormat);
        boxes = std::make_unique<BoxWatcher>();
    }

    void cleanup()
    {
        rig.reset();
        boxes.reset();
        GuiTest::endPendingWatches();
        QCOMPARE(connectByNameWarnings(), QStringList());
    }

    void cleanupTestCase() { harness.reset(); }

    // ---- Without a window ----

    void statusFields_data()
    {
        TestUtil::addRows<StatusRow>({
            {"all consoles off, 64 bits",
             "tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,12297829382473034410,0,0,0,0,0", true,
             true, 12297829382473034410ULL, true, 0},
            {"fire on PPK 1, line fault on PPK 8",
             "tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,1,0,32769,1,1,0", true, true, 1, true,
             0x8001},
            {"short answer: clock only", "tovik2 2002,1.0,1700000000", true, false, 0, false, 0},
            {"field 11 not a number", "tovik2 2002,1.0,1,3,3,512,2,1,1,0,0,-1,0,5", true, false, 0,
             true, 5},
            {"error answer", "ERROR", false, false, 0, false, 0},
        });
    }

    // Fields 11 to 16 are unsigned 64-bit; a group the answer does not reach is absent.
    void statusFields()
    {
        QFETCH(StatusRow, row);
        const TovikStatus status = TovikStatus::parse(QString::fromLatin1(row.answer));
        QCOMPARE(status.valid, row.valid);
        QCOMPARE(status.hasConsoles, row.hasConsoles);
        QCOMPARE(status.consoles, row.consoles);
        QCOMPARE(status.hasPpk, row.hasPpk);
        QCOMPARE(status.ppk, row.ppk);
        if (row.valid)
            QCOMPARE(status.clock.toUTC(),
                     QDateTime::fromSecsSinceEpoch(
                         QString::fromLatin1(row.answer).section(',', 2, 2).toLongLong(), Qt::UTC));
    }

    void unitTime_data()
    {
        TestUtil::addRows<TimeRow>({
            {"two-digit year is 20yy", "10:15:00 01/03/24", "2024-03-01T10:15:00"},
            {"29 February 2000", "00:00:01 29/02/00", "2000-02-29T00:00:01"},
            {"last year of the century", "23:59:59 31/12/99", "2099-12-31T23:59:59"},
            {"four-digit year", "10:15:00 01/03/2024", nullptr},
            {"error", "ERROR", nullptr},
        });
    }

    void unitTime()
    {
        QFETCH(TimeRow, row);
        const QDateTime time = TovikStatus::parseUnitTime(QString::fromLatin1(row.text));
        if (!row.expected) {
            QVERIFY(!time.isValid());
            return;
        }
        QCOMPARE(time.toString(Qt::ISODate), QString::fromLatin1(row.expected));
        QCOMPARE(TovikStatus::unitTimeText(time), QString::fromLatin1(row.text));
    }

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
        const QStringList expected = QStringList {"GET VERSION", "SET FILE_RESET"} +
            reads(readAllNames(row.build)) + filesAndStatus;
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
        harness->setFault(rig->sim, QStringLiteral("delay=100"));
        const int from = harness->requestLog(rig->sim).size();
        // Some 60 ticks while 12 requests are answered.
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
        QStringList rs485Sets = {"SET DESCRIPTOR desc_DeviceTag Зал 2",
                                 "SET DESCRIPTOR desc_Rs485GlobalEnable 1",
                                 "SET DESCRIPTOR desc_DevRole 0"};
        for (int n = 0; n < 32; ++n)
            rs485Sets << QStringLiteral("SET DESCRIPTOR desc_Rs485PultEnable[%1] %2")
                             .arg(n)
                             .arg(n == 4 ? 1 : 0);
        for (int n = 0; n < 9; ++n)
            rs485Sets << QStringLiteral("SET DESCRIPTOR desc_ExtBlockRs485Enable[%1] %2")
                             .arg(n)
                             .arg(n == 0 ? 1 : 0);
        QStringList outputSets = {"SET DESCRIPTOR desc_OutputPolarity[1] 1"};
        for (int s = 0; s < 14; ++s)
            outputSets << QStringLiteral("SET DESCRIPTOR desc_OutputAssign%1[1] %2")
                              .arg(s, 2, 10, QLatin1Char('0'))
                              .arg(s == 5 || s == 13 ? 1 : 0);
        QStringList ppkSets;
        for (int n = 0; n < 8; ++n)
            ppkSets << QStringLiteral("SET DESCRIPTOR desc_PpkCtrlEnable[%1] %2")
                           .arg(n)
                           .arg(n == 2 ? QStringLiteral("да") : QStringLiteral("нет"));
        TestUtil::addRows<WriteRow>({
            {"mode",
             "1.0.0",
             {"comboBoxAlgorithm=#2", "spinBoxFirstMessageTimeSec=30",
              "comboBoxTransCheckInterval=#6"},
             "pushButtonWriteModeSettings",
             {"SET DESCRIPTOR desc_Mode 2", "SET DESCRIPTOR desc_FirstSoundTime 30",
              "SET DESCRIPTOR desc_TransCheckInterval 6"},
             {}},
            {"time",
             "1.0.0",
             {"dateTimeEdit=2031-05-04 07:08:09"},
             "pushButtonWriteTime",
             {"SET DESCRIPTOR desc_WriteTime 07:08:09 04/05/31"},
             {"desc_CurrentTime"}},
            {"ethernet",
             "1.0.0",
             {"lineEditIpAddr=192.168.010.2", "lineEditNetMask=255.255.255.0",
              "lineEditGateWay=192.168.10.1", "lineCmdPort=2323"},
             "pushButtonWriteEthernet",
             {"SET DESCRIPTOR desc_IpAddress 192.168.10.2",
              "SET DESCRIPTOR desc_NetMask 255.255.255.0",
              "SET DESCRIPTOR desc_GateWay 192.168.10.1", "SET DESCRIPTOR desc_CommandPort 2323"},
             {}},
            {"mac address",
             "1.2.576",
             {"lineEditMacAddr=02a1b2c3d4e5"},
             "pushButtonWriteMacAddress",
             {"SET DESCRIPTOR desc_MacAddress 02:A1:B2:C3:D4:E5"},
             {"desc_MacAddress"}},
            {"rs485 with the name",
             "1.2.576",
             {"lineEditDeviceName=Зал 2", "checkBoxRs485Enable=1", "comboBoxDevRole=#0",
              "framePult5=1", "frameExtBlock1=1"},
             "pushButtonWriteRs485",
             rs485Sets,
             {}},
            {"rs485 of an extension unit before build 576",
             "1.0.0",
             {"checkBoxRs485Enable=1", "comboBoxDevRole=#0", "framePult5=1", "frameExtBlock1=1",
              "comboBoxDevRole=#3"},
             "pushButtonWriteRs485",
             [&] {
                 QStringList sets = {"SET DESCRIPTOR desc_Rs485GlobalEnable 1",
                                     "SET DESCRIPTOR desc_DevRole 3"};
                 for (int n = 0; n < 32; ++n)
                     sets << QStringLiteral("SET DESCRIPTOR desc_Rs485PultEnable[%1] 0").arg(n);
                 for (int n = 0; n < 9; ++n)
                     sets << QStringLiteral("SET DESCRIPTOR desc_ExtBlockRs485Enable[%1] 0").arg(n);
                 return sets;
             }(),
             {}},
            {"ppk", "1.0.0", {"comboBoxPpkCtrlEnable_3=#1"}, "pushButtonWriteAllPpk", ppkSets, {}},
            {"input 3",
             "1.0.0",
             {"comboInputCtrlEnable3=#1"},
             "pushButtonWriteInput3",
             {"SET DESCRIPTOR desc_InputCtrlEnable[2] 1"},
             {}},
            {"output 2",
             "1.0.0",
             {"comboBoxOutputPolarity2=#1", "checkOutputAssign05_1=1", "checkOutputAssign13_1=1"},
             "pushButtonWriteOutput2",
             outputSets,
             {}},
            {"serial number",
             "1.0.0",
             {"lineEditSerialNumber=0031337"},
             "pushButtonWriteSerial",
             {"SET DESCRIPTOR desc_SerialNumber 31337"},
             {}},
            {"input gain",
             "1.0.0",
             {"spinBoxAudioInGain=150"},
             "pushButtonWriteAudioInGain",
             {"SET DESCRIPTOR desc_AudioInGain 150"},
             {"desc_AudioInGain"}},
            {"remote polarity",
             "1.2.576",
             {"comboBoxRemotePolarity=#1"},
             "pushButtonWriteRemotePolarity",
             {"SET DESCRIPTOR desc_RemotePolarity 1"},
             {"desc_RemotePolarity"}},
            {"buu-2",
             "1.2.576",
             {"comboBoxBuu2Enable=#1"},
             "pushButtonWriteBuu2Enable",
             {"SET DESCRIPTOR desc_Buu2Enable 1"},
             {"desc_Buu2Enable", "desc_Mode"}},
        });
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
                     row.sets + reads(QStringList(row.readBack).replaceInStrings("desc_", "")));
        if (QString::fromLatin1(row.button) == QLatin1String("pushButtonWriteSerial")) {
            QCOMPARE(rig->device->serial, 31337u);
            QVERIFY(rig->project->modified);
        }
        // What was written comes back.
        const QStringList before = snapshot();
        const int again = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(waitRead(again));
        QCOMPARE(snapshot(), before);
    }

    void refusals_data()
    {
        TestUtil::addRows<RefusalRow>({
            {"name with a line break",
             {"lineEditDeviceName=Зал\n2"},
             "pushButtonWriteRs485",
             "Параметры не записаны: В имени устройства есть управляющие символы или символы, "
             "которых нет в кодировке Windows-1251."},
            {"name outside Windows-1251",
             {"lineEditDeviceName=Зал ☎"},
             "pushButtonWriteRs485",
             "Параметры не записаны: В имени устройства есть управляющие символы или символы, "
             "которых нет в кодировке Windows-1251."},
            {"half-typed address",
             {"lineEditIpAddr=192.168."},
             "pushButtonWriteEthernet",
             "Параметры не записаны: поле «IP-адрес» заполнено не полностью."},
            {"half-typed mac address",
             {"lineEditMacAddr=02a1b2"},
             "pushButtonWriteMacAddress",
             "Параметры не записаны: поле «MAC-адрес» заполнено не полностью."},
            {"empty port",
             {"lineCmdPort="},
             "pushButtonWriteEthernet",
             "Параметры не записаны: поле «Командный порт» заполнено не полностью."},
        });
    }

    // A field that is not complete, or a name that cannot travel, is refused with one
    // message and nothing is sent.
    void refusals()
    {
        QFETCH(RefusalRow, row);
        open(QStringLiteral("1.2.576"));
        QVERIFY(waitRead());
        const int from = harness->requestLog(rig->sim).size();
        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(),
                 QStringList {QStringLiteral("Ошибка: ") + QString::fromUtf8(row.message)});
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET"), QStringList());
    }

    // The device name is at most 64 characters long.
    void nameLength()
    {
        open(QStringLiteral("1.2.576"));
        QVERIFY(waitRead());
        auto *name = widget<QLineEdit>(rig->window, "lineEditDeviceName");
        name->setText(QString(80, QLatin1Char('x')));
        QCOMPARE(name->text().size(), 64);
    }

    // A write the unit refuses ends in one error naming it; the serial number of the
    // project changes only after the unit took it.
    void refusedWrite()
    {
        open(QStringLiteral("1.0.0"));
        QVERIFY(waitRead());
        harness->setFault(rig->sim, QStringLiteral("fail=1:SET DESCRIPTOR desc_SerialNumber"));
        fill(rig->window, {"lineEditSerialNumber=4242"});
        widget<QPushButton>(rig->window, "pushButtonWriteSerial")->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(),
                 QStringList {QStringLiteral("Ошибка: Устройство не приняло параметры: Серийный "
                                             "номер.")});
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
        const QStringList before = snapshot();
        harness->setFault(rig->sim, QStringLiteral("fail=1:GET DESCRIPTOR %1").arg(row.descriptor));
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QVERIFY(waitRead(from));
        QCOMPARE(snapshot(), before);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY(boxes->texts().value(0).startsWith(QStringLiteral("Запись выполнена")));
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
            QCOMPARE(
                boxes->texts(),
                QStringList {"Ошибка: Параметры не записаны: не выбрано значение «Алгоритм»."});
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
        const QStringList expected =
            QStringList {"GET VERSION", "SET FILE_RESET"} + reads(readAllNames(0)) + filesAndStatus;
        QCOMPARE(
            withoutStatusRequests(harness->requestLog(rig->sim).mid(from)).mid(0, expected.size()),
            expected);
        QVERIFY(!rig->window->progressDialog()->isVisible());
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
        QElapsedTimer sinceClose;
        sinceClose.start();
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).contains("GET FILE_LIST 0:\\audio"));
        QVERIFY2(sinceClose.elapsed() >= 350, qPrintable(QString::number(sinceClose.elapsed())));
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        const int create = log.indexOf(QStringLiteral("SET FILE_CREATE 0:\\audio\\alarm.wav"));
        const int close = log.indexOf(QStringLiteral("SET FILE_CLOSE"));
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
        model.monitoring = false;
        TovikDeviceWindow configuring(device, context);
        QCOMPARE(tabTitles(configuring.findChild<QTabWidget *>("tabWidgetSettings")).size(), 8);
        settings->setValue(QStringLiteral("application/screenshot"), QStringLiteral("0"));
        TovikDeviceWindow noScreen(device, context);
        QVERIFY(!tabTitles(noScreen.findChild<QTabWidget *>("tabWidgetSettings"))
                     .contains(QStringLiteral("Скриншоты")));
        QCOMPARE(tabTitles(noScreen.findChild<QTabWidget *>("tabWidget")),
                 QStringList({"Настройка", "Журнал", "Аудио-файлы", "Состояние"}));
    }

    // "Поиск USB-устройств" finds the central unit on its USB port, and "Настройка" opens
    // its window, which reads it there and writes to it; the same for the four-line unit
    // over TCP.
    void fromMainWindow()
    {
        TestUtil::WorkDir work;
        QVERIFY(work.isValid());
        SimDevice *unit = harness->addDevice(DeviceType::Norda4200, 4201, "127.79.2.2");
        SimDevice *lumo = harness->addDevice(DeviceType::Lumo4, 4601, "127.79.2.3");
        harness->run([&] { unit->version = "1.2.620"; });
        QVERIFY(!harness->addUsb(unit).isEmpty());
        const QString projectPath = work.filePath("units.mpj");
        {
            ProjectModel project(ProjectModel::Journals::None);
            project.addDevice(
                nullptr, GuiTest::makeDevice(DeviceType::Norda4200, 4201, false, 0, QString(), -1));
            project.addDevice(
                nullptr, GuiTest::makeDevice(DeviceType::Lumo4, 4601, false, 0, "127.79.2.3", -1));
            QCOMPARE(project.save(projectPath), 0);
        }
        const QString settingsPath = work.filePath("settings.ini");
        {
            QSettings file(settingsPath, QSettings::IniFormat);
            file.setValue("paths/lastproject", projectPath);
            file.setValue("network/commandport", QString::number(harness->tcpPort(lumo)));
        }
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
        QVERIFY(!widget(rig->window, "pushButtonLoadProject")->isEnabled());
        QCOMPARE(!widget(rig->window, "pushButtonWriteBuu2Enable")->isHidden(), false);
        QCOMPARE(widget(rig->window, "spinBoxAudioInGain")->isEnabled(), fullAccess);
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

    void lumo_data()
    {
        QStringList outputSets = {"SET DESCRIPTOR desc_OutputPolarity[2] 0"};
        for (int s = 0; s < 14; ++s)
            outputSets << QStringLiteral("SET DESCRIPTOR desc_OutputAssign%1[2] %2")
                              .arg(s, 2, 10, QLatin1Char('0'))
                              .arg(s == 0 ? 1 : 0);
        TestUtil::addRows<WriteRow>({
            {"input 1",
             "1.0.0",
             {"comboInputCtrlEnable1=#1"},
             "pushButtonWriteInput1",
             {"SET DESCRIPTOR desc_InputCtrlEnable[0] 1"},
             {}},
            {"output 3",
             "1.0.0",
             {"comboBoxOutputPolarity3=#0", "checkOutputAssign00_2=1"},
             "pushButtonWriteOutput3",
             outputSets,
             {}},
            {"serial number",
             "1.0.0",
             {"lineEditSerialNumber=4404"},
             "pushButtonWriteSerial",
             {"SET DESCRIPTOR desc_SerialNumber 4404"},
             {}},
            {"input gain",
             "1.0.0",
             {"spinBoxAudioInGain=120"},
             "pushButtonWriteAudioInGain",
             {"SET DESCRIPTOR desc_AudioInGain 120"},
             {"desc_AudioInGain"}},
        });
    }

    // The four-line unit's window: the tabs it keeps, what every connection reads (no
    // files, no status, no polls), and one write of each of its groups, shown again after
    // "Прочитать всё".
    void lumo()
    {
        QFETCH(WriteRow, row);
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        rig = openRig(harness.get(), settings.get(), DeviceType::Lumo4, 4401,
                      QStringLiteral("127.79.1.%1").arg(++addressCount), 20);
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
        QCOMPARE(tabTitles(widget<QTabWidget>(rig->window, "tabWidget")),
                 QStringList({"Настройка", "Состояние"}));
        QVERIFY(widget(rig->window, "comboBoxBuu2Enable")->isHidden());
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditSerialNumber")->text(),
                 QStringLiteral("4401"));

        fill(rig->window, row.fields);
        widget<QPushButton>(rig->window, row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QTRY_COMPARE(harness->requestLog(rig->sim).mid(expected.size()),
                     row.sets + reads(QStringList(row.readBack).replaceInStrings("desc_", "")));
        const QStringList before = snapshot({"tabInputs", "tabOutputs", "tabFactory"});
        const int again = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAll")->click();
        QTRY_COMPARE(harness->requestLog(rig->sim).size(), again + expected.size() - 1);
        QTRY_COMPARE(rig->window->facade()->readListSize(), 0);
        QCOMPARE(snapshot({"tabInputs", "tabOutputs", "tabFactory"}), before);
        // The window polls nothing.
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(harness->requestLog(rig->sim).count("GET STATUS"), 0);
    }

private:
    // The unit has been read completely since `from` requests into its log (polls aside).
    bool waitRead(int from = 0, int ms = 10000)
    {
        return QTest::qWaitFor(
            [&] {
                if (!rig->window || !rig->window->isIdentified())
                    return false;
                const QStringList log = withoutPolls(harness->requestLog(rig->sim).mid(from));
                return !log.isEmpty() && log.last() == QLatin1String("SET FILE_CLOSE") &&
                    !rig->window->facade()->isFileTransferPending() &&
                    rig->window->facade()->readListSize() == 0;
            },
            ms);
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

    static QStringList tabTitles(QTabWidget *tabs)
    {
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        return titles;
    }

    // What the settings tabs show, for comparing before and after.
    QStringList snapshot(const QStringList &tabs = {"tabMode", "tabNetwork", "tabPPK", "tabInputs",
                                                    "tabOutputs", "tabFactory"}) const
    {
        QStringList values;
        for (const QString &name : tabs) {
            QWidget *tab = rig->window->findChild<QWidget *>(name);
            for (QLineEdit *edit : tab->findChildren<QLineEdit *>()) {
                if (edit->objectName() != QLatin1String("lineEditCurrentTime") &&
                    edit->objectName() != QLatin1String("qt_spinbox_lineedit"))
                    values << edit->objectName() + '=' + edit->text();
            }
            for (QComboBox *box : tab->findChildren<QComboBox *>())
                values << box->objectName() + '=' + QString::number(box->currentIndex());
            for (QCheckBox *check : tab->findChildren<QCheckBox *>())
                values << check->parent()->objectName() + '/' + check->objectName() + '=' +
                        QString::number(check->isChecked());
            for (QSpinBox *spin : tab->findChildren<QSpinBox *>())
                values << spin->objectName() + '=' + QString::number(spin->value());
        }
        return values;
    }

    QTemporaryDir dir;
    std::unique_ptr<SimHarness> harness;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<BoxWatcher> boxes;
    std::unique_ptr<Rig> rig;
    int settingsCount = 0;
    int addressCount = 0;
};

QTEST_MAIN(TestTovikWindow)
#include "tst_tovikwindow.moc"
