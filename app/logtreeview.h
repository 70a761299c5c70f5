#pragma once

#include <QTreeView>

class LogItemDelegate;
class ProjectModel;

// The event journal of monitoring mode: the unacknowledged events, newest first, drawn
// by LogItemDelegate in the look of the project tree.
class LogTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit LogTreeView(ProjectModel *project, QWidget *parent = nullptr);

    LogItemDelegate *logDelegate() const { return m_delegate; }
    // The project whose devices the records name (after the window replaced its project).
    void setProject(ProjectModel *project);
    // Shows a journal model with the columns and widths of the journal tab.
    void setJournalModel(QAbstractItemModel *model);

public slots:
    // The journal offers no commands of its own.
    void onCustomContextMenu(const QPoint &point);

private:
    LogItemDelegate *m_delegate = nullptr;
};
