#pragma once

#include "project/projectmodel.h"
#include "project/scenario.h"

#include <QAbstractTableModel>
#include <QPointer>

// The scenario list of the main window: one row per scenario of the open project, with
// its name and the number of its algorithms; every row carries its Scenario as user data.
//
// The rows are the project's own list (ProjectModel::scenarios), which the project file
// reads and writes. Every change made through this model marks the project modified. A
// project that is loaded again in place (it announces that with nodeChanged of the model
// itself) is shown anew.
class ScenarioListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { NameColumn = 0, AlgoCountColumn = 1, ColumnCount };
    static constexpr int ScenarioRole = Qt::UserRole;

    explicit ScenarioListModel(QObject *parent = nullptr);

    // The project shown; null shows nothing.
    void setProject(ProjectModel *project);
    ProjectModel *project() const { return m_project; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Editing the name renames the scenario.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    Scenario scenarioAt(int row) const;
    // Each returns the row it changed, or -1 when there is none (no project, a row out of
    // range, a name that is empty or unchanged).
    int createScenario();
    int duplicateScenario(int row);
    int renameScenario(int row, const QString &name);
    int replaceScenario(int row, const Scenario &scenario);
    bool removeScenario(int row);

    // A name no scenario of the project has: the base, or the base with " 2", " 3", ...
    QString uniqueName(const QString &base) const;

private:
    void projectNodeChanged(QObject *node);
    void markModified();

    QPointer<ProjectModel> m_project;
    // What the rows show, to tell a project read again from a change of another kind.
    QList<Scenario> m_shown;
};
