#pragma once

#include "project/scenarioalgo.h"

#include <QWidget>

class ProjectModel;
class ScenarioEventTable;

namespace Ui {
class AlgoStartEditor;
}

// The page of a start step (type 0): whether the scenario is active permanently, and the
// events that start it otherwise.
class AlgoStartEditor : public QWidget {
    Q_OBJECT

public:
    AlgoStartEditor(const ProjectModel *project, const ScenarioAlgo &algo,
                    QWidget *parent = nullptr);
    ~AlgoStartEditor() override;

    // The step as the page shows it; what the page does not edit is kept from the step
    // it was built from.
    ScenarioAlgo algo() const;

public slots:
    void on_checkBoxActiveAlways_stateChanged(int arg1);
    void on_comboBoxDeviceListStart_currentIndexChanged(int index);
    void on_pushButtonAddStartEvent_clicked();
    void on_comboBoxInStart_currentIndexChanged(int index);
    void on_pushButtonDeleteStartEvent_clicked();
    void on_pushButtonClearStartEvents_clicked();

private:
    Ui::AlgoStartEditor *ui;
    ScenarioAlgo m_algo;
    ScenarioEventTable *m_events = nullptr;
};
