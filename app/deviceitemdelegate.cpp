#include "app/deviceitemdelegate.h"

#include "app/devicelistmodel.h"
#include "gui/guiresources.h"

#include <QDebug>

namespace {

QObject *nodeAt(const QModelIndex &index)
{
    return index.isValid() ? index.data(DeviceListModel::DeviceRole).value<QObject *>() : nullptr;
}

} // namespace

DeviceItemDelegate::DeviceItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
    initGuiResources();
    m_layout = RowLayout::tree();
}

ProjectItemDelegate::DeviceRowParts DeviceItemDelegate::rowParts()
{
    ProjectItemDelegate::DeviceRowParts parts;
    parts.usbIcon = false;
    parts.lamp = false;
    parts.alarmCaption = false;
    return parts;
}

void DeviceItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    qDebug("DeviceItemDelegate::paint");
    ProjectItemDelegate::paintNode(painter, option, nodeAt(index), m_layout, rowParts());
}

QSize DeviceItemDelegate::sizeHint(const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    return ProjectItemDelegate::nodeSizeHint(option, nodeAt(index), m_layout);
}
