#include "app/logtreeview.h"

#include "app/logitemdelegate.h"
#include "gui/guiresources.h"
#include "gui/treelook.h"

#include <QHeaderView>

LogTreeView::LogTreeView(ProjectModel *project, QWidget *parent)
    : QTreeView(parent)
    , m_delegate(new LogItemDelegate(project, this))
{
    initGuiResources();
    setItemDelegate(m_delegate);
    TreeLook::apply(this);
    setRootIsDecorated(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &LogTreeView::onCustomContextMenu);
}

void LogTreeView::setProject(ProjectModel *project)
{
    m_delegate->setProject(project);
    viewport()->update();
}

void LogTreeView::setJournalModel(QAbstractItemModel *model)
{
    QItemSelectionModel *oldSelection = selectionModel();
    setModel(model);
    if (oldSelection && oldSelection != selectionModel())
        oldSelection->deleteLater();
    if (!model)
        return;
    setColumnHidden(LogItemDelegate::RecordColumn, true);
    setColumnHidden(LogItemDelegate::DescriptionColumn, true);
    setColumnHidden(LogItemDelegate::SeenColumn, true);
    setColumnWidth(LogItemDelegate::TimeColumn, 220);
    setColumnWidth(LogItemDelegate::DeviceColumn, 400);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setDefaultAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void LogTreeView::onCustomContextMenu(const QPoint &point)
{
    Q_UNUSED(point)
}
