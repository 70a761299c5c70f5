#include "scenario/scenariolistpanel.h"
#include "ui_scenariolistpanel.h"

#include "gui/guiresources.h"
#include "gui/messageboxes.h"
#include "project/projectmodel.h"
#include "scenario/scenariolistmodel.h"
#include "scenario/scenariowindow.h"

#include <QHeaderView>

ScenarioListPanel::ScenarioListPanel(QSettings *settings, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::ScenarioListPanel)
    , m_settings(settings)
    , m_model(new ScenarioListModel(this))
{
    initGuiResources();
    ui->setupUi(this);
    ui->tableViewScenarios->setModel(m_model);
    QHeaderView *header = ui->tableViewScenarios->horizontalHeader();
    header->setSectionResizeMode(ScenarioListModel::NameColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(ScenarioListModel::AlgoCountColumn, QHeaderView::ResizeToContents);
    ui->verticalLayoutScenarioButtons->setAlignment(Qt::AlignTop);
    connect(ui->tableViewScenarios->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ScenarioListPanel::updateButtons);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ScenarioListPanel::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ScenarioListPanel::updateButtons);
    updateButtons();
}

ScenarioListPanel::~ScenarioListPanel()
{
    delete ui;
}

void ScenarioListPanel::setProject(ProjectModel *project)
{
    m_model->setProject(project);
    updateButtons();
}

ScenarioWindow *ScenarioListPanel::editor() const
{
    return m_editor;
}

int ScenarioListPanel::currentRow() const
{
    const QModelIndexList rows = ui->tableViewScenarios->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ScenarioListPanel::selectRow(int row)
{
    if (row < 0)
        return;
    ui->tableViewScenarios->selectRow(row);
    ui->tableViewScenarios->scrollTo(m_model->index(row, ScenarioListModel::NameColumn));
}

void ScenarioListPanel::updateButtons()
{
    const bool project = m_model->project() != nullptr;
    const bool selected = currentRow() >= 0;
    ui->pushButtonCreateScenario->setEnabled(project);
    for (QWidget *button : {static_cast<QWidget *>(ui->pushButtonOpenScenario),
                            static_cast<QWidget *>(ui->pushButtonRenameScenario),
                            static_cast<QWidget *>(ui->pushButtonDuplicateScenario),
                            static_cast<QWidget *>(ui->pushButtonRemoveScenario)})
        button->setEnabled(selected);
}

void ScenarioListPanel::on_pushButtonCreateScenario_clicked()
{
    // The new scenario comes with its name ready to be typed over.
    const int row = m_model->createScenario();
    selectRow(row);
    if (row >= 0)
        on_pushButtonRenameScenario_clicked();
}

void ScenarioListPanel::on_pushButtonOpenScenario_clicked()
{
    openScenario(currentRow());
}

void ScenarioListPanel::on_tableViewScenarios_doubleClicked(const QModelIndex &index)
{
    if (index.isValid())
        openScenario(index.row());
}

void ScenarioListPanel::on_pushButtonRenameScenario_clicked()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row, ScenarioListModel::NameColumn);
    ui->tableViewScenarios->setCurrentIndex(index);
    ui->tableViewScenarios->edit(index);
}

void ScenarioListPanel::on_pushButtonDuplicateScenario_clicked()
{
    selectRow(m_model->duplicateScenario(currentRow()));
}

void ScenarioListPanel::on_pushButtonRemoveScenario_clicked()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString text = QStringLiteral("Точно удалить сценарий ") + m_model->scenarioAt(row).name +
        QStringLiteral(" ?");
    if (!MessageBoxes::confirm(this, QStringLiteral("Удаление сценария"), text))
        return;
    m_model->removeScenario(row);
    selectRow(qMin(row, m_model->rowCount() - 1));
}

ScenarioWindow *ScenarioListPanel::openScenario(int row)
{
    ProjectModel *project = m_model->project();
    if (m_editor || !project || row < 0 || row >= m_model->rowCount())
        return nullptr;
    auto *editor = new ScenarioWindow(project, m_settings, m_model->scenarioAt(row), window());
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->setWindowModality(Qt::ApplicationModal);
    m_editor = editor;
    // The window is modal: the list and the project stay as they are while it is open.
    const QPointer<ProjectModel> openedFor(project);
    connect(editor, &ScenarioWindow::closed, this, [this, editor, openedFor, row]() {
        m_editor = nullptr;
        if (editor->isAccepted() && openedFor && openedFor == m_model->project())
            m_model->replaceScenario(row, editor->scenario());
        selectRow(row);
    });
    editor->show();
    return editor;
}
