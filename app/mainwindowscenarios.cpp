#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "scenario/scenariolistpanel.h"

// The scenario list. It has a tab of its own beside the devices: the list and its
// commands need the width of the window, and the device tab keeps its tree and buttons.

void MainWindow::addScenarioList()
{
    auto *tab = new QWidget(ui->tabMain);
    tab->setObjectName(QStringLiteral("tabScenarios"));
    auto *layout = new QHBoxLayout(tab);
    m_scenarioList = new ScenarioListPanel(m_settings, tab);
    m_scenarioList->setObjectName(QStringLiteral("scenarioListPanel"));
    layout->addWidget(m_scenarioList);
    m_scenarioList->setProject(m_project);
    ui->tabMain->insertTab(ui->tabMain->indexOf(ui->tabDeviceList) + 1, tab,
                           QStringLiteral("Сценарии"));
}
