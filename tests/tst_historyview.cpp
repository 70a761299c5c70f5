// The history tab of the monitoring window: filters over the whole journal and the export
// of exactly the records shown, through the real main window.

#include "guitest.h"
#include "testutil.h"

#include "app/historytablemodel.h"
#include "app/historyview.h"
#include "app/mainwindow.h"
#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

using namespace GuiTest;

class TestHistoryView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<TestUtil::WorkDir>();
        ProjectModel sample(ProjectModel::Journals::None);
        fillSample(&sample);
        // Nobody answers there: the journal holds only what the test puts in.
        m_window = std::make_unique<MainWindow>(windowSettings(
            m_dir->path(), true, &sample,
            {{"network/statusport", QString::number(TestUtil::freePort("127.0.0.2"))}}));
        m_window->setTickInterval(3600 * 1000);
        ProjectModel *project = m_window->project();
        DatabaseLog *log = project->logDb;
        QVERIFY(log);
        // Yesterday: the loudspeaker lost and back, a line fault of the unit; acknowledged.
        // Today: the unit's tamper and a line fault, unacknowledged.
        const int unit = project->findDeviceBySerial(100)->id_obj;
        const int horn = project->findDeviceBySerial(103)->id_obj;
        const QDateTime today(QDate::currentDate(), QTime(8, 0));
        const QDateTime yesterday = today.addDays(-1);
        log->insertEvent(horn, QString(), EventCode::ConnectionLost, yesterday);
        log->insertEvent(horn, QString(), EventCode::ConnectionRestored, yesterday.addSecs(60));
        log->insertEvent(unit, QString(), EventCode::LineOpen + 2, yesterday.addSecs(120));
        log->insertEvent(-1, QString(), EventCode::Acknowledged, yesterday.addSecs(180));
        log->markAllSeen();
        log->insertEvent(unit, QString(), EventCode::Tamper, today);
        log->insertEvent(unit, QString(), EventCode::LineShort + 2, today.addSecs(5));
        QVERIFY(log->flush());

        m_view = m_window->historyView();
        QVERIFY(m_view);
        m_window->show();
        child<QTabWidget>(m_window.get(), "tabMain")->setCurrentWidget(m_view);
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_view = nullptr;
        m_window.reset();
        m_dir.reset();
    }

    // Acknowledged records are there too, newest first; each control narrows the list.
    void filters()
    {
        HistoryTableModel *model = m_view->model();
        QTRY_COMPARE(events(),
                     QStringList({"Короткое замыкание ЛО3", "Несанкционированный доступ",
                                  "Подтверждение просмотра", "Обрыв ЛО3", "Подключение установлено",
                                  "Нет подключения"}));
        QCOMPARE(model->index(2, HistoryTableModel::DeviceColumn).data().toString(), "ПК");

        child<QCheckBox>(m_view, "checkBoxUnseen")->setChecked(true);
        QCOMPARE(events(), QStringList({"Короткое замыкание ЛО3", "Несанкционированный доступ"}));
        child<QCheckBox>(m_view, "checkBoxUnseen")->setChecked(false);

        auto *devices = child<QComboBox>(m_view, "comboBoxDevice");
        choose(devices, QStringLiteral("Группа: A1"));
        QCOMPARE(events(), QStringList({"Подключение установлено", "Нет подключения"}));
        choose(devices, QStringLiteral("Тип: ") + deviceTypeName(DeviceType::Norda4200));
        QCOMPARE(
            events(),
            QStringList({"Короткое замыкание ЛО3", "Несанкционированный доступ", "Обрыв ЛО3"}));
        choose(devices, QStringLiteral("Все устройства"));

        auto *kinds = child<QComboBox>(m_view, "comboBoxKind");
        choose(kinds, QStringLiteral("Связь"));
        QCOMPARE(events(), QStringList({"Подключение установлено", "Нет подключения"}));
        choose(kinds, QStringLiteral("Неисправности"));
        QCOMPARE(
            events(),
            QStringList({"Короткое замыкание ЛО3", "Несанкционированный доступ", "Обрыв ЛО3"}));
        choose(kinds, QStringLiteral("Все события"));

        // Text filters once typing pauses.
        child<QLineEdit>(m_view, "lineEditText")->insert(QStringLiteral("ло3"));
        QTRY_COMPARE(events(), QStringList({"Короткое замыкание ЛО3", "Обрыв ЛО3"}));
        child<QLineEdit>(m_view, "lineEditText")->clear();

        // From today's midnight on.
        child<QDateTimeEdit>(m_view, "dateTimeEditFrom")
            ->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
        child<QCheckBox>(m_view, "checkBoxFrom")->setChecked(true);
        QTRY_COMPARE(events(),
                     QStringList({"Короткое замыкание ЛО3", "Несанкционированный доступ"}));
    }

    // "Экспорт..." writes exactly the records the filter shows.
    void exportShown()
    {
        choose(child<QComboBox>(m_view, "comboBoxKind"), QStringLiteral("Связь"));
        QCOMPARE(events().size(), 2);
        const QString target = m_dir->filePath(QStringLiteral("history.xlsx"));
        auto dialogDone = acceptFileDialog(target);
        auto boxDone = answerMessageBox(QMessageBox::Ok);
        child<QPushButton>(m_view, "pushButtonHistoryExport")->click();
        QTRY_VERIFY(*dialogDone && *boxDone);
        QProcess python;
        python.start("/usr/bin/python3",
                     {"-c",
                      "import openpyxl,sys; s=openpyxl.load_workbook(sys.argv[1]).worksheets[0]; "
                      "print('|'.join(str(c.value) for c in s['C'] if c.value))",
                      target});
        QVERIFY(python.waitForFinished(30000));
        const QString column = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
        QVERIFY2(column.endsWith(QStringLiteral("Подключение установлено|Нет подключения")),
                 qPrintable(column));
        QVERIFY(!column.contains(QStringLiteral("ЛО3")));
    }

private:
    QStringList events() const
    {
        QStringList texts;
        HistoryTableModel *model = m_view->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, HistoryTableModel::EventColumn).data().toString();
        return texts;
    }

    std::unique_ptr<TestUtil::WorkDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    HistoryView *m_view = nullptr;
};

NORDA_GUI_TEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
