// The central unit window's alarm lines and state page against a simulated unit: the
// acceptance record in a real params.sqlite (save, verdict, refusals), line writes and
// calibration byte for byte with the automatic re-read, the measured values, the state
// lamps and texts of status answers of each length, console and extension unit states from
// BINSTATUS, and the two commands of the state page.

#include "devicewindowtestcase.h"
#include "guitest.h"
#include "testutil.h"
#include "tovikwindowtest.h"

#include "devices/framelo.h"
#include "devices/portstatuscontainer.h"
#include "devices/tovikdevicewindow.h"
#include "journal/databaseparams.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QtTest>

using namespace DeviceWindowTest;
using namespace TovikWindowTest;

namespace {

const QString notAccepted = QStringLiteral("ВНИМАНИЕ! ПРИЕМКА НЕ ПРОВОДИЛАСЬ!");
const QString accepted = QStringLiteral("ПРИЕМКА ПРОВЕДЕНА");
const QString differs = QStringLiteral("ВНИМАНИЕ! НЕ СОВПАДАЮТ ПАРАМЕТРЫ ИЛИ ДАТА/ВРЕМЯ ПРИЕМКИ!");

// "Прочитать все" of the lines, in the order the unit's documentation gives.
QStringList lineReads()
{
    QStringList lines;
    for (int n = 0; n < 8; ++n)
        for (const char *name : {"LoCalibValue", "LoCtrlDelta", "LoCalibTime", "LoCtrlEnable"})
            lines << QStringLiteral("GET DESCRIPTOR desc_%1[%2]").arg(QLatin1String(name)).arg(n);
    return lines;
}

struct RecordRow {
    const char *name;
    // The record stored before the window opens (control, norm, tolerance, time); empty:
    // none.
    QStringList stored;
    // What the verdict says after the connection's read-all and after "Прочитать все".
    QString afterConnection;
    QString afterReadAll;
};

struct WriteLineRow {
    const char *name;
    double norm;
    double tolerance;
    int control;
    QStringList sets;
};

struct ValuesRow {
    const char *name;
    QByteArray answer;
    QStringList shown; // the eight value fields afterwards
};

struct StatusRow {
    const char *name;
    QString answer;
    QString appStatus;
    QString fire; // lamp colours 1-8: G gray, R red, Y yellow
    QString lines;
    QString automatics;
    QString lineState3;
};

struct CommandRow {
    const char *name;
    const char *button;
    const char *sent;
    const char *message;
};

} // namespace

Q_DECLARE_METATYPE(RecordRow)
Q_DECLARE_METATYPE(WriteLineRow)
Q_DECLARE_METATYPE(ValuesRow)
Q_DECLARE_METATYPE(StatusRow)
Q_DECLARE_METATYPE(CommandRow)

class TestTovikLines : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // ---- The acceptance record ----

    void verdict_data()
    {
        const QStringList same = {"вкл", "12.000", "1.500", "10:15:00 01.03.2024"};
        // clang-format off
        TestUtil::addRows<RecordRow>({
            {"no record", {}, notAccepted, notAccepted},
            // The connection's read-all has no calibration time: no verdict until it is read.
            {"same record", same, QString(), accepted},
            {"decimal comma", {"вкл", "12,000", "1,5", "10:15:00 01.03.2024"}, QString(), accepted},
            {"other norm", {"вкл", "12.500", "1.500", "10:15:00 01.03.2024"}, QString(), differs},
            {"other control", {"откл", "12.000", "1.500", "10:15:00 01.03.2024"}, QString(), differs},
            {"other time", {"вкл", "12.000", "1.500", "10:15:00 02.03.2024"}, QString(), differs},
        });
        // clang-format on
    }

    // The verdict of line 1 against a record stored before: withheld while the line is
    // read only in part, then given once all four values are read.
    void verdict()
    {
        QFETCH(RecordRow, row);
        if (!row.stored.isEmpty()) {
            DatabaseParams db(dbPath);
            const char *names[] = {"LoCtrlEnable", "LoCalibValue", "LoCtrlDelta", "LoCalibTime"};
            QList<QPair<QString, QString>> values;
            for (int i = 0; i < 4; ++i)
                values.append(
                    {QStringLiteral("desc_%1[0]").arg(QLatin1String(names[i])), row.stored.at(i)});
            // The first device of a new project has the object id 0.
            QVERIFY(db.insertParams(0, values, QDateTime::currentDateTime()));
        }
        open();
        QCOMPARE(rig->device->id_obj, 0);
        QVERIFY(waitRead());
        FrameLo *line = frame(0);
        const QString afterConnection = line->labelInspectionMessage->text();
        if (row.afterConnection.isEmpty()) {
            QVERIFY2(afterConnection != accepted && afterConnection != differs &&
                         afterConnection != notAccepted,
                     qPrintable(afterConnection));
            QCOMPARE(line->lineEditNormaBase->text(), row.stored.at(1));
        } else {
            QCOMPARE(afterConnection, row.afterConnection);
            QCOMPARE(line->lineEditNormaBase->text(), QStringLiteral("нет в базе"));
        }
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        QTRY_COMPARE(withoutPolls(harness->requestLog(rig->sim).mid(from)), lineReads());
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(line->labelInspectionMessage->text(), row.afterReadAll);
        QCOMPARE(line->lineEditCalibDateTime->text(), QStringLiteral("10:15:00 01.03.2024"));
        QVERIFY(boxes->boxes.isEmpty());
    }

    // A failed answer changes no value; the line's verdict waits for a good one.
    void failedAnswer()
    {
        {
            DatabaseParams db(dbPath);
            QVERIFY(db.insertParams(0,
                                    {{"desc_LoCtrlEnable[0]", "вкл"},
                                     {"desc_LoCalibValue[0]", "12.000"},
                                     {"desc_LoCtrlDelta[0]", "1.500"},
                                     {"desc_LoCalibTime[0]", "10:15:00 01.03.2024"}},
                                    QDateTime::currentDateTime()));
        }
        open();
        QVERIFY(waitRead());
        FrameLo *line = frame(0);
        harness->setFault(rig->sim, QStringLiteral("fail=1:GET DESCRIPTOR desc_LoCalibValue[0]"));
        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        QTRY_VERIFY(!line->lineEditCalibDateTime->text().isEmpty());
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(line->spinBoxLoNorm->value(), 12.0);
        const QString withheld = line->labelInspectionMessage->text();
        QVERIFY2(withheld != accepted && withheld != differs && withheld != notAccepted,
                 qPrintable(withheld));
        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        QTRY_COMPARE(line->labelInspectionMessage->text(), accepted);
    }

    // Copy and save: the four values stored together, as the fields show them (no suffix),
    // read back by another program; the verdict follows, and a changed norm is reported.
    void saveCycle()
    {
        open(50);
        QVERIFY(waitRead());
        FrameLo *line = frame(2);
        // Nothing that is not a value from the unit is ever stored.
        line->pushButtonSaveLoParams->click();
        QVERIFY(boxes->waitFor(1));
        line->pushButtonCopyLoParams->click(); // calibration time not read yet
        line->pushButtonSaveLoParams->click();
        QVERIFY(boxes->waitFor(2));
        for (const BoxWatcher::Box &box : qAsConst(boxes->boxes))
            QVERIFY2(box.text.startsWith(QStringLiteral("Приёмка не сохранена")),
                     qPrintable(box.text));
        QCOMPARE(TestUtil::sqlite3(dbPath, "SELECT count(*) FROM dev_params;"),
                 QStringLiteral("0"));
        QCOMPARE(line->labelInspectionMessage->text(), notAccepted);

        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        QTRY_VERIFY(!line->lineEditCalibDateTime->text().isEmpty());
        QVERIFY(roundTrip(rig->window));
        line->pushButtonCopyLoParams->click();
        QVERIFY(line->lineEditNormaBase->font().italic());
        line->pushButtonSaveLoParams->click();
        QVERIFY(boxes->waitFor(3));
        QCOMPARE(boxes->boxes.last().text,
                 QStringLiteral("Приёмка сохранена в базе (Линия оповещения 3)."));
        QVERIFY(!line->lineEditNormaBase->font().italic());
        QCOMPARE(
            TestUtil::sqlite3(dbPath,
                              "SELECT param_name || '=' || param_value FROM dev_params "
                              "WHERE device_unique_id = 0 ORDER BY record_id;")
                .split('\n', Qt::SkipEmptyParts),
            QStringList({"desc_LoCtrlEnable[2]=вкл", "desc_LoCalibValue[2]=12.300",
                         "desc_LoCtrlDelta[2]=1.500", "desc_LoCalibTime[2]=10:15:00 01.03.2024"}));
        QCOMPARE(line->labelInspectionMessage->text(), accepted);
        QCOMPARE(line->spinBoxLoNorm->text(), QStringLiteral("12.300 В"));

        // The record is read from the database once, not with every answer: a change made
        // by another program shows only after the window stores its own record again.
        TestUtil::sqlite3(dbPath,
                          "UPDATE dev_params SET param_value = '99.000' WHERE "
                          "param_name = 'desc_LoCalibValue[2]';");
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabLO"));
        const int polled = harness->requestLog(rig->sim).size();
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(polled).count("GET LO_CURRENT_VALUES") >= 2);
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(line->lineEditNormaBase->text(), QStringLiteral("12.300"));
        QCOMPARE(line->labelInspectionMessage->text(), accepted);

        // The unit's norm changes behind the record's back.
        harness->run([&] {
            rig->sim->descriptors.insert(QStringLiteral("LoCalibValue[2]"),
                                         QStringLiteral("12700"));
        });
        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        QTRY_COMPARE(line->spinBoxLoNorm->value(), 12.7);
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(line->labelInspectionMessage->text(), differs);
        QCOMPARE(line->lineEditNormaBase->text(), QStringLiteral("12.300"));
        QCOMPARE(boxes->boxes.size(), 3);
    }

    // A database that refuses the last of the four inserts stores none of them, and says so.
    void saveFailure()
    {
        open();
        QVERIFY(waitRead());
        TestUtil::sqlite3(dbPath,
                          "CREATE TRIGGER refuse BEFORE INSERT ON dev_params WHEN "
                          "NEW.param_name LIKE 'desc_LoCalibTime%' BEGIN SELECT "
                          "RAISE(ABORT, 'refused'); END;");
        widget<QPushButton>(rig->window, "pushButtonReadAllLo")->click();
        FrameLo *line = frame(0);
        QTRY_VERIFY(!line->lineEditCalibDateTime->text().isEmpty());
        QVERIFY(roundTrip(rig->window));
        line->pushButtonCopyLoParams->click();
        line->pushButtonSaveLoParams->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->boxes.first().text,
                 QStringLiteral("Приёмка не сохранена: ошибка записи в базу параметров "
                                "(Линия оповещения 1)."));
        QCOMPARE(TestUtil::sqlite3(dbPath, "SELECT count(*) FROM dev_params;"),
                 QStringLiteral("0"));
        QCOMPARE(line->labelInspectionMessage->text(), notAccepted);
        QVERIFY(line->lineEditNormaBase->font().italic());
    }

    // ---- Writes and calibration ----

    void writeLine_data()
    {
        // clang-format off
        TestUtil::addRows<WriteLineRow>({
            {"whole volts", 24.0, 2.0, 1, {"LoCtrlEnable[4] 1", "LoCalibValue[4] 24000", "LoCtrlDelta[4] 2000"}},
            {"half volts", 1.5, 0.5, 0, {"LoCtrlEnable[4] 0", "LoCalibValue[4] 1500", "LoCtrlDelta[4] 500"}},
            {"millivolts", 12.345, 0.001, 1, {"LoCtrlEnable[4] 1", "LoCalibValue[4] 12345", "LoCtrlDelta[4] 1"}},
        });
        // clang-format on
    }

    // "Записать" of line 5: the three values in whole millivolts, one message.
    void writeLine()
    {
        QFETCH(WriteLineRow, row);
        open();
        QVERIFY(waitRead());
        FrameLo *line = frame(4);
        line->spinBoxLoNorm->setValue(row.norm);
        line->spinBoxLoThreshold->setValue(row.tolerance);
        line->comboBoxLoCtrlEnable->setCurrentIndex(row.control);
        const int from = harness->requestLog(rig->sim).size();
        line->pushButtonWrite->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QCOMPARE(withoutPolls(harness->requestLog(rig->sim).mid(from)), setRequests(row.sets));
    }

    // "Записать все": every line's three writes in one list, one message.
    void writeAll()
    {
        open();
        QVERIFY(waitRead());
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonWriteAllLo")->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        const QStringList sent = withoutPolls(harness->requestLog(rig->sim).mid(from));
        QCOMPARE(sent.size(), 24);
        QCOMPARE(sent.at(21), QStringLiteral("SET DESCRIPTOR desc_LoCtrlEnable[7] 1"));
        QCOMPARE(sent.at(22), QStringLiteral("SET DESCRIPTOR desc_LoCalibValue[7] 13050"));
        QCOMPARE(sent.at(23), QStringLiteral("SET DESCRIPTOR desc_LoCtrlDelta[7] 1500"));
    }

    // Calibrating line 3 sends the command; three ticks later the lines are read again
    // and show the norm and time the calibration gave.
    void calibration()
    {
        open(50);
        QVERIFY(waitRead());
        harness->run([&] { rig->sim->lineValues[2] = 23500; });
        auto *window = qobject_cast<TovikDeviceWindow *>(rig->window.data());
        const int from = harness->requestLog(rig->sim).size();
        frame(2)->pushButtonCalibLo->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(),
                 QStringList {QStringLiteral("Запись выполнена: Калибровка выполнена.")});
        QTRY_COMPARE(frame(2)->spinBoxLoNorm->value(), 23.5);
        QVERIFY(roundTrip(window));
        QCOMPARE(withoutPolls(harness->requestLog(rig->sim).mid(from)),
                 QStringList {"SET DESCRIPTOR desc_LoCtrlCalibCmd[2] 1"} + lineReads() +
                     QStringList {"GET DESCRIPTOR desc_SerialNumber"});
        QVERIFY(!frame(2)->lineEditCalibDateTime->text().startsWith(QLatin1String("10:15:00")));
        // The other lines keep their norm.
        QCOMPARE(frame(3)->spinBoxLoNorm->value(), 12.45);
        QCOMPARE(boxes->boxes.size(), 1);
    }

    // ---- Measured values ----

    void currentValues_data()
    {
        const QStringList none = {"", "", "", "", "", "", "", ""};
        // clang-format off
        TestUtil::addRows<ValuesRow>({
            {"eight values", "24000,24050,1500,0,120,30000,99999,12345\r\nOK\r\n",
             {"24.000", "24.050", "1.500", "0.000", "0.120", "30.000", "99.999", "12.345"}},
            {"seven values", "24000,24050,1500,0,120,30000,99999\r\nOK\r\n", none},
            {"nine values", "1,2,3,4,5,6,7,8,9\r\nOK\r\n", none},
            {"a field not a number", "24000,x,1500,,120,30000,99999,12345\r\nOK\r\n",
             {"24.000", "ошибка", "1.500", "ошибка", "0.120", "30.000", "99.999", "12.345"}},
            {"error", "ERROR\r\n", none},
        });
        // clang-format on
    }

    // The answer to LO_CURRENT_VALUES fills the eight value fields only when it has eight
    // fields; one that is not a number shows "ошибка".
    void currentValues()
    {
        QFETCH(ValuesRow, row);
        open(20, [&](SimDevice *) {});
        harness->setRawAnswer(rig->sim, QStringLiteral("GET LO_CURRENT_VALUES"), row.answer);
        QVERIFY(waitRead());
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabLO"));
        const int from = harness->requestLog(rig->sim).size();
        QTRY_VERIFY(harness->requestLog(rig->sim).mid(from).count("GET LO_CURRENT_VALUES") >= 2);
        QVERIFY(roundTrip(rig->window));
        QStringList shown;
        for (int n = 0; n < 8; ++n)
            shown << frame(n)->lineEditLoVoltage->text();
        QCOMPARE(shown, row.shown);
    }

    // Polled every tick while the tab is shown, every fifth tick otherwise, one request at a
    // time.
    void currentValuesPolls()
    {
        open(20);
        QVERIFY(waitRead());
        auto *tabs = widget<QTabWidget>(rig->window, "tabWidgetSettings");
        for (const bool shown : {true, false}) {
            tabs->setCurrentWidget(widget(rig->window, shown ? "tabLO" : "tabMode"));
            QVERIFY(roundTrip(rig->window));
            const int from = harness->requestLog(rig->sim).size();
            QTRY_VERIFY_WITH_TIMEOUT(
                harness->requestLog(rig->sim).mid(from).count("GET STATUS") >= 21, 10000);
            const QStringList log = harness->requestLog(rig->sim).mid(from);
            const int ticks = log.count("GET STATUS");
            const int polls = log.count("GET LO_CURRENT_VALUES");
            QVERIFY2(shown ? polls >= ticks - 2 : qAbs(polls - ticks / 5) <= 2,
                     qPrintable(QStringLiteral("%1 polls in %2 ticks").arg(polls).arg(ticks)));
        }
        QCOMPARE(frame(7)->lineEditLoVoltage->text(), QStringLiteral("24.350"));
    }

    // The eight lines beside their acceptance records fit a 1366 x 768 laptop screen: at
    // most a vertical scroll bar, no label cut and no field narrower than its text (a field
    // squeezed below "нет в базе" shows "в базе").
    void linesFitLaptopScreen()
    {
        open();
        QVERIFY(waitRead());
        QWidget *window = rig->window;
        QVERIFY(window->minimumSizeHint().width() <= 1366);
        window->resize(1366, 768);
        widget<QTabWidget>(window, "tabWidgetSettings")->setCurrentWidget(widget(window, "tabLO"));
        QTRY_COMPARE(frame(0)->lineEditDateTimeBase->text(), QStringLiteral("нет в базе"));
        frame(1)->lineEditDateTimeBase->setText(QStringLiteral("23:59:58 28.02.2024"));
        frame(2)->lineEditLoState->setText(QStringLiteral("короткое замыкание"));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        auto *area = widget<QScrollArea>(window, "scrollAreaLo");
        QApplication::processEvents();
        QVERIFY(!area->grab().isNull());
        QCOMPARE(area->horizontalScrollBar()->maximum(), 0);
        QStringList cut;
        for (QLabel *label : area->widget()->findChildren<QLabel *>()) {
            if (label->isVisibleTo(area) && !label->wordWrap() &&
                label->width() < label->sizeHint().width())
                cut << label->text();
        }
        for (QLineEdit *edit : area->widget()->findChildren<QLineEdit *>()) {
            const int frameWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            const int needed = edit->fontMetrics().horizontalAdvance(edit->text()) + 4 +
                2 * frameWidth + edit->textMargins().left() + edit->textMargins().right();
            if (edit->isVisibleTo(area) && edit->width() < needed)
                cut << edit->text();
        }
        for (QAbstractButton *button : area->widget()->findChildren<QAbstractButton *>()) {
            if (button->isVisibleTo(area) && button->width() < button->minimumSizeHint().width())
                cut << button->text();
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(" | ")));
        // The picture of the tab, for the documentation.
        const QString shots = qEnvironmentVariable("NORDA_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(
                widget(window, "tabLO")->grab().save(shots + QStringLiteral("/lines-1366.png")));
    }

    // A unit that answers slowly gets one request for the values at a time.
    void oneValuesRequestAtATime()
    {
        open(20);
        QVERIFY(waitRead());
        widget<QTabWidget>(rig->window, "tabWidgetSettings")
            ->setCurrentWidget(widget(rig->window, "tabLO"));
        harness->setFault(rig->sim, QStringLiteral("delay=50"));
        const int from = harness->requestLog(rig->sim).size();
        QTRY_VERIFY_WITH_TIMEOUT(harness->requestLog(rig->sim).size() - from >= 12, 10000);
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        harness->clearFaults(rig->sim);
        QVERIFY2(log.count("GET LO_CURRENT_VALUES") <= log.count("GET STATUS") + 1,
                 qPrintable(log.join(", ")));
    }

    // ---- The state page ----

    void status_data()
    {
        const QString head = QStringLiteral("tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,0,");
        TestUtil::addRows<StatusRow>({
            // Fields up to the PPK states (16 fields): the line states, not the state or lamps.
            {"sixteen fields", head + "36,36,0", "", "GGGGGGGG", "GGGGGGGG", "GGGGGGGG", "обрыв"},
            // Line 2 short, line 3 open; PPK input 2 alarm, 3 line fault; state 3 (fire).
            {"states without activation", head + "36,36,3,0,0", "ПОЖАР", "GYYGGGGG", "GYYGGGGG",
             "RRRRRRRR", "обрыв"},
            // Activation wins over the state: input 1 and line 3 activated.
            {"activation bits", head + "36,36,0,1,4", "ДЕЖУРНЫЙ РЕЖИМ", "RYYGGGGG", "GYRGGGGG",
             "GGGGGGGG", "обрыв"},
            {"automatics off by code 9", head + "0,0,9,0,0", "НЕКОРРЕКТНОЕ ЗНАЧЕНИЕ", "GGGGGGGG",
             "GGGGGGGG", "RRRRRRRR", "норма"},
            {"code 5", head + "0,0,5,255,0", "СИРЕНА", "RRRRRRRR", "GGGGGGGG", "GGGGGGGG", "норма"},
        });
    }

    // What each status answer shows on the state page and in the line frames.
    void status()
    {
        QFETCH(StatusRow, row);
        const QString answer = row.answer;
        open(50, [answer](SimDevice *device) { device->statusAnswer = answer; });
        QVERIFY(waitRead());
        QTRY_COMPARE(frame(2)->lineEditLoState->text(), row.lineState3);
        QVERIFY(roundTrip(rig->window));
        QTRY_VERIFY(harness->requestLog(rig->sim).count("GET STATUS") >= 3);
        QCOMPARE(widget<QLineEdit>(rig->window, "lineEditAppStatus")->text(), row.appStatus);
        QCOMPARE(lamps("portStatusFire"), row.fire);
        QCOMPARE(lamps("portStatusLines"), row.lines);
        QCOMPARE(lamps("portStatusAuto"), row.automatics);
        QCOMPARE(frame(2)->lineEditLoState->styleSheet(),
                 row.lineState3 == QStringLiteral("норма") ? QStringLiteral("color: green;")
                                                           : QStringLiteral("color: red;"));
        // A lamp is its picture.
        auto *fire = widget<PortStatusContainer>(rig->window, "portStatusFire");
        QCOMPARE(fire->findChild<QWidget *>(QStringLiteral("lamp1"))->styleSheet(),
                 PortStatusContainer::styleSheet(fire->lamp(1)));
    }

    // Without a link the state page says so, and shows no lamps of the link that went; the
    // next link's status shows them again.
    void stateWithoutLink()
    {
        const QString answer =
            QStringLiteral("tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,0,36,36,3,0,0");
        open(50, [answer](SimDevice *device) { device->statusAnswer = answer; });
        auto *state = widget<QLineEdit>(rig->window, "lineEditAppStatus");
        QVERIFY(waitRead());
        QTRY_COMPARE(state->text(), QStringLiteral("ПОЖАР"));
        QCOMPARE(lamps("portStatusAuto"), QStringLiteral("RRRRRRRR"));
        harness->unplug(rig->sim);
        QTRY_COMPARE(state->text(), QStringLiteral("нет связи"));
        for (const char *row : {"portStatusFire", "portStatusLines", "portStatusAuto"})
            QCOMPARE(lamps(row), QStringLiteral("GGGGGGGG"));
        QVERIFY(harness->replug(rig->sim));
        QTRY_COMPARE(state->text(), QStringLiteral("ПОЖАР"));
    }

    // Console states of field 11 in the consoles' labels.
    void consoleStates()
    {
        // Consoles 1..4: error, connected, off, unknown (2 bits each: 0, 1, 2, 3).
        const quint64 consoles = 0u | (1u << 2) | (2u << 4) | (3u << 6) | (quint64(1) << 62);
        const QString answer =
            QStringLiteral("tovik2 2002,1.0,1700000000,3,3,512,2,1,1,0,0,%1").arg(consoles);
        open(50, [answer](SimDevice *device) { device->statusAnswer = answer; });
        QVERIFY(waitRead());
        QTRY_COMPARE(label("labelPultState1")->text(), QStringLiteral("Состояние: ошибка связи"));
        QCOMPARE(label("labelPultState1")->styleSheet(), QStringLiteral("color: red;"));
        QCOMPARE(label("labelPultState2")->text(), QStringLiteral("Состояние: подключен"));
        QCOMPARE(label("labelPultState3")->text(), QStringLiteral("Состояние: отключен"));
        QCOMPARE(label("labelPultState4")->text(), QStringLiteral("Состояние: неизвестно"));
        QCOMPARE(label("labelPultState32")->text(), QStringLiteral("Состояние: подключен"));
        QCOMPARE(label("labelPultState5")->text(), QStringLiteral("Состояние: ошибка связи"));
    }

    // BINSTATUS in the layout of the status document: console 9 is not console 1, console 32
    // and extension unit 9 have their own bits, and an answer too short for a bit leaves its
    // row as it was.
    void binStatus()
    {
        open(50, [](SimDevice *device) {
            device->version = QStringLiteral("1.2.620");
            for (const char *name :
                 {"Rs485PultEnable[0]", "Rs485PultEnable[8]", "Rs485PultEnable[31]",
                  "ExtBlockRs485Enable[8]", "ExtBlockRs485Enable[0]"})
                device->descriptors.insert(QLatin1String(name), QStringLiteral("да"));
            device->consoleFaults = (1u << 8) | (1u << 31);
            device->extensionFaults = 1u << 8;
        });
        QVERIFY(waitRead());
        QTRY_COMPARE(pultState("framePult9"), QStringLiteral("ошибка связи"));
        QCOMPARE(pultState("framePult1"), QStringLiteral("подключено"));
        QCOMPARE(pultState("framePult32"), QStringLiteral("ошибка связи"));
        QCOMPARE(pultState("framePult2"), QStringLiteral("отключено"));
        QCOMPARE(pultState("frameExtBlock9"), QStringLiteral("ошибка связи"));
        QCOMPARE(pultState("frameExtBlock1"), QStringLiteral("подключено"));
        QCOMPARE(pultState("frameExtBlock2"), QStringLiteral("отключено"));

        // A box ticked is no console switched on: the row says "подключено" only once the
        // unit has confirmed the write.
        widget(rig->window, "framePult2")
            ->findChild<QCheckBox *>(QStringLiteral("checkBoxPultEnable"))
            ->setChecked(true);
        const int polled = harness->requestLog(rig->sim).count("GET BINSTATUS");
        QTRY_VERIFY(harness->requestLog(rig->sim).count("GET BINSTATUS") >= polled + 3);
        QCOMPARE(pultState("framePult2"), QStringLiteral("отключено"));
        widget<QPushButton>(rig->window, "pushButtonWriteRs485")->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts().first().left(16), QStringLiteral("Запись выполнена"));
        QTRY_COMPARE(pultState("framePult2"), QStringLiteral("подключено"));

        // Twenty bytes: every console bit, but no extension unit bit.
        harness->run([&] {
            rig->sim->consoleFaults = 0;
            rig->sim->extensionFaults = 0;
        });
        harness->setRawAnswer(rig->sim, QStringLiteral("GET BINSTATUS"),
                              QByteArray(15 * 2, '0') + "0100000000\r\nOK\r\n");
        QTRY_COMPARE(pultState("framePult9"), QStringLiteral("подключено"));
        QCOMPARE(pultState("framePult1"), QStringLiteral("ошибка связи"));
        QCOMPARE(pultState("frameExtBlock9"), QStringLiteral("ошибка связи"));
        QCOMPARE(pultState("frameExtBlock2"), QStringLiteral("отключено"));
    }

    void commands_data()
    {
        // clang-format off
        TestUtil::addRows<CommandRow>({
            {"zummer off", "pushButtonZummerOff", "SET DESCRIPTOR desc_Zummer_enabled 0", "Запись выполнена: Зуммер отключен."},
            {"reset", "pushButtonTovikReset", "SET DESCRIPTOR desc_Tovik2Reset 1", "Запись выполнена: Прибор сброшен."},
        });
        // clang-format on
    }

    // The two commands of the state page: offered only while connected, one line on the
    // wire, one message.
    void commands()
    {
        QFETCH(CommandRow, row);
        open();
        auto *button = widget<QPushButton>(rig->window, row.button);
        QVERIFY(!button->isEnabled());
        QVERIFY(waitRead());
        QVERIFY(button->isEnabled());
        const int from = harness->requestLog(rig->sim).size();
        button->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(row.message)});
        QCOMPARE(withoutPolls(harness->requestLog(rig->sim).mid(from)),
                 QStringList {QString::fromLatin1(row.sent)});
        harness->unplug(rig->sim);
        QTRY_VERIFY(!button->isEnabled());
    }

private:
    bool waitRead() { return waitUnitRead(harness.get(), rig.get()); }

    void open(int pollMs = 1000, const std::function<void(SimDevice *)> &before = nullptr)
    {
        rig = openRig(harness.get(), settings.get(), DeviceType::Tovik2, 2002,
                      QStringLiteral("127.93.0.%1").arg(++addressCount), pollMs, before);
        QVERIFY(rig->window);
        rig->project->paramsDb = new DatabaseParams(dbPath, rig->project.get());
    }

    FrameLo *frame(int line) const
    {
        return rig->window->findChild<FrameLo *>(QStringLiteral("frameLo%1").arg(line + 1));
    }

    QLabel *label(const char *name) const { return widget<QLabel>(rig->window, name); }

    QString pultState(const char *frameName) const
    {
        auto *row = rig->window->findChild<QWidget *>(QLatin1String(frameName));
        return row->findChild<QLineEdit *>(QStringLiteral("lineEditPultState"))->text();
    }

    QString lamps(const char *row) const
    {
        auto *container = widget<PortStatusContainer>(rig->window, row);
        QString colours;
        for (int n = 1; n <= 8; ++n)
            colours += QStringLiteral("GR??Y").at(container->lamp(n));
        return colours;
    }

    // Every test function has a parameter database of its own.
    void initFunction() override
    {
        dbPath = dir.filePath(QStringLiteral("params-%1.sqlite").arg(++count));
    }

    QString dbPath;
    int count = 0;
    int addressCount = 0;
};

NORDA_GUI_TEST_MAIN(TestTovikLines)
#include "tst_toviklines.moc"
