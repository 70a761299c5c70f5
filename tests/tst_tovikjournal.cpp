// The "Журнал" tab of the central unit window against a simulated unit: reading a wrapped
// journal of 1000 records (order, colours, the status poll paused), the messages of an empty
// journal and of answers that are not the record asked for, cancel and closing the window
// during a read, a lost link, the export read back by an independent reader, and clearing.

#include "devicewindowtestcase.h"
#include "guitest.h"

#include "devices/tovikdevicewindow.h"
#include "link/unitjournalexport.h"
#include "link/unitjournalrecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <ctime>

using namespace DeviceWindowTest;

namespace {

const char doneText[] = "Чтение журнала: Чтение журнала завершено.";
const char emptyText[] = "Чтение журнала: В журнале отсутствуют записи.";
const char errorText[] = "Ошибка: Ошибка чтения журнала.";

int countOf(const QStringList &log, const char *prefix)
{
    int count = 0;
    for (const QString &line : log)
        count += line.startsWith(QLatin1String(prefix)) ? 1 : 0;
    return count;
}

// The cells of the first worksheet of an .xlsx file, read by openpyxl.
QMap<QString, QString> readBack(const QString &path)
{
    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(NORDA_SOURCE_DIR "/tests/xlsxdump.py"), path});
    QMap<QString, QString> cells;
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return cells;
    const QJsonArray sheets =
        QJsonDocument::fromJson(python.readAllStandardOutput()).object().value("sheets").toArray();
    for (const QJsonValue &cell : sheets.first().toObject().value("cells").toArray())
        cells.insert(cell.toObject().value("ref").toString(),
                     cell.toObject().value("value").toVariant().toString());
    return cells;
}

} // namespace

class TestTovikJournal : public DeviceWindowTestCase {
    Q_OBJECT

private slots:
    // A wrapped journal is read from the write position round to the record before it; the
    // status poll (every 20 ms here) waits meanwhile.
    void readWrapped()
    {
        open("capacity=1000,records=1250", nullptr, 20);
        QTRY_COMPARE_WITH_TIMEOUT(text("labelJournalRecordCount"),
                                  QString::fromUtf8("Записей в журнале: 1000"), 10000);
        const int from = harness->requestLog(rig->sim).size();
        // Waited for in an event loop of its own: a wait that sleeps between looks would
        // hold up every one of the thousand exchanges.
        QSignalSpy rows(journalTable()->model(), &QAbstractItemModel::rowsInserted);
        click("pushButtonStartJournalRead");
        QVERIFY(rows.wait(20000));
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(), QStringList {QString::fromUtf8(doneText)});
        QCOMPARE(boxes->boxes.first().icon, QMessageBox::Information);

        QTableWidget *table = journalTable();
        QCOMPARE(table->rowCount(), 1000);
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QString::fromUtf8("Событие"));
        // "Время" 180 and "Тип" 100 pixels wide; "Событие" takes the rest.
        QCOMPARE(table->columnWidth(0), 180);
        QCOMPARE(table->columnWidth(1), 100);
        for (const int row : {0, 1, 999}) {
            const UnitJournalRecord held = slot((250 + row) % 1000);
            QCOMPARE(rowTexts(row), UnitJournalExport::rowTexts(held));
            QCOMPARE(table->item(row, 1)->foreground().color(),
                     held.isFault() ? QColor(69, 70, 92) : QColor(89, 125, 98));
        }
        const QStringList log = harness->requestLog(rig->sim).mid(from);
        const int first = log.indexOf(QStringLiteral("GET JOURNAL 0,250"));
        const int last = log.indexOf(QStringLiteral("GET JOURNAL 0,249"));
        QVERIFY(first > 0 && last > first);
        QCOMPARE(log.at(first - 1), QStringLiteral("GET STATUS"));
        QCOMPARE(countOf(log.mid(first, last - first), "GET JOURNAL"), last - first);
    }

    void messages_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty") << "records=0" << QString() << QString::fromUtf8(emptyText);
        // Without the journal fields the count is not 0: that is no empty journal.
        QTest::newRow("short status")
            << "records=3"
            << "tovik2 2002,1.0,1700000000,0,0" << QString::fromUtf8(errorText);
        QTest::newRow("answer for another index")
            << "records=10,wrong-index=3" << QString() << QString::fromUtf8(errorText);
    }

    void messages()
    {
        QFETCH(QString, journal);
        QFETCH(QString, status);
        QFETCH(QString, message);
        open(journal, [status](SimDevice *device) { device->statusAnswer = status; });
        journalTable()->setRowCount(2);
        click("pushButtonStartJournalRead");
        QVERIFY(boxes->waitFor(1, 20000));
        QCOMPARE(boxes->texts(), QStringList {message});
        QCOMPARE(journalTable()->rowCount(), 0);
        QVERIFY(!rig->window->progressDialog()->isVisible());
    }

    // Cancel in the progress dialog, closing the window and a lost link end the read after the
    // fifth record: no request follows, no message says the journal was read, no rows stand.
    void interrupted_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("cancel") << "cancel" << QStringList();
        QTest::newRow("close") << "close" << QStringList();
        QTest::newRow("link lost") << "unplug" << QStringList {QString::fromUtf8(errorText)};
    }

    void interrupted()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        open("capacity=1000,records=1000");
        int answers = 0;
        int requestsThen = -1;
        connect(rig->window->facade(), &Amodule::receivedParam, this, [&](const QString &name) {
            if (name != QLatin1String("JOURNAL") || ++answers != 5)
                return;
            requestsThen = countOf(harness->requestLog(rig->sim), "GET JOURNAL");
            if (how == QLatin1String("cancel"))
                rig->window->progressDialog()->cancel();
            else if (how == QLatin1String("close"))
                QTimer::singleShot(0, rig->window.data(), &QWidget::close);
            else
                harness->unplug(rig->sim);
        });
        click("pushButtonStartJournalRead");
        QTRY_VERIFY_WITH_TIMEOUT(requestsThen >= 5, 20000);
        if (how == QLatin1String("close")) {
            QTRY_VERIFY_WITH_TIMEOUT(!rig->window, 10000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!rig->window->progressDialog()->isVisible(), 10000);
            QCOMPARE(journalTable()->rowCount(), 0);
        }
        if (how == QLatin1String("unplug"))
            QVERIFY(boxes->waitFor(1));
        if (how == QLatin1String("cancel"))
            QVERIFY(roundTrip(rig->window));
        // The request on its way when the read stopped is the last one.
        QVERIFY(countOf(harness->requestLog(rig->sim), "GET JOURNAL") <= requestsThen + 1);
        QCOMPARE(boxes->texts(), messages);
    }

    // "Экспорт..." proposes "Журнал_<serial>_<date>.xlsx" in the last folder and writes the
    // table as it stands; "Очистить журнал" asks, clears the unit's journal and the table, and
    // the count follows the unit.
    void exportAndClear()
    {
        open("capacity=1000,records=3");
        // Nothing read yet: no records to export, no file asked for or written.
        const QString empty = dir.filePath("empty.xlsx");
        const auto notAsked = GuiTest::acceptFileDialog(empty);
        click("pushButtonJournalSave");
        QVERIFY(boxes->waitFor(1));
        QCOMPARE(boxes->texts(),
                 QStringList {QString::fromUtf8("Сохранение журнала: Нет записей для экспорта")});
        QVERIFY(!*notAsked);
        QVERIFY(!QFileInfo::exists(empty));
        GuiTest::endPendingWatches();
        boxes->boxes.clear();

        click("pushButtonStartJournalRead");
        QVERIFY(boxes->waitFor(1, 20000));
        QCOMPARE(journalTable()->rowCount(), 3);

        const QString folder = dir.filePath("exports");
        QVERIFY(QDir().mkpath(folder));
        settings->setValue("paths/savejournalpath", folder);
        const QString path = folder + "/out.xlsx";
        auto seen = std::make_shared<GuiTest::FileDialogSeen>();
        const auto accepted = GuiTest::acceptFileDialog(path, seen);
        click("pushButtonJournalSave");
        QVERIFY(*accepted);
        QCOMPARE(seen->title, QString::fromUtf8("Сохранить журнал..."));
        QCOMPARE(seen->directory, folder);
        QVERIFY(boxes->waitFor(2));
        QCOMPARE(boxes->texts().last(),
                 QString::fromUtf8("Выполнено: Журнал сохранён в файл out.xlsx."));
        const QMap<QString, QString> cells = readBack(path);
        QCOMPARE(cells.value("A1"), QString::fromUtf8("Блок NORDA-4100/4101. Журнал событий."));
        QCOMPARE(cells.value("A2"), QString::fromUtf8("Серийный номер устройства:2002."));
        QCOMPARE(cells.value("B5"), QString::fromUtf8("Тип"));
        QCOMPARE(cells.value("A6"), rowTexts(0).at(0));
        QCOMPARE(cells.value("C8"), rowTexts(2).at(2));
        QVERIFY(!cells.contains("A9"));

        const int from = harness->requestLog(rig->sim).size();
        boxes->answer = QString::fromUtf8("Отмена");
        click("pushButtonJournalClear");
        QVERIFY(boxes->waitFor(3));
        QVERIFY(roundTrip(rig->window));
        QCOMPARE(countOf(harness->requestLog(rig->sim).mid(from), "SET DESCRIPTOR"), 0);
        QCOMPARE(journalTable()->rowCount(), 3);

        boxes->answer = QString::fromUtf8("Да, очистить");
        click("pushButtonJournalClear");
        QVERIFY(boxes->waitFor(5));
        QCOMPARE(boxes->boxes.at(3).title, QString::fromUtf8("Очистка журнала"));
        QCOMPARE(boxes->boxes.at(3).text,
                 QString::fromUtf8("Журнал событий будет очищен.\nВы уверены?"));
        QCOMPARE(boxes->boxes.at(3).buttons,
                 (QStringList {QString::fromUtf8("Да, очистить"), QString::fromUtf8("Отмена")}));
        QVERIFY(harness->requestLog(rig->sim).mid(from).contains(
            "SET DESCRIPTOR desc_JournalClearCmd 1"));
        QCOMPARE(journalTable()->rowCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(text("labelJournalRecordCount"),
                                  QString::fromUtf8("Записей в журнале: 0"), 10000);
        int count = -1;
        harness->run([&] { count = rig->sim->journal.count(); });
        QCOMPARE(count, 0);
    }

private:
    void open(const QString &journal, const std::function<void(SimDevice *)> &before = nullptr,
              int pollMs = 1000)
    {
        rig = openRig(harness.get(), settings.get(), DeviceType::Tovik2, 2002,
                      QStringLiteral("127.94.0.%1").arg(++addressCount), pollMs,
                      [&](SimDevice *device) {
                          QString error;
                          QVERIFY2(device->journal.apply(journal, &error), qPrintable(error));
                          if (before)
                              before(device);
                      });
        QVERIFY(rig->window);
        QVERIFY(waitReadAll(harness.get(), rig.get()));
    }

    QString text(const char *name) const
    {
        auto *label = rig->window->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QString();
    }

    void click(const char *name)
    {
        auto *button = rig->window->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY(button);
        button->click();
    }

    QTableWidget *journalTable() const
    {
        return rig->window->findChild<QTableWidget *>(QStringLiteral("tableJournal"));
    }

    QStringList rowTexts(int row) const
    {
        QStringList texts;
        for (int column = 0; column < 3; ++column)
            texts << journalTable()->item(row, column)->text();
        return texts;
    }

    // The record the simulated unit holds in a slot.
    UnitJournalRecord slot(int index)
    {
        QString answer;
        harness->run([&] { rig->sim->journal.answer(QStringLiteral("0,%1").arg(index), &answer); });
        UnitJournalRecord record;
        UnitJournalRecord::decode(answer.section(',', 2), &record);
        return record;
    }

    int addressCount = 0;
};

NORDA_GUI_TEST_MAIN(TestTovikJournal)
#include "tst_tovikjournal.moc"
