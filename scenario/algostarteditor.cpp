#include "scenario/algostarteditor.h"
#include "ui_algostarteditor.h"

#include "scenario/scenarioeventtable.h"

AlgoStartEditor::AlgoStartEditor(const ProjectModel *project, const ScenarioAlgo &algo,
                                 QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::AlgoStartEditor)
    , m_algo(algo)
{
    ui->setupUi(this);
    ScenarioEventTable::Widgets widgets;
    widgets.table = ui->tableWidgetStartEvents;
    widgets.devices = ui->comboBoxDeviceListStart;
    widgets.inputs = ui->comboBoxInStart;
    widgets.states = ui->comboBoxInputStateStart;
    widgets.add = ui->pushButtonAddStartEvent;
    widgets.eventWidgets = {ui->labelTableName, ui->tableWidgetStartEvents,
                            ui->pushButtonClearStartEvents, ui->pushButtonDeleteStartEvent,
                            ui->groupBoxAddEvent};
    m_events = new ScenarioEventTable(project, widgets, this);
    m_events->setEvents(algo.events);
    ui->checkBoxActiveAlways->setChecked(algo.always);
    m_events->setEventWidgetsEnabled(!algo.always);
}

AlgoStartEditor::~AlgoStartEditor()
{
    delete ui;
}

ScenarioAlgo AlgoStartEditor::algo() const
{
    ScenarioAlgo algo = m_algo;
    algo.always = ui->checkBoxActiveAlways->isChecked();
    algo.events = m_events->events();
    return algo;
}

void AlgoStartEditor::on_checkBoxActiveAlways_stateChanged(int arg1)
{
    m_events->setEventWidgetsEnabled(arg1 == Qt::Unchecked);
}

void AlgoStartEditor::on_comboBoxDeviceListStart_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    m_events->deviceChanged();
}

void AlgoStartEditor::on_pushButtonAddStartEvent_clicked()
{
    m_events->addEvent();
}

void AlgoStartEditor::on_comboBoxInStart_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    m_events->inputChanged();
}

void AlgoStartEditor::on_pushButtonDeleteStartEvent_clicked()
{
    m_events->deleteSelected();
}

void AlgoStartEditor::on_pushButtonClearStartEvents_clicked()
{
    m_events->clear();
}
