// The scenario editor driven through its widgets: what comes back after "Сохранить",
// "Отмена" and the frame's close button, the start and stop pages and their lists.

#include "scenariotest.h"

#include "scenario/algostarteditor.h"
#include "scenario/algostopeditor.h"
#include "scenario/algotabwidget.h"
#include "scenario/scenarioeventtable.h"
#include "scenario/scenariowindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>

#include <functional>

using namespace GuiTest;
using namespace ScenarioTest;

namespace {

// The widgets of one page: the start page's names, or the stop page's.
struct PageNames {
    const char *always, *table, *devices, *inputs, *states, *add, *remove, *clear;
};
const PageNames startNames {"checkBoxActiveAlways",       "tableWidgetStartEvents",
                            "comboBoxDeviceListStart",    "comboBoxInStart",
                            "comboBoxInputStateStart",    "pushButtonAddStartEvent",
                            "pushButtonDeleteStartEvent", "pushButtonClearStartEvents"};
const PageNames stopNames {"checkBoxStopByInputs",       "tableWidgetStopEvents",
                           "comboBoxDeviceListStop",     "comboBoxInStop",
                           "comboBoxInputStateStop",     "pushButtonAddStopEvent",
                           "pushButtonDeleteStopEvents", "pushButtonClearStopEvents"};

QWidget *page(ScenarioWindow *window, int tab)
{
    window->tabWidget()->setCurrentIndex(tab);
    return window->tabWidget()->widget(tab);
}

void choose(QComboBox *box, const QVariant &data)
{
    const int index = box->findData(data);
    QVERIFY2(index >= 0,
             qPrintable(QStringLiteral("%1 offers no %2").arg(box->objectName(), data.toString())));
    box->setCurrentIndex(index);
}

// Chooses device, input and state on a page and presses "Добавить".
void addEvent(QWidget *page, const PageNames &names, uint serial, int input, int state)
{
    choose(child<QComboBox>(page, names.devices), serial);
    choose(child<QComboBox>(page, names.inputs), input);
    choose(child<QComboBox>(page, names.states), state);
    child<QPushButton>(page, names.add)->click();
}

void selectRows(QWidget *page, const PageNames &names, std::initializer_list<int> rows)
{
    auto *table = child<QTableWidget>(page, names.table);
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<QVariant> offered(QWidget *page, const char *name)
{
    auto *box = child<QComboBox>(page, name);
    QList<QVariant> data;
    for (int i = 0; i < box->count(); ++i)
        data << box->itemData(i);
    return data;
}

QStringList rowTexts(QWidget *page, const PageNames &names)
{
    auto *table = child<QTableWidget>(page, names.table);
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(row, column)->text();
        rows << cells.join(" | ");
    }
    return rows;
}

using Edit = std::function<void(ScenarioWindow *)>;
using Change = std::function<QJsonObject(QJsonObject)>;

// Clicks a button of the window, or of one of its pages (0 start, 1 stop).
Edit clicking(const char *name, int tab = -1)
{
    return [name, tab](ScenarioWindow *w) {
        child<QAbstractButton>(tab < 0 ? static_cast<QWidget *>(w) : page(w, tab), name)->click();
    };
}

// The scenario's `key`, or that of its algorithm `algo`, set to `value`.
Change with(const char *key, const QJsonValue &value, int algo = -1)
{
    return [key, value, algo](QJsonObject s) {
        if (algo >= 0)
            return withAlgo(s, algo, [&](QJsonObject &a) { a[key] = value; });
        s[key] = value;
        return s;
    };
}

// One edit of the full scenario and what it changes in its JSON.
struct EditRow {
    const char *name;
    Edit edit;
    Change expected;
};

// clang-format off
const EditRow editRows[] = {
    {"name", [](ScenarioWindow *w) {
         auto *edit = child<QLineEdit>(w, "lineEditScenarioName");
         edit->selectAll();
         edit->insert("Эвакуация"); // as typed; QTest types ASCII only
     }, with("name", "Эвакуация")},
    {"schedule chosen", clicking("radioButtonScenarioSheduleEnable"), with("timer", false)},
    {"timer chosen", clicking("radioButtonScenarioTimerEnable"), with("shedule", false)},
    {"timer, then schedule", [](ScenarioWindow *w) {
         clicking("radioButtonScenarioTimerEnable")(w);
         clicking("radioButtonScenarioSheduleEnable")(w);
     }, with("timer", false)},
    {"dependencies off", clicking("checkBoxScenarioDepsEnable"), with("dependencies", false)},
    {"start always", clicking(startNames.always, 0), with("runby", "always", 0)},
    {"start event added", [](ScenarioWindow *w) { addEvent(page(w, 0), startNames, 4301, 9, 0); },
     [](QJsonObject s) {
         return withAlgo(s, 0, [](QJsonObject &a) {
             QJsonArray events = a["events"].toArray();
             events.append(event(4301, 9, 0));
             a["events"] = events;
         });
     }},
    {"start events deleted", [](ScenarioWindow *w) {
         selectRows(page(w, 0), startNames, {0, 2});
         clicking(startNames.remove, 0)(w);
     }, with("events", QJsonArray {event(9999, 2, 0)}, 0)},
    {"start events cleared", clicking(startNames.clear, 0), with("events", QJsonArray(), 0)},
    {"stop by start signals", clicking(stopNames.always, 1), with("stopby", "inputs_off", 2)},
    {"stop event added", [](ScenarioWindow *w) { addEvent(page(w, 1), stopNames, 4201, 17, 1); },
     with("events", QJsonArray {event(4301, 1, 1), event(4201, 17, 1)}, 2)},
    {"stop event deleted", [](ScenarioWindow *w) {
         selectRows(page(w, 1), stopNames, {0});
         clicking(stopNames.remove, 1)(w);
     }, with("events", QJsonArray(), 2)},
    {"stop events cleared", clicking(stopNames.clear, 1), with("events", QJsonArray(), 2)},
};
// clang-format on

} // namespace

Q_DECLARE_METATYPE(EditRow)

class TestScenarioWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        fillProject(m_project.get());
    }

    void cleanup() { m_project.reset(); }

    // Opened and saved without a change, a scenario read from a project file is written
    // back exactly as it was: steps without a page, their order, the options (both, or
    // neither, of the exclusive two), the priority and events the project cannot resolve.
    void unchangedRoundTrip_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<QStringList>("tabs");
        QTest::newRow("everything") << fullScenario() << QStringList {"Запуск", "Остановка"};
        QTest::newRow("nothing") << plainScenario() << QStringList {"Остановка", "Запуск"};
        QTest::newRow("no algorithms") << emptyScenario() << QStringList();
    }

    void unchangedRoundTrip()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(QStringList, tabs);
        QTemporaryDir dir;
        const QString in = writeProject(dir.filePath("in.mpj"), QJsonArray {scenario});
        QVERIFY(!in.isEmpty());
        ProjectModel project(ProjectModel::Journals::None);
        QCOMPARE(project.load(in), 0);

        ScenarioWindow window(&project, nullptr, project.scenarios.first());
        QSignalSpy closed(&window, &ScenarioWindow::closed);
        window.show();
        QStringList titles;
        for (int i = 0; i < window.tabWidget()->count(); ++i)
            titles << window.tabWidget()->tabText(i);
        QCOMPARE(titles, tabs);
        child<QPushButton>(&window, "pushButtonSaveAlgo")->click();
        QCOMPARE(closed.count(), 1);
        QVERIFY(window.isAccepted());
        QVERIFY(!window.isVisible());

        project.scenarios[0] = window.scenario();
        const QString out = dir.filePath("out.mpj");
        QCOMPARE(project.save(out), 0);
        QCOMPARE(text(scenariosInFile(out)), text(scenariosInFile(in)));
    }

    // A scenario with a key of an unexpected type is shown but cannot be changed: the
    // window names the key, nothing on it can be edited and "Сохранить" is unavailable.
    void unreadableKeysReadOnly_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("named");
        QTest::newRow("priority 2.5") << "priority" << QJsonValue(2.5) << "«priority»";
        QTest::newRow("timer as text") << "timer" << QJsonValue("да") << "«timer»";
        QTest::newRow("algos as an object") << "algos" << QJsonValue(QJsonObject()) << "«algos»";
    }

    void unreadableKeysReadOnly()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, named);
        QJsonObject json = fullScenario();
        json.insert(key, value);
        const Scenario scenario = Scenario::fromJson(json);
        ScenarioWindow window(m_project.get(), nullptr, scenario);
        QSignalSpy closed(&window, &ScenarioWindow::closed);
        window.show();
        auto *label = child<QLabel>(&window, "labelReadOnly");
        QVERIFY(label && label->isVisible());
        QVERIFY2(label->text().contains(named), qPrintable(label->text()));
        QVERIFY(child<QLineEdit>(&window, "lineEditScenarioName")->isReadOnly());
        QVERIFY(!enabled(&window, "groupBoxScenarioVars"));
        QVERIFY(!enabled(&window, "pushButtonSaveAlgo"));
        for (int i = 0; i < window.tabWidget()->count(); ++i)
            QVERIFY(!window.tabWidget()->widget(i)->isEnabled());
        window.on_pushButtonSaveAlgo_clicked();
        QVERIFY(!window.isAccepted());
        QCOMPARE(window.scenario(), scenario);
        QCOMPARE(text(window.scenario().toJson()), text(json));
        QCOMPARE(closed.count(), 0);
        window.close();
    }

    // The device and input texts of an event are never cut off: their columns grow to the
    // widest text (here a long input name and a device the project does not have).
    void eventTextsNotCut()
    {
        ProjectDevice *unit = m_project->findDeviceBySerial(4201);
        for (InOut *io : unit->inouts) {
            if (io->index == 9)
                io->name = "Датчик дыма, третий этаж, восточное крыло, помещение 314";
        }
        QJsonObject json = fullScenario();
        ScenarioWindow window(m_project.get(), nullptr, Scenario::fromJson(json));
        window.show();
        auto *table = child<QTableWidget>(page(&window, 0), startNames.table);
        QVERIFY(table && table->rowCount() >= 2);
        const QFontMetrics metrics(table->font());
        for (int row = 0; row < table->rowCount(); ++row) {
            for (int column : {0, 1}) {
                const QString text = table->item(row, column)->text();
                QVERIFY2(
                    table->columnWidth(column) > metrics.horizontalAdvance(text),
                    qPrintable(
                        QStringLiteral("%1: %2 px").arg(text).arg(table->columnWidth(column))));
            }
        }
        QVERIFY(table->columnWidth(0) >= 300 && table->columnWidth(1) >= 200);
    }

    // An editable scenario shows no such line.
    void readableKeysEditable()
    {
        ScenarioWindow window(m_project.get(), nullptr, Scenario::fromJson(fullScenario()));
        window.show();
        QVERIFY(!window.findChild<QLabel *>("labelReadOnly"));
        QVERIFY(enabled(&window, "pushButtonSaveAlgo"));
    }

    void oneEdit_data() { TestUtil::addRows(editRows); }

    // Each edit changes what it is about and nothing else.
    void oneEdit()
    {
        QFETCH(EditRow, row);
        const Scenario scenario = Scenario::fromJson(fullScenario());
        ScenarioWindow window(m_project.get(), nullptr, scenario);
        window.show();
        row.edit(&window);
        child<QPushButton>(&window, "pushButtonSaveAlgo")->click();
        QVERIFY(window.isAccepted());
        QCOMPARE(text(window.scenario().toJson()), text(row.expected(fullScenario())));
    }

    // Whatever was changed, "Отмена" and the frame's close button give the scenario back
    // as it came, and say so once.
    void notSaved_data()
    {
        QTest::addColumn<bool>("frameButton");
        QTest::newRow("Отмена") << false;
        QTest::newRow("close button") << true;
    }

    void notSaved()
    {
        QFETCH(bool, frameButton);
        const Scenario scenario = Scenario::fromJson(fullScenario());
        ScenarioWindow window(m_project.get(), nullptr, scenario);
        QSignalSpy closed(&window, &ScenarioWindow::closed);
        window.show();
        for (const EditRow &row : editRows)
            row.edit(&window);
        if (frameButton)
            window.close();
        else
            child<QPushButton>(&window, "pushButtonCanselAlgo")->click();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isAccepted());
        QCOMPARE(window.scenario(), scenario);
        window.close();
        QCOMPARE(closed.count(), 1);
    }

    // Both options on, or both off, as read from a file, are shown as they are; a click
    // makes them exclusive.
    void exclusiveOptions()
    {
        for (const bool both : {true, false}) {
            Scenario scenario;
            scenario.timer = both;
            scenario.shedule = both;
            ScenarioWindow window(m_project.get(), nullptr, scenario);
            auto *timer = child<QRadioButton>(&window, "radioButtonScenarioTimerEnable");
            auto *shedule = child<QRadioButton>(&window, "radioButtonScenarioSheduleEnable");
            QCOMPARE(timer->isChecked(), both);
            QCOMPARE(shedule->isChecked(), both);
            shedule->click();
            QVERIFY(!timer->isChecked() && shedule->isChecked());
            shedule->click();
            QVERIFY(!timer->isChecked() && shedule->isChecked());
            timer->click();
            QVERIFY(timer->isChecked() && !shedule->isChecked());
        }
    }

    // Events name their device by serial number: a device without one is not offered, and
    // "Добавить" with nothing to choose adds nothing.
    void eventsNeedADevice()
    {
        ScenarioWindow window(m_project.get(), nullptr, Scenario::created("x"));
        window.show();
        for (const auto &[tab, names] :
             {std::make_pair(0, startNames), std::make_pair(1, stopNames)}) {
            QWidget *p = page(&window, tab);
            // The loudspeaker has no input, the unit without serial number cannot be named.
            QCOMPARE(offered(p, names.devices), QList<QVariant>({4201u, 4301u}));
            QCOMPARE(offered(p, names.states), QList<QVariant>({1, 0}));
        }

        ProjectModel empty(ProjectModel::Journals::None);
        empty.addDevice(nullptr, makeDevice(DeviceType::Norda4200, 0));
        ScenarioWindow nothing(&empty, nullptr, Scenario::created("x"));
        nothing.show();
        for (const auto &[tab, names] :
             {std::make_pair(0, startNames), std::make_pair(1, stopNames)}) {
            QWidget *p = page(&nothing, tab);
            QCOMPARE(child<QComboBox>(p, names.devices)->count(), 0);
            auto *add = child<QPushButton>(p, names.add);
            QVERIFY(!add->isEnabled());
            // Pressed all the same (a stale enabled state, a shortcut): refused.
            QMetaObject::invokeMethod(p,
                                      tab == 0 ? "on_pushButtonAddStartEvent_clicked"
                                               : "on_pushButtonAddStopEvent_clicked");
            QCOMPARE(child<QTableWidget>(p, names.table)->rowCount(), 0);
        }
        child<QPushButton>(&nothing, "pushButtonSaveAlgo")->click();
        QCOMPARE(nothing.scenario(), Scenario::created("x"));
    }

    // An input in the table is not offered again, also after switching devices back and
    // forth; deleted, it is offered again.
    void inputsOfferedOnce_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("start") << 0;
        QTest::newRow("stop") << 1;
    }

    void inputsOfferedOnce()
    {
        QFETCH(int, tab);
        const PageNames &names = tab == 0 ? startNames : stopNames;
        ScenarioWindow window(m_project.get(), nullptr, Scenario::created("x"));
        window.show();
        QWidget *p = page(&window, tab);
        // A new scenario stops with its start signals: its stop events are off until then.
        if (tab == 1)
            child<QCheckBox>(p, names.always)->click();
        auto *devices = child<QComboBox>(p, names.devices);
        addEvent(p, names, 4301, 9, 1);
        QVERIFY(!offered(p, names.inputs).contains(9));
        choose(devices, 4201u);
        choose(devices, 4301u);
        QVERIFY(!offered(p, names.inputs).contains(9));
        QCOMPARE(offered(p, names.inputs).size(), 8); // the eight buttons
        // Every input of the console, one by one.
        while (child<QComboBox>(p, names.inputs)->count() > 0)
            child<QPushButton>(p, names.add)->click();
        QVERIFY(!child<QPushButton>(p, names.add)->isEnabled());
        QCOMPARE(child<QTableWidget>(p, names.table)->rowCount(), 9);
        selectRows(p, names, {0});
        child<QPushButton>(p, names.remove)->click();
        QCOMPARE(offered(p, names.inputs), QList<QVariant>({9}));
        // Deleting with nothing selected deletes nothing and selects the first row.
        child<QTableWidget>(p, names.table)->clearSelection();
        child<QPushButton>(p, names.remove)->click();
        QCOMPARE(child<QTableWidget>(p, names.table)->rowCount(), 8);
        QCOMPARE(child<QTableWidget>(p, names.table)->selectionModel()->selectedRows().size(), 1);

        child<QPushButton>(&window, "pushButtonSaveAlgo")->click();
        const ScenarioAlgo algo = window.scenario().algos.at(tab);
        QCOMPARE(algo.events.size(), 8);
        for (int i = 0; i < algo.events.size(); ++i)
            QCOMPARE(algo.events.at(i), (ScenarioEvent {4301, i + 1, 1, {}}));
    }

    // Events of devices or inputs the project does not have are shown, marked, and kept.
    void missingShownAndKept()
    {
        ScenarioWindow window(m_project.get(), nullptr, Scenario::fromJson(fullScenario()));
        window.show();
        QWidget *p = page(&window, 0);
        QCOMPARE(
            rowTexts(p, startNames),
            QStringList({"Блок NORDA-4200 (серийный номер 4201) | Вход ППК1 | Активен",
                         "Нет в проекте (серийный номер 9999) | Вход 2 | Не активен",
                         "Блок NORDA-4200 (серийный номер 4201) | Вход 99 (нет у устройства) | "
                         "Не задано"}));
        auto *table = child<QTableWidget>(p, startNames.table);
        QVERIFY(table->item(0, 0)->foreground() != QBrush(Qt::red));
        for (int row : {1, 2})
            QCOMPARE(table->item(row, 1)->foreground(), QBrush(Qt::red));
        // They count as being in the table: input 9 of 4201 is not offered again.
        choose(child<QComboBox>(p, startNames.devices), 4201u);
        QVERIFY(!offered(p, startNames.inputs).contains(9));
        QCOMPARE(offered(p, startNames.inputs).size(), 10);
    }

    // The event widgets of a page count only while its box is unchecked; the events stay.
    void boxDisablesEvents_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("start") << 0;
        QTest::newRow("stop") << 1;
    }

    void boxDisablesEvents()
    {
        QFETCH(int, tab);
        const PageNames &names = tab == 0 ? startNames : stopNames;
        ScenarioWindow window(m_project.get(), nullptr, Scenario::fromJson(fullScenario()));
        window.show();
        QWidget *p = page(&window, tab);
        auto *box = child<QCheckBox>(p, names.always);
        const QList<const char *> eventWidgets {names.table, names.remove, names.clear,
                                                "groupBoxAddEvent", "labelTableName"};
        QVERIFY(!box->isChecked());
        for (const char *name : eventWidgets)
            QVERIFY2(enabled(p, name), name);
        box->click();
        for (const char *name : eventWidgets)
            QVERIFY2(!enabled(p, name), name);
        QVERIFY(!enabled(p, names.add));
        box->click();
        QVERIFY(enabled(p, names.table));
        box->click();
        child<QPushButton>(&window, "pushButtonSaveAlgo")->click();
        const ScenarioAlgo algo = window.scenario().algos.at(tab == 0 ? 0 : 2);
        QVERIFY(tab == 0 ? algo.always : algo.inputsOff);
        QCOMPARE(algo.events, Scenario::fromJson(fullScenario()).algos.at(tab == 0 ? 0 : 2).events);
    }

    // The window keeps its geometry in its own group of the settings.
    void geometry()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
        settings.setValue("scenarioeditwindow/width", "700");
        settings.setValue("scenarioeditwindow/height", "500");
        {
            ScenarioWindow window(m_project.get(), &settings, Scenario());
            QCOMPARE(window.size(), QSize(700, 500));
            window.show();
            window.resize(640, 480);
            QTRY_COMPARE_WITH_TIMEOUT(settings.value("scenarioeditwindow/width").toString(), "640",
                                      5000);
        }
        ScenarioWindow again(m_project.get(), &settings, Scenario());
        QCOMPARE(again.size(), QSize(640, 480));
    }

private:
    std::unique_ptr<ProjectModel> m_project;
};

NORDA_GUI_TEST_MAIN(TestScenarioWindow)
#include "tst_scenariowindow.moc"
