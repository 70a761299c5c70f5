#pragma once

#include "app/projectitemdelegate.h"

#include <QStyledItemDelegate>

// Draws the items of a device list (DeviceListModel) as the device rows of the project
// tree, with the tree's layout, but only what the device is configured to be: no USB
// icon, no connection lamp and no red caption. The node is read from
// DeviceListModel::DeviceRole; a group or input/output found there is drawn as in the
// tree, and an item without a node (a device deleted since the list was taken) as an
// empty row.
class DeviceItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit DeviceItemDelegate(QObject *parent = nullptr);

    ProjectItemDelegate::Layout rowLayout() const { return m_layout; }
    static ProjectItemDelegate::DeviceRowParts rowParts();

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    ProjectItemDelegate::Layout m_layout;
};
