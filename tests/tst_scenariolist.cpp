// The scenario list of the main window, driven through the real window: its commands,
// the editor opened from it, and what reaches the project file.

#include "scenariotest.h"

#include "app/mainwindow.h"
#include "scenario/scenariolistmodel.h"
#include "scenario/scenariolistpanel.h"
#include "scenario/scenariowindow.h"

#include <QAction>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace GuiTest;
using namespace ScenarioTest;

class TestScenarioList : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup()
    {
        endPendingWatches();
        m_dir.reset();
    }

    // The list follows the project: the one reopened at start-up, one opened from the
    // menu, none after closing.
    void listFollowsTheProject()
    {
        auto window = windowOn(QJsonArray {fullScenario(), emptyScenario()});
        QCOMPARE(names(window.get()), QStringList({"Пожар | 5", "Пусто | 0"}));

        const QString other =
            writeProject(m_dir->filePath("other.mpj"), QJsonArray {plainScenario()});
        auto chosen = acceptFileDialog(other);
        window->findChild<QAction *>("actionOpenProject")->trigger();
        QVERIFY(*chosen);
        QCOMPARE(names(window.get()), QStringList({" | 2"}));

        window->findChild<QAction *>("actionCloseProject")->trigger();
        QCOMPARE(names(window.get()), QStringList());
        QVERIFY(enabled(window.get(), "pushButtonCreateScenario"));
        QVERIFY(!enabled(window.get(), "pushButtonOpenScenario"));
        click(window.get(), "pushButtonCreateScenario");
        QCOMPARE(window->project()->scenarios.size(), 1);
    }

    // "Создать", "Переименовать", "Копировать" and "Удалить" change the project, which
    // writes what the list shows.
    void commands()
    {
        auto window = windowOn(QJsonArray {fullScenario()});
        ProjectModel *project = window->project();
        QVERIFY(!project->modified);

        click(window.get(), "pushButtonCreateScenario");
        QVERIFY(project->modified);
        // The new one comes with its name open for typing.
        QVERIFY(typeName(window.get(), "Тревога"));
        click(window.get(), "pushButtonCreateScenario");
        QLineEdit *editor = nameEditor(window.get());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!editor->isVisible(), 5000);
        QCOMPARE(names(window.get()),
                 QStringList({"Пожар | 5", "Тревога | 2", "Новый сценарий | 2"}));
        QCOMPARE(project->scenarios.at(1).toJson(), Scenario::created("Тревога").toJson());

        select(window.get(), 2);
        click(window.get(), "pushButtonRenameScenario");
        QVERIFY(typeName(window.get(), "Учебная"));
        // An empty name is no name: the old one stays.
        click(window.get(), "pushButtonRenameScenario");
        QVERIFY(typeName(window.get(), ""));
        QCOMPARE(project->scenarios.at(2).name, "Учебная");

        select(window.get(), 0);
        click(window.get(), "pushButtonDuplicateScenario");
        QCOMPARE(names(window.get()),
                 QStringList({"Пожар | 5", "Пожар (копия) | 5", "Тревога | 2", "Учебная | 2"}));
        QCOMPARE(panel(window.get())->currentRow(), 1);
        Scenario copy = project->scenarios.at(1);
        copy.name = "Пожар";
        QCOMPARE(copy, project->scenarios.at(0));

        select(window.get(), 2);
        auto seen = std::make_shared<BoxSeen>();
        auto answered = answerMessageBox("Нет", seen);
        click(window.get(), "pushButtonRemoveScenario");
        QVERIFY(*answered);
        QCOMPARE(seen->title, "Удаление сценария");
        QCOMPARE(seen->text, "Точно удалить сценарий Тревога ?");
        QCOMPARE(project->scenarios.size(), 4);
        answered = answerMessageBox("Да");
        click(window.get(), "pushButtonRemoveScenario");
        QVERIFY(*answered);
        QCOMPARE(names(window.get()),
                 QStringList({"Пожар | 5", "Пожар (копия) | 5", "Учебная | 2"}));

        window->findChild<QAction *>("actionSaveProject")->trigger();
        QVERIFY(!project->modified);
        const QJsonArray saved = scenariosInFile(project->path);
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved.at(0).toObject(), fullScenario());
        QCOMPARE(saved.at(2).toObject()["name"].toString(), "Учебная");
    }

    // Opened from the list and saved unchanged, the scenario is written back exactly as
    // the file had it, and the project does not count as changed.
    void unchangedThroughTheWindow()
    {
        const QJsonArray scenarios {emptyScenario(), fullScenario(), plainScenario()};
        auto window = windowOn(scenarios);
        for (int row = 0; row < scenarios.size(); ++row) {
            ScenarioWindow *editor = openByDoubleClick(window.get(), row);
            QVERIFY(editor);
            QCOMPARE(QApplication::activeModalWidget(), editor);
            click(editor, "pushButtonSaveAlgo");
        }
        QVERIFY(!window->project()->modified);
        window->findChild<QAction *>("actionSaveProject")->trigger();
        QCOMPARE(text(scenariosInFile(window->project()->path)), text(scenarios));
    }

    // "Отмена" leaves the project as it was; "Сохранить" replaces the scenario, marks the
    // project modified, and the change is there after saving and reopening.
    void editedThroughTheWindow()
    {
        auto window = windowOn(QJsonArray {emptyScenario(), fullScenario()});
        ProjectModel *project = window->project();
        const QList<Scenario> before = project->scenarios;

        select(window.get(), 1);
        click(window.get(), "pushButtonOpenScenario");
        ScenarioWindow *editor = panel(window.get())->editor();
        QVERIFY(editor);
        child<QLineEdit>(editor, "lineEditScenarioName")->setText("Другое");
        click(editor, "pushButtonCanselAlgo");
        QVERIFY(!project->modified);
        QCOMPARE(project->scenarios, before);
        QTRY_VERIFY_WITH_TIMEOUT(!panel(window.get())->editor(), 5000);

        editor = openByDoubleClick(window.get(), 1);
        QVERIFY(editor);
        // A second editor is not opened over the first.
        QVERIFY(!panel(window.get())->openScenario(0));
        child<QLineEdit>(editor, "lineEditScenarioName")->setText("Пожар, корпус 1");
        click(editor, "pushButtonSaveAlgo");
        QVERIFY(project->modified);
        QCOMPARE(names(window.get()), QStringList({"Пусто | 0", "Пожар, корпус 1 | 5"}));
        QCOMPARE(project->scenarios.at(0), before.at(0));
        Scenario expected = before.at(1);
        expected.name = "Пожар, корпус 1";
        QCOMPARE(project->scenarios.at(1), expected);

        window->findChild<QAction *>("actionSaveProject")->trigger();
        QVERIFY(!project->modified);
        window.reset();
        auto reopened = std::make_unique<MainWindow>(settingsPath());
        QCOMPARE(names(reopened.get()), QStringList({"Пусто | 0", "Пожар, корпус 1 | 5"}));
        QCOMPARE(reopened->project()->scenarios.at(1), expected);
    }

private:
    QString settingsPath() const { return m_dir->filePath("settings.ini"); }

    // A configuration-mode window on a project with these scenarios, reopened as the
    // last project.
    std::unique_ptr<MainWindow> windowOn(const QJsonArray &scenarios)
    {
        QSettings(settingsPath(), QSettings::IniFormat)
            .setValue("paths/lastproject", writeProject(m_dir->filePath("project.mpj"), scenarios));
        auto window = std::make_unique<MainWindow>(settingsPath());
        window->show();
        auto *tabs = child<QTabWidget>(window.get(), "tabMain");
        tabs->setCurrentWidget(child(window.get(), "tabScenarios"));
        return window;
    }

    static ScenarioListPanel *panel(MainWindow *window) { return window->scenarioList(); }

    static QTableView *table(MainWindow *window)
    {
        return child<QTableView>(window, "tableViewScenarios");
    }

    // The rows as "name | algorithm count".
    static QStringList names(MainWindow *window)
    {
        const QAbstractItemModel *model = table(window)->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + " | " +
                    model->index(row, 1).data().toString();
        return rows;
    }

    static void click(QWidget *parent, const char *name)
    {
        auto *button = child<QPushButton>(parent, name);
        QVERIFY2(button && button->isEnabled(), name);
        button->click();
    }

    static void select(MainWindow *window, int row)
    {
        QTableView *view = table(window);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(view->model()->index(row, 0)).center());
        QCOMPARE(panel(window)->currentRow(), row);
    }

    // The name being edited in place (editors that were closed may not be gone yet).
    static QLineEdit *nameEditor(MainWindow *window)
    {
        const QList<QLineEdit *> editors = table(window)->viewport()->findChildren<QLineEdit *>();
        for (QLineEdit *editor : editors) {
            if (editor->isVisible())
                return editor;
        }
        return nullptr;
    }

    // Types over the name being edited in place and presses Enter.
    static bool typeName(MainWindow *window, const QString &name)
    {
        QLineEdit *editor = nameEditor(window);
        if (!editor)
            return false;
        editor->selectAll();
        editor->del();
        editor->insert(name); // as typed; QTest types ASCII only
        QTest::keyClick(editor, Qt::Key_Return);
        // The view takes the text and closes the editor once back in the event loop (and
        // may delete it then).
        const QPointer<QLineEdit> watched(editor);
        return QTest::qWaitFor([watched] { return !watched || !watched->isVisible(); }, 5000);
    }

    static ScenarioWindow *openByDoubleClick(MainWindow *window, int row)
    {
        QTableView *view = table(window);
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        // A double-click comes after the first click's press and release.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        return panel(window)->editor();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

NORDA_GUI_TEST_MAIN(TestScenarioList)
#include "tst_scenariolist.moc"
