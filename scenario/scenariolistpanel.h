#pragma once

#include <QPointer>
#include <QWidget>

class ProjectModel;
class QModelIndex;
class QSettings;
class ScenarioListModel;
class ScenarioWindow;

namespace Ui {
class ScenarioListPanel;
}

// The scenario list of the main window with its commands: "Создать" (a new scenario,
// its name open for typing), "Открыть" (also a double-click on a row), "Переименовать" (in
// place, also F2), "Копировать" and "Удалить" (after a question). Every change marks the project
// modified; the project file writes the scenarios with the rest of the project.
//
// "Открыть" shows the scenario editor application-modal on a copy of the scenario; the
// copy replaces the scenario only when the editor was closed with "Сохранить".
class ScenarioListPanel : public QWidget {
    Q_OBJECT

public:
    // settings: the application settings, which the editor keeps its geometry in.
    ScenarioListPanel(QSettings *settings, QWidget *parent = nullptr);
    ~ScenarioListPanel() override;

    // The project whose scenarios are listed (the main window gives the new one when it
    // replaces its project).
    void setProject(ProjectModel *project);
    ScenarioListModel *model() const { return m_model; }
    // The row selected, or -1.
    int currentRow() const;
    // The editor while it is open.
    ScenarioWindow *editor() const;

    // Opens the editor for a row; returns it, or null when the row is not there or an
    // editor is open already.
    ScenarioWindow *openScenario(int row);

public slots:
    void on_pushButtonCreateScenario_clicked();
    void on_pushButtonOpenScenario_clicked();
    void on_pushButtonRenameScenario_clicked();
    void on_pushButtonDuplicateScenario_clicked();
    void on_pushButtonRemoveScenario_clicked();
    void on_tableViewScenarios_doubleClicked(const QModelIndex &index);

private:
    void selectRow(int row);
    void updateButtons();

    Ui::ScenarioListPanel *ui;
    QSettings *m_settings;
    ScenarioListModel *m_model;
    QPointer<ScenarioWindow> m_editor;
};
