#pragma once

#include "project/scenario.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class AlgoTabWidget;
class ProjectModel;
class QSettings;
class WindowGeometry;

namespace Ui {
class FormScenarioWindow;
}

// The scenario editor: the name, the options and the start and stop steps of one
// scenario, edited on a copy.
//
// Start steps (type 0) and stop steps (type 255) get a page each; steps of other types
// have none and are kept as they are. "Сохранить" puts every page's step back in its own
// place in the scenario's sequence, so that the order stays and nothing without a page is
// lost, and closes the window as accepted; "Отмена" and the frame's close button close it
// without. What the window does not show or was not changed (the priority, the options,
// the name) comes back exactly as it went in. closed() is emitted once, whichever way the
// window closes; then isAccepted() and scenario() give the result. A scenario that cannot
// be edited (Scenario::isEditable()) is shown read-only and cannot be saved.
//
// The opener shows the window application-modal, so that the project it lists devices
// from cannot be replaced while it is open.
class ScenarioWindow : public QMainWindow {
    Q_OBJECT

public:
    // settings: the application settings, for the window's geometry (group
    // "scenarioeditwindow"); null keeps the default size.
    ScenarioWindow(ProjectModel *project, QSettings *settings, const Scenario &scenario,
                   QWidget *parent = nullptr);
    ~ScenarioWindow() override;

    bool isAccepted() const { return m_accepted; }
    // The scenario as it went in, or as saved once accepted.
    Scenario scenario() const { return m_scenario; }
    AlgoTabWidget *tabWidget() const { return m_tabs; }

signals:
    void closed();

public slots:
    void on_pushButtonCanselAlgo_clicked();
    void on_pushButtonSaveAlgo_clicked();
    void on_checkBoxScenarioDepsEnable_stateChanged(int state);

public:
    // Both option buttons' clicks (connected explicitly: no widget bears its name).
    void on_radioButtonScenarioElems_clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Page {
        int algoIndex;
        QWidget *page;
    };

    void buildTabs();
    // A scenario with keys of an unexpected type: everything shown, nothing editable, and a
    // line naming those keys.
    void showReadOnly();
    Scenario editedScenario() const;

    Ui::FormScenarioWindow *ui;
    ProjectModel *m_project;
    Scenario m_scenario;
    bool m_accepted = false;
    bool m_closedEmitted = false;
    // The name as the line edit showed it at the start: while the text is the same, the
    // scenario's own name is kept (a line edit may not hold every text exactly).
    QString m_shownName;
    AlgoTabWidget *m_tabs = nullptr;
    QList<Page> m_pages;
    std::unique_ptr<WindowGeometry> m_geometry;
};
