#include "scenario/scenariowindow.h"
#include "ui_scenariowindow.h"

#include "gui/guiresources.h"
#include "gui/windowgeometry.h"
#include "scenario/algostarteditor.h"
#include "scenario/algostopeditor.h"
#include "scenario/algotabwidget.h"

#include <QCloseEvent>
#include <QDebug>
#include <QIcon>
#include <QLabel>

ScenarioWindow::ScenarioWindow(ProjectModel *project, QSettings *settings, const Scenario &scenario,
                               QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::FormScenarioWindow)
    , m_project(project)
    , m_scenario(scenario)
{
    initGuiResources();
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Редактирование сценария"));
    if (settings) {
        m_geometry = std::make_unique<WindowGeometry>(
            settings, QStringLiteral("scenarioeditwindow"), 1000, 600);
        m_geometry->restore(this);
    }

    m_tabs = new AlgoTabWidget(ui->frameMain);
    m_tabs->setObjectName(QStringLiteral("tabWidgetAlgos"));
    ui->verticalLayoutAlgoEditor->addWidget(m_tabs);

    ui->lineEditScenarioName->setText(scenario.name);
    m_shownName = ui->lineEditScenarioName->text();
    // The two options are shown as they are, both or neither included: the buttons are
    // not exclusive by themselves, a click makes them so (on_radioButtonScenarioElems).
    ui->radioButtonScenarioTimerEnable->setChecked(scenario.timer);
    ui->radioButtonScenarioSheduleEnable->setChecked(scenario.shedule);
    {
        const QSignalBlocker blocker(ui->checkBoxScenarioDepsEnable);
        ui->checkBoxScenarioDepsEnable->setChecked(scenario.dependencies);
    }
    buildTabs();
    if (!scenario.isEditable())
        showReadOnly();

    // "Отмена", "Сохранить" and the dependency box are connected by name.
    connect(ui->radioButtonScenarioTimerEnable, &QRadioButton::clicked, this,
            &ScenarioWindow::on_radioButtonScenarioElems_clicked);
    connect(ui->radioButtonScenarioSheduleEnable, &QRadioButton::clicked, this,
            &ScenarioWindow::on_radioButtonScenarioElems_clicked);
}

ScenarioWindow::~ScenarioWindow()
{
    delete ui;
}

void ScenarioWindow::buildTabs()
{
    for (int i = 0; i < m_scenario.algos.size(); ++i) {
        const ScenarioAlgo &algo = m_scenario.algos.at(i);
        QWidget *page = nullptr;
        if (algo.type == ScenarioAlgo::Start)
            page = new AlgoStartEditor(m_project, algo, m_tabs);
        else if (algo.type == ScenarioAlgo::Stop)
            page = new AlgoStopEditor(m_project, algo, m_tabs);
        else
            continue;
        m_tabs->addTab(page, QIcon(Scenario::algoIconPath(algo.type)),
                       Scenario::algoTitle(algo.type));
        m_pages.append({i, page});
    }
}

void ScenarioWindow::showReadOnly()
{
    QStringList keys;
    for (const QString &key : m_scenario.unreadableKeys)
        keys << QStringLiteral("«%1»").arg(key);
    const QString which = keys.size() == 1
        ? QStringLiteral("значение ключа %1 не того типа").arg(keys.first())
        : QStringLiteral("значения ключей %1 не того типа").arg(keys.join(QStringLiteral(", ")));
    auto *label = new QLabel(
        QStringLiteral("Сценарий открыт только для просмотра: в файле проекта %1, и редактор "
                       "не может его изменить. Сценарий сохраняется в файле без изменений.")
            .arg(which),
        ui->centralWidget);
    label->setObjectName(QStringLiteral("labelReadOnly"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: red;"));
    ui->verticalLayoutMain->insertWidget(0, label);
    ui->lineEditScenarioName->setReadOnly(true);
    ui->groupBoxScenarioVars->setEnabled(false);
    for (const Page &page : qAsConst(m_pages))
        page.page->setEnabled(false);
    ui->pushButtonSaveAlgo->setEnabled(false);
}

Scenario ScenarioWindow::editedScenario() const
{
    // Everything starts as it came, the priority and the steps without a page included.
    Scenario edited = m_scenario;
    const QString name = ui->lineEditScenarioName->text();
    if (name != m_shownName)
        edited.name = name;
    edited.timer = ui->radioButtonScenarioTimerEnable->isChecked();
    edited.shedule = ui->radioButtonScenarioSheduleEnable->isChecked();
    edited.dependencies = ui->checkBoxScenarioDepsEnable->isChecked();
    for (const Page &page : m_pages) {
        if (const auto *start = qobject_cast<const AlgoStartEditor *>(page.page))
            edited.algos[page.algoIndex] = start->algo();
        else if (const auto *stop = qobject_cast<const AlgoStopEditor *>(page.page))
            edited.algos[page.algoIndex] = stop->algo();
    }
    return edited;
}

void ScenarioWindow::on_pushButtonSaveAlgo_clicked()
{
    if (!m_scenario.isEditable())
        return;
    m_scenario = editedScenario();
    m_accepted = true;
    close();
}

void ScenarioWindow::on_pushButtonCanselAlgo_clicked()
{
    close();
}

void ScenarioWindow::on_checkBoxScenarioDepsEnable_stateChanged(int state)
{
    // The dependencies have no page of their own; the box alone says whether they are used.
    qDebug().noquote() << QStringLiteral("ScenarioWindow: dependencies %1")
                              .arg(state == Qt::Unchecked ? QStringLiteral("off")
                                                          : QStringLiteral("on"));
}

void ScenarioWindow::on_radioButtonScenarioElems_clicked()
{
    // Timer and schedule exclude each other once the user chooses: the clicked one is on,
    // the other off.
    const bool timer = sender() == ui->radioButtonScenarioTimerEnable;
    const bool shedule = sender() == ui->radioButtonScenarioSheduleEnable;
    if (!timer && !shedule)
        return;
    ui->radioButtonScenarioTimerEnable->setChecked(timer);
    ui->radioButtonScenarioSheduleEnable->setChecked(shedule);
}

void ScenarioWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    qDebug().noquote() << "ScenarioWindow::resizeEvent()";
    if (m_geometry)
        m_geometry->saveOnResize(this);
}

void ScenarioWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    qDebug().noquote() << "ScenarioWindow::changeEvent()";
    if (m_geometry)
        m_geometry->saveOnChange(this);
}

void ScenarioWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_closedEmitted) {
        m_closedEmitted = true;
        emit closed();
    }
}
