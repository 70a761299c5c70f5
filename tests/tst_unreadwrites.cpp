// Every write group of every device window against a device whose descriptor reads all
// fail: a field that was never read holds no value, and a group whose fields are not all
// read or entered by the user is refused with one message naming them; nothing reaches the
// device and the project stays as it was. Also: the hidden number of an unread spin box
// typed by the user is a value, and the central unit's clock field holds only the years
// the unit can keep.

#include "devicewindowtestcase.h"
#include "testutil.h"
#include "tovikwindowtest.h"

#include "project/devicetype.h"

#include <QDateTimeEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace DeviceWindowTest;
using namespace TovikWindowTest;

namespace {

struct UnreadRow {
    const char *name;
    int type;
    const char *version; // the firmware the simulated device reports
    QStringList entered; // what the user typed first (as fill() takes it)
    const char *button; // "frame/button" for a button inside a frame
    QStringList missing; // the fields the refusal names, in order
};

struct YearRow {
    const char *name;
    const char *typed; // into the year of a field showing 07:08:09 04.05.2031
    const char *sent;
};

QString refusal(const QStringList &labels)
{
    QStringList quoted;
    for (const QString &label : labels)
        quoted << QStringLiteral("«%1»").arg(label);
    return labels.size() == 1
        ? QStringLiteral("Параметры не записаны: поле %1 заполнено не полностью.").arg(quoted[0])
        : QStringLiteral("Параметры не записаны: поля %1 заполнены не полностью.")
              .arg(quoted.join(QStringLiteral(", ")));
}

QStringList numbered(const QString &label, int count)
{
    QStringList labels;
    for (int n = 1; n <= count; ++n)
        labels << label.arg(n);
    return labels;
}

// The polarity and the 14 signal boxes of an output, as the form names them.
QStringList output(const char *title)
{
    const QString name = QString::fromUtf8(title);
    QStringList labels = {name + QStringLiteral(": Полярность")};
    for (const char *signal :
         {"Активация Входа 1", "Активация Входа 2", "Активация Входа УПР.", "Пожар",
          "Неисправность Входа 1", "Неисправность Входа 2", "Неисправность Входа УПР.",
          "Неисправность УМ", "Неисправность 220В", "Вскрытие корпуса", "Неисправность ЛО",
          "Неисправность ППК", "Неисправность Пультов", "Неисправность БР"})
        labels << name + QStringLiteral(": ") + QString::fromUtf8(signal);
    return labels;
}

QStringList lineLabels(int line)
{
    const QString title = QStringLiteral("линия оповещения %1").arg(line);
    return {QStringLiteral("Контроль линии (%1)").arg(title),
            QStringLiteral("Норма (%1)").arg(title), QStringLiteral("Допуск (%1)").arg(title)};
}

} // namespace

Q_DECLARE_METATYPE(UnreadRow)
Q_DECLARE_METATYPE(YearRow)

class TestUnreadWrites : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    void unreadGroupsAreRefused_data()
    {
        const int horn = DeviceType::Horn, console = DeviceType::IpPult, media = DeviceType::Media,
                  unit = DeviceType::Tovik2, lumo = DeviceType::Lumo4;
        const QStringList address = {"IP-адрес", "Маска подсети", "Шлюз"};
        const QStringList port = {"lineCmdPort=2323"};
        const QStringList serial = {"lineEditSerialNumber=77"};
        const char *const audio = "1.0";
        const char *const newer = "1.2.576";
        QStringList rs485 = {"Включить RS-485", "Тип блока"};
        rs485 += numbered(QStringLiteral("Пульт %1"), 32);
        rs485 += numbered(QStringLiteral("Блок расширения %1"), 9);
        QStringList allLines;
        for (int line = 1; line <= 8; ++line)
            allLines += lineLabels(line);
        // clang-format off
        const UnreadRow rows[] = {
            {"loudspeaker ethernet", horn, audio, port, "pushButtonWriteEthernet", address},
            {"loudspeaker sound", horn, audio, {}, "pushButtonWriteMaxVolume", {"Максимальная громкость"}},
            {"loudspeaker factory", horn, audio, serial, "pushButtonWriteSerial", {"Номинальное усиление, дБ"}},
            {"media converter ethernet", media, audio, port, "pushButtonWriteEthernet", address},
            {"media converter sound", media, audio, {}, "pushButtonWriteMaxVolume", {"Максимальная громкость"}},
            {"media converter factory", media, audio, serial, "pushButtonWriteSerial", {"Усиление по входу, %"}},
            {"console ethernet", console, audio, {"lineCmdPort=2323", "lineEditOutPort=5004"}, "pushButtonWriteEthernet",
             address + QStringList {"Широковещательный адрес"}},
            {"console signals", console, audio, {}, "pushButtonWriteSignalVolume", {"Громкость сигнала 1", "Громкость сигнала 2"}},
            {"console sound outputs", console, audio, {}, "pushButtonWriteAmps",
             {"Усиление внешнего звукового выхода", "Усиление встроенного динамика"}},
            {"console factory", console, audio, {}, "pushButtonWriteSerial", {"Серийный номер"}},
            {"unit mode", unit, newer, {}, "pushButtonWriteModeSettings",
             {"Алгоритм", "Время первого сообщения", "Интервал контроля трансляции"}},
            {"unit time", unit, newer, {}, "pushButtonWriteTime", {"Время прибора"}},
            {"unit ethernet", unit, newer, port, "pushButtonWriteEthernet", address},
            {"unit mac address", unit, newer, {}, "pushButtonWriteMacAddress", {"MAC-адрес"}},
            {"unit rs485", unit, newer, {"lineEditDeviceName=Зал 2"}, "pushButtonWriteRs485", rs485},
            {"unit ppk", unit, newer, {}, "pushButtonWriteAllPpk", numbered(QStringLiteral("Контроль ППК %1"), 8)},
            {"unit input 1", unit, newer, {}, "pushButtonWriteInput1", {"Вход 1: Контроль"}},
            {"unit control input", unit, newer, {}, "pushButtonWriteInput3", {"Вход управления: Контроль"}},
            {"unit output 2", unit, newer, {}, "pushButtonWriteOutput2", output("Выход 2")},
            {"unit factory", unit, newer, {}, "pushButtonWriteSerial", {"Серийный номер"}},
            {"unit input gain", unit, newer, {}, "pushButtonWriteAudioInGain", {"Усиление по входу"}},
            {"unit remote polarity", unit, newer, {}, "pushButtonWriteRemotePolarity", {"Включение УМ"}},
            {"unit buu-2", unit, newer, {}, "pushButtonWriteBuu2Enable", {"Модуль БУУ-2"}},
            {"unit line 3", unit, newer, {}, "frameLo3/pushButtonWrite", lineLabels(3)},
            {"unit all lines", unit, newer, {}, "pushButtonWriteAllLo", allLines},
            {"four-line unit input 2", lumo, newer, {}, "pushButtonWriteInput2", {"Вход 2: Контроль"}},
            {"four-line unit output 1", lumo, newer, {}, "pushButtonWriteOutput1", output("Выход 1")},
            {"four-line unit input gain", lumo, newer, {}, "pushButtonWriteAudioInGain", {"Усиление по входу"}},
            {"four-line unit remote polarity", lumo, newer, {}, "pushButtonWriteRemotePolarity", {"Включение УМ"}},
        };
        // clang-format on
        TestUtil::addRows(rows);
    }

    // With full access, every descriptor read answered "ERROR": the group's "Записать"
    // sends nothing, one message names the fields that hold no value, and the project
    // keeps its address and serial number.
    void unreadGroupsAreRefused()
    {
        QFETCH(UnreadRow, row);
        settings->setValue(QStringLiteral("factory/fullaccess"), QStringLiteral("1"));
        open(row.type, row.version, QStringLiteral("fail=-1:GET DESCRIPTOR"));
        QVERIFY(waitRead());
        const QString address = rig->device->ip_addr;
        const quint32 serial = rig->device->serial;
        QVERIFY(takeReadFailure());
        fill(rig->window, row.entered);
        const int from = harness->requestLog(rig->sim).size();

        button(row.button)->click();
        QVERIFY(boxes->waitFor(1));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET "), QStringList());
        QCOMPARE(boxes->texts(), QStringList {QStringLiteral("Ошибка: ") + refusal(row.missing)});
        QCOMPARE(rig->device->ip_addr, address);
        QCOMPARE(rig->device->serial, serial);
        QVERIFY(!rig->project->modified);
    }

    // A spin box never read shows no number; the number it hides, typed by the user, is a
    // value like any other and is written.
    void typedValueOfAnUnreadSpinBox()
    {
        open(DeviceType::IpPult, "1.0", QStringLiteral("fail=-1:GET DESCRIPTOR"));
        QVERIFY(waitRead());
        QVERIFY(takeReadFailure());
        auto *first = widget<QSpinBox>(rig->window, "spinBoxSoundVol1");
        auto *second = widget<QSpinBox>(rig->window, "spinBoxSoundVol2");
        QCOMPARE(first->text(), QString());
        QTest::keyClicks(first, QStringLiteral("0"));
        QTest::keyClicks(second, QStringLiteral("17"));
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonWriteSignalVolume")->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET "),
                 setRequests({"SignalVolume_1 0", "SignalVolume_2 17"}));
    }

    void years_data()
    {
        TestUtil::addRows<YearRow>({
            {"2000", "2000", "WriteTime 07:08:09 04/05/00"},
            {"2099", "2099", "WriteTime 07:08:09 04/05/99"},
            {"1999 is not taken", "1999", "WriteTime 07:08:09 04/05/31"},
            {"2100 is not taken", "2100", "WriteTime 07:08:09 04/05/31"},
        });
    }

    // The unit keeps a two-digit year: its clock field takes 2000 to 2099 only, and a year
    // outside them, typed in, leaves the field's time as it was.
    void years()
    {
        QFETCH(YearRow, row);
        open(DeviceType::Tovik2, "1.0.0");
        QVERIFY(waitRead());
        auto *edit = widget<QDateTimeEdit>(rig->window, "dateTimeEdit");
        fill(rig->window, {"dateTimeEdit=2031-05-04 07:08:09"});
        edit->setFocus();
        edit->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(edit, QString::fromLatin1(row.typed));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(edit->date().year() >= 2000 && edit->date().year() <= 2099);
        const int from = harness->requestLog(rig->sim).size();
        widget<QPushButton>(rig->window, "pushButtonWriteTime")->click();
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(okText)});
        QCOMPARE(linesStartingWith(harness->requestLog(rig->sim).mid(from), "SET "),
                 QStringList {QStringLiteral("SET DESCRIPTOR desc_") + row.sent});
    }

private:
    // The read of a device that refuses every value ends in the one message naming what
    // it could not read; what a write then says comes after it.
    bool takeReadFailure()
    {
        if (!boxes->waitFor(1) || boxes->boxes.size() != 1 ||
            !boxes->texts().first().startsWith(
                QStringLiteral("Ошибка: Не удалось прочитать параметры: "))) {
            qWarning().noquote() << "read failure messages:" << boxes->texts();
            return false;
        }
        boxes->boxes.clear();
        return true;
    }

    void open(int type, const char *version, const QString &fault = QString())
    {
        ++addressCount;
        rig = openRig(harness.get(), settings.get(), type, 3000 + addressCount,
                      QStringLiteral("127.83.0.%1").arg(addressCount), 1000,
                      [this, version, fault](SimDevice *device) {
                          device->version = QString::fromLatin1(version);
                          if (!fault.isEmpty())
                              harness->setFault(device, fault);
                      });
        QVERIFY(rig->window);
    }

    // The read of every connection has ended: its list and, where the window reads them,
    // the audio folder and configuration file.
    bool waitRead()
    {
        const bool files = rig->device->type != DeviceType::Lumo4;
        return QTest::qWaitFor(
                   [&] {
                       if (!rig->window || !rig->window->isIdentified() ||
                           rig->window->facade()->readListSize() > 0 ||
                           rig->window->facade()->isFileTransferPending())
                           return false;
                       const QStringList log = withoutPolls(harness->requestLog(rig->sim));
                       return files ? !log.isEmpty() && log.last() == "SET FILE_CLOSE"
                                    : log.filter("GET DESCRIPTOR").size() > 1;
                   },
                   10000) &&
            roundTrip(rig->window);
    }

    QPushButton *button(const char *path)
    {
        const QString name = QString::fromLatin1(path);
        if (!name.contains(QLatin1Char('/')))
            return widget<QPushButton>(rig->window, path);
        QWidget *frame = rig->window->findChild<QWidget *>(name.section(QLatin1Char('/'), 0, 0));
        return frame ? frame->findChild<QPushButton *>(name.section(QLatin1Char('/'), 1)) : nullptr;
    }

    int addressCount = 0;
};

QTEST_MAIN(TestUnreadWrites)
#include "tst_unreadwrites.moc"
