#include "scenario/algostopeditor.h"
#include "ui_algostopeditor.h"

#include "scenario/scenarioeventtable.h"

AlgoStopEditor::AlgoStopEditor(const ProjectModel *project, const ScenarioAlgo &algo,
                               QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::AlgoStopEditor)
    , m_algo(algo)
{
    ui->setupUi(this);
    ScenarioEventTable::Widgets widgets;
    widgets.table = ui->tableWidgetStopEvents;
    widgets.devices = ui->comboBoxDeviceListStop;
    widgets.inputs = ui->comboBoxInStop;
    widgets.states = ui->comboBoxInputStateStop;
    widgets.add = ui->pushButtonAddStopEvent;
    widgets.eventWidgets = {ui->labelTableName, ui->tableWidgetStopEvents,
                            ui->pushButtonClearStopEvents, ui->pushButtonDeleteStopEvents,
                            ui->groupBoxAddEvent};
    m_events = new ScenarioEventTable(project, widgets, this);
    m_events->setEvents(algo.events);
    ui->checkBoxStopByInputs->setChecked(algo.inputsOff);
    m_events->setEventWidgetsEnabled(!algo.inputsOff);
}

AlgoStopEditor::~AlgoStopEditor()
{
    delete ui;
}

ScenarioAlgo AlgoStopEditor::algo() const
{
    ScenarioAlgo algo = m_algo;
    algo.inputsOff = ui->checkBoxStopByInputs->isChecked();
    algo.events = m_events->events();
    return algo;
}

void AlgoStopEditor::on_checkBoxStopByInputs_stateChanged(int state)
{
    // The stop events count only while the scenario does not stop with its start signals.
    m_events->setEventWidgetsEnabled(state == Qt::Unchecked);
}

void AlgoStopEditor::on_comboBoxDeviceListStop_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    m_events->deviceChanged();
}

void AlgoStopEditor::on_comboBoxInStop_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    m_events->inputChanged();
}

void AlgoStopEditor::on_pushButtonAddStopEvent_clicked()
{
    m_events->addEvent();
}

void AlgoStopEditor::on_pushButtonDeleteStopEvents_clicked()
{
    m_events->deleteSelected();
}

void AlgoStopEditor::on_pushButtonClearStopEvents_clicked()
{
    m_events->clear();
}
