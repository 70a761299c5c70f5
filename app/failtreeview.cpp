#include "app/failtreeview.h"

#include "app/failitemdelegate.h"
#include "gui/guiresources.h"
#include "gui/treelook.h"

FailTreeView::FailTreeView(QWidget *parent)
    : QTreeView(parent)
    , m_delegate(new FailItemDelegate(this))
{
    initGuiResources();
    setItemDelegate(m_delegate);
    TreeLook::apply(this);
    setRootIsDecorated(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &FailTreeView::onCustomContextMenu);
}

void FailTreeView::onCustomContextMenu(const QPoint &point)
{
    Q_UNUSED(point)
}

void FailTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeView::mouseDoubleClickEvent(event);
    emit doubleClick(currentIndex());
}
