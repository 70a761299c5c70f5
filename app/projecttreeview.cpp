#include "app/projecttreeview.h"

#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "gui/guiresources.h"
#include "gui/treelook.h"
#include "project/accesslevels.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"

#include <QMenu>
#include <QMouseEvent>

namespace {

QObject *nodeAt(const QModelIndex &index)
{
    return index.isValid() ? index.data(Qt::DisplayRole).value<QObject *>() : nullptr;
}

bool isPresent(const ProjectDevice *device)
{
    return device->portFound || device->netFound;
}

} // namespace

ProjectTreeView::ProjectTreeView(QWidget *parent)
    : QTreeView(parent)
    , m_delegate(new ProjectItemDelegate(this))
{
    initGuiResources();
    m_delegate->setRowLayout(RowLayout::tree());
    setItemDelegate(m_delegate);

    TreeLook::apply(this);

    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHeaderHidden(true);
    // Names are edited in place through the edit key or by the main window only.
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setExpandsOnDoubleClick(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            &ProjectTreeView::onCustomContextMenu);
    m_statusRepaint.setSingleShot(true);
    m_statusRepaint.setInterval(100);
    connect(&m_statusRepaint, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
}

void ProjectTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                  const QVector<int> &roles)
{
    // The tree view would measure every changed row again and find where each stands by
    // walking the expanded rows above it: with thousands of devices answering every second
    // that is the whole tree, many times over. A status leaves sizes and children as they
    // were, so the rows in sight are simply drawn again.
    if (roles.contains(ProjectTreeModel::StatusRole)) {
        if (!m_statusRepaint.isActive())
            m_statusRepaint.start();
        return;
    }
    QTreeView::dataChanged(topLeft, bottomRight, roles);
}

QObject *ProjectTreeView::selectedNode() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel() || !selectionModel()->isSelected(current))
        return nullptr;
    return nodeAt(current);
}

ProjectDevice *ProjectTreeView::selectedDevice() const
{
    return qobject_cast<ProjectDevice *>(selectedNode());
}

ProjectGroup *ProjectTreeView::selectedGroup() const
{
    return qobject_cast<ProjectGroup *>(selectedNode());
}

InOut *ProjectTreeView::selectedInOut() const
{
    return qobject_cast<InOut *>(selectedNode());
}

QModelIndex ProjectTreeView::indexOfNode(const QObject *node) const
{
    QAbstractItemModel *itemModel = model();
    if (!itemModel || !node)
        return QModelIndex();
    QList<QModelIndex> pending {QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeFirst();
        const int rows = itemModel->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = itemModel->index(row, 0, parent);
            if (nodeAt(index) == node)
                return index;
            pending.append(index);
        }
    }
    return QModelIndex();
}

void ProjectTreeView::expandNode(const QObject *node)
{
    QModelIndex index = indexOfNode(node);
    while (index.isValid()) {
        expand(index);
        index = index.parent();
    }
}

void ProjectTreeView::selectNode(const QObject *node)
{
    const QModelIndex index = indexOfNode(node);
    if (!index.isValid())
        return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    scrollTo(index);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ProjectTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Double-clicks neither expand nor edit here: they become signals by node kind.
    event->accept();
    const QModelIndex index = currentIndex();
    QObject *node = nodeAt(index);
    if (qobject_cast<ProjectGroup *>(node)) {
        emit groupDoubleClick(index);
    } else if (auto *device = qobject_cast<ProjectDevice *>(node)) {
        if (device->type == DeviceType::BexarTovik2)
            emit pultDoubleClick(index);
        else
            emit deviceDoubleClick(index);
    } else if (auto *io = qobject_cast<InOut *>(node)) {
        auto *owner = qobject_cast<ProjectDevice *>(io->parent());
        if (!owner)
            return;
        if (isConsoleType(owner->type) && io->type == InOutType::Button)
            emit pultKeyDoubleClick(index);
        else
            emit inOutDoubleClick(index);
    }
}

QMenu *ProjectTreeView::createContextMenu(const QModelIndex &index)
{
    QObject *node = nodeAt(index);
    auto *device = qobject_cast<ProjectDevice *>(node);
    auto *group = qobject_cast<ProjectGroup *>(node);
    if (!device && !group)
        return nullptr;

    const bool editing = !m_delegate->isPolling();
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setToolTipsVisible(true);
    auto add = [&](const QString &text, void (ProjectTreeView::*slot)(), bool enabled,
                   const QString &rule = QString()) {
        QAction *action = menu->addAction(text);
        action->setData(QVariant::fromValue(node));
        const int needed =
            AccessLevels::required(AccessLevels::Place::Tree, rule.isEmpty() ? text : rule);
        if (needed > m_accessLevel) {
            enabled = false;
            action->setToolTip(AccessLevels::neededText(needed));
        }
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    if (device) {
        add(QStringLiteral("Параметры"), &ProjectTreeView::onPopupTriggeredParam, editing);
        if (isCentralUnitType(device->type) || device->type == DeviceType::Media) {
            // "Настройка" writes the project's settings into a present central unit, and
            // opens the settings window of a present media converter.
            const bool central = isCentralUnitType(device->type);
            add(QStringLiteral("Настройка"), &ProjectTreeView::onPopupTriggeredSettings,
                (central ? m_uploadAvailable : m_converterAvailable) && isPresent(device),
                central ? QStringLiteral("Настройка (запись проекта в центральный блок)")
                        : QString());
            add(QStringLiteral("Обновление встроенного ПО"),
                &ProjectTreeView::onPopupTriggeredBootloaderDev,
                m_firmwareAvailable && isPresent(device));
        } else {
            add(QStringLiteral("Обновление ПО"), &ProjectTreeView::onPopupTriggeredFlashing,
                m_firmwareAvailable);
        }
    } else {
        add(QStringLiteral("Добавить устройство"), &ProjectTreeView::onPopupTriggeredAddDevice,
            editing);
        add(QStringLiteral("Добавить подгруппу"), &ProjectTreeView::onPopupTriggeredAddSubGroup,
            editing);
    }
    return menu;
}

void ProjectTreeView::onCustomContextMenu(const QPoint &point)
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return;
    // The entries act on the current index: make it the row that was clicked.
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (QMenu *menu = createContextMenu(index))
        menu->popup(viewport()->mapToGlobal(point));
}

void ProjectTreeView::onPopupTriggeredParam()
{
    emit actionDeviceParam(currentIndex());
}

void ProjectTreeView::onPopupTriggeredSettings()
{
    const auto *device = qobject_cast<ProjectDevice *>(nodeAt(currentIndex()));
    if (device && device->type == DeviceType::Media)
        emit actionOpenSettings(currentIndex());
    else
        emit actionPendUploadToDev(currentIndex());
}

void ProjectTreeView::onPopupTriggeredBootloaderDev()
{
    emit actionPendBootloaderDev(currentIndex());
}

void ProjectTreeView::onPopupTriggeredAddDevice()
{
    emit actionAddDeviceToGroup(currentIndex());
}

void ProjectTreeView::onPopupTriggeredAddSubGroup()
{
    emit actionAddSubgroupToGroup(currentIndex());
}

void ProjectTreeView::onPopupTriggeredFlashing()
{
    emit actionPendDeviceFlashing(currentIndex());
}

void ProjectTreeView::onPopupTriggeredUploadToDev()
{
    emit actionPendUploadToDev(currentIndex());
}
