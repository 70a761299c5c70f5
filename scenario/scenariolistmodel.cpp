#include "scenario/scenariolistmodel.h"

#include "project/projectmodel.h"

ScenarioListModel::ScenarioListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    Scenario::registerMetaType();
}

void ScenarioListModel::setProject(ProjectModel *project)
{
    beginResetModel();
    if (m_project)
        disconnect(m_project, nullptr, this, nullptr);
    m_project = project;
    m_shown = project ? project->scenarios : QList<Scenario>();
    if (project) {
        connect(project, &ProjectModel::nodeChanged, this, &ScenarioListModel::projectNodeChanged);
        connect(project, &QObject::destroyed, this, [this]() {
            beginResetModel();
            m_shown.clear();
            endResetModel();
        });
    }
    endResetModel();
}

void ScenarioListModel::projectNodeChanged(QObject *node)
{
    // Loading a file in place ends with the model announcing itself.
    if (node != m_project || m_project->scenarios == m_shown)
        return;
    beginResetModel();
    m_shown = m_project->scenarios;
    endResetModel();
}

void ScenarioListModel::markModified()
{
    m_project->modified = true;
    m_shown = m_project->scenarios;
}

int ScenarioListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_project ? 0 : m_project->scenarios.size();
}

int ScenarioListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScenarioListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_project || index.row() >= m_project->scenarios.size())
        return QVariant();
    const Scenario &scenario = m_project->scenarios.at(index.row());
    if (role == ScenarioRole)
        return QVariant::fromValue(scenario);
    if (index.column() == NameColumn && (role == Qt::DisplayRole || role == Qt::EditRole))
        return scenario.name;
    if (index.column() == AlgoCountColumn) {
        if (role == Qt::DisplayRole)
            return scenario.algos.size();
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant ScenarioListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return QStringLiteral("Название");
    case AlgoCountColumn:
        return QStringLiteral("Алгоритмов");
    default:
        return QVariant();
    }
}

Qt::ItemFlags ScenarioListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == NameColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool ScenarioListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != NameColumn)
        return false;
    return renameScenario(index.row(), value.toString()) >= 0;
}

Scenario ScenarioListModel::scenarioAt(int row) const
{
    if (!m_project || row < 0 || row >= m_project->scenarios.size())
        return Scenario();
    return m_project->scenarios.at(row);
}

QString ScenarioListModel::uniqueName(const QString &base) const
{
    auto taken = [this](const QString &name) {
        if (!m_project)
            return false;
        for (const Scenario &scenario : qAsConst(m_project->scenarios)) {
            if (scenario.name == name)
                return true;
        }
        return false;
    };
    QString name = base;
    for (int n = 2; taken(name); ++n)
        name = base + QLatin1Char(' ') + QString::number(n);
    return name;
}

int ScenarioListModel::createScenario()
{
    if (!m_project)
        return -1;
    const int row = m_project->scenarios.size();
    beginInsertRows(QModelIndex(), row, row);
    m_project->scenarios.append(Scenario::created(uniqueName(QStringLiteral("Новый сценарий"))));
    markModified();
    endInsertRows();
    return row;
}

int ScenarioListModel::duplicateScenario(int row)
{
    if (!m_project || row < 0 || row >= m_project->scenarios.size())
        return -1;
    Scenario copy = m_project->scenarios.at(row);
    copy.name = uniqueName(copy.name + QStringLiteral(" (копия)"));
    // The copy follows its original.
    const int at = row + 1;
    beginInsertRows(QModelIndex(), at, at);
    m_project->scenarios.insert(at, copy);
    markModified();
    endInsertRows();
    return at;
}

int ScenarioListModel::renameScenario(int row, const QString &name)
{
    if (!m_project || row < 0 || row >= m_project->scenarios.size())
        return -1;
    if (name.trimmed().isEmpty() || m_project->scenarios.at(row).name == name)
        return -1;
    m_project->scenarios[row].name = name;
    markModified();
    emit dataChanged(index(row, NameColumn), index(row, NameColumn));
    return row;
}

int ScenarioListModel::replaceScenario(int row, const Scenario &scenario)
{
    if (!m_project || row < 0 || row >= m_project->scenarios.size())
        return -1;
    if (m_project->scenarios.at(row) == scenario)
        return -1;
    m_project->scenarios[row] = scenario;
    markModified();
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    return row;
}

bool ScenarioListModel::removeScenario(int row)
{
    if (!m_project || row < 0 || row >= m_project->scenarios.size())
        return false;
    beginRemoveRows(QModelIndex(), row, row);
    m_project->scenarios.removeAt(row);
    markModified();
    endRemoveRows();
    return true;
}
