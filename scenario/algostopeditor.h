#pragma once

#include "project/scenarioalgo.h"

#include <QWidget>

class ProjectModel;
class ScenarioEventTable;

namespace Ui {
class AlgoStopEditor;
}

// The page of a stop step (type 255): whether the scenario stops when its start signals
// go away, and the events that stop it otherwise. The page handles its own widgets, as
// the start page does.
class AlgoStopEditor : public QWidget {
    Q_OBJECT

public:
    AlgoStopEditor(const ProjectModel *project, const ScenarioAlgo &algo,
                   QWidget *parent = nullptr);
    ~AlgoStopEditor() override;

    // The step as the page shows it; what the page does not edit is kept from the step
    // it was built from.
    ScenarioAlgo algo() const;

public slots:
    void on_checkBoxStopByInputs_stateChanged(int state);
    void on_comboBoxDeviceListStop_currentIndexChanged(int index);
    void on_comboBoxInStop_currentIndexChanged(int index);
    void on_pushButtonAddStopEvent_clicked();
    void on_pushButtonDeleteStopEvents_clicked();
    void on_pushButtonClearStopEvents_clicked();

private:
    Ui::AlgoStopEditor *ui;
    ScenarioAlgo m_algo;
    ScenarioEventTable *m_events = nullptr;
};
