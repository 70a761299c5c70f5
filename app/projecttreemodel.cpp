#include "app/projecttreemodel.h"

#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <algorithm>

ProjectTreeModel::ProjectTreeModel(ProjectModel *project, QObject *parent)
    : QAbstractItemModel(parent)
    , m_project(project)
{
    rebuild();
    if (m_project)
        connect(m_project, &ProjectModel::nodeChanged, this, &ProjectTreeModel::on_deviceChanged);
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(0);
    connect(&m_repaintTimer, &QTimer::timeout, this, &ProjectTreeModel::announceRepaints);
}

void ProjectTreeModel::setEditing(bool editing)
{
    if (m_editing == editing)
        return;
    m_editing = editing;
    relayout();
}

void ProjectTreeModel::on_deviceChanged(QObject *node)
{
    Q_UNUSED(node)
    relayout();
}

void ProjectTreeModel::relayout()
{
    emit layoutAboutToBeChanged();
    // Where every node stood before: the persistent indexes carry the old node pointers,
    // which are only compared here, never followed.
    const QModelIndexList oldIndexes = persistentIndexList();
    rebuild();
    QModelIndexList newIndexes;
    newIndexes.reserve(oldIndexes.size());
    for (const QModelIndex &old : oldIndexes) {
        const void *key = old.internalPointer();
        newIndexes.append(m_entries.contains(key) ? indexOf(static_cast<const QObject *>(key))
                                                  : QModelIndex());
    }
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged();
}

void ProjectTreeModel::rebuild()
{
    m_entries.clear();
    m_children.clear();
    if (m_project)
        addChildren(nullptr, m_project->nodes);
}

void ProjectTreeModel::addChildren(const void *parentKey, const QList<QObject *> &children)
{
    QVector<QObject *> list;
    for (QObject *child : children) {
        const void *key = child;
        // A node listed twice would make the tree ambiguous; the first place wins.
        if (!child || m_entries.contains(key))
            continue;
        if (auto *group = qobject_cast<ProjectGroup *>(child)) {
            m_entries.insert(key, Entry {Kind::Group, parentKey, int(list.size())});
            list.append(child);
            addChildren(key, group->nodes);
        } else if (auto *device = qobject_cast<ProjectDevice *>(child)) {
            m_entries.insert(key, Entry {Kind::Device, parentKey, int(list.size())});
            list.append(child);
            // The device is bound in: asking sender() costs a walk over every device
            // connected to the model, per answer.
            disconnect(device, &ProjectDevice::statusChanged, this, nullptr);
            connect(device, &ProjectDevice::statusChanged, this,
                    [this, device] { onDeviceStatusChanged(device); });
            connect(device, &ProjectDevice::inOutAboutToBeRemoved, this,
                    &ProjectTreeModel::onInOutAboutToBeRemoved, Qt::UniqueConnection);
            connect(device, &ProjectDevice::inOutInserted, this, &ProjectTreeModel::onInOutInserted,
                    Qt::UniqueConnection);
            QVector<QObject *> inouts;
            if (m_editing) {
                for (InOut *io : qAsConst(device->inouts)) {
                    if (!io || m_entries.contains(io))
                        continue;
                    m_entries.insert(io, Entry {Kind::InOut, key, int(inouts.size())});
                    inouts.append(io);
                }
            }
            m_children.insert(key, inouts);
        }
    }
    m_children.insert(parentKey, list);
}

void ProjectTreeModel::onDeviceStatusChanged(const QObject *device)
{
    // The device is only looked up: one no longer in the tree changes nothing here.
    const void *key = device;
    for (auto entry = m_entries.constFind(key); entry != m_entries.constEnd();
         entry = m_entries.constFind(key)) {
        if (m_repaint.contains(key))
            break; // its groups are marked already
        m_repaint.insert(key);
        key = entry->parent;
    }
    if (!m_repaint.isEmpty() && !m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void ProjectTreeModel::announceRepaints()
{
    // Rows are looked up now: the tree may have changed since they were marked.
    struct Span {
        int first;
        int last;
        int depth;
    };
    QHash<const void *, Span> spans;
    for (const void *key : qAsConst(m_repaint)) {
        const auto entry = m_entries.constFind(key);
        if (entry == m_entries.constEnd())
            continue;
        auto span = spans.find(entry->parent);
        if (span == spans.end()) {
            int depth = 0;
            for (auto up = m_entries.constFind(entry->parent); up != m_entries.constEnd();
                 up = m_entries.constFind(up->parent))
                ++depth;
            spans.insert(entry->parent, Span {entry->row, entry->row, depth});
        } else {
            span->first = qMin(span->first, entry->row);
            span->last = qMax(span->last, entry->row);
        }
    }
    m_repaint.clear();
    // Devices before the groups that count them, the deepest first.
    QVector<QPair<const void *, Span>> ordered;
    ordered.reserve(spans.size());
    for (auto it = spans.constBegin(); it != spans.constEnd(); ++it)
        ordered.append({it.key(), it.value()});
    std::sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) {
        return a.second.depth != b.second.depth ? a.second.depth > b.second.depth
                                                : a.second.first < b.second.first;
    });
    for (const auto &parentSpan : qAsConst(ordered)) {
        const QModelIndex parentIndex = indexOf(static_cast<const QObject *>(parentSpan.first));
        const Span &span = parentSpan.second;
        emit dataChanged(index(span.first, 0, parentIndex), index(span.last, 0, parentIndex),
                         {Qt::DisplayRole, StatusRole});
    }
}

void ProjectTreeModel::onInOutAboutToBeRemoved(InOut *io)
{
    const void *device = sender();
    const auto entry = m_entries.constFind(io);
    if (entry == m_entries.constEnd() || entry->kind != Kind::InOut || entry->parent != device)
        return;
    const int row = entry->row;
    beginRemoveRows(indexOf(static_cast<const QObject *>(device)), row, row);
    QVector<QObject *> &children = m_children[device];
    children.remove(row);
    m_entries.remove(io);
    for (int i = row; i < children.size(); ++i)
        m_entries[children.at(i)].row = i;
    endRemoveRows();
}

void ProjectTreeModel::onInOutInserted(InOut *io)
{
    auto *device = qobject_cast<ProjectDevice *>(sender());
    if (!m_editing || !device || !io || m_entries.contains(io))
        return;
    const QModelIndex deviceIndex = indexOf(device);
    if (!deviceIndex.isValid())
        return;
    // The row follows the device's list, counting the channels the model shows.
    int row = 0;
    for (const InOut *each : qAsConst(device->inouts)) {
        if (each == io)
            break;
        const auto entry = m_entries.constFind(each);
        if (entry != m_entries.constEnd() && entry->parent == device)
            ++row;
    }
    beginInsertRows(deviceIndex, row, row);
    QVector<QObject *> &children = m_children[device];
    children.insert(row, io);
    m_entries.insert(io, Entry {Kind::InOut, device, row});
    for (int i = row + 1; i < children.size(); ++i)
        m_entries[children.at(i)].row = i;
    endInsertRows();
}

QObject *ProjectTreeModel::nodeOf(const QModelIndex &index)
{
    if (!index.isValid())
        return nullptr;
    return index.data(Qt::DisplayRole).value<QObject *>();
}

QModelIndex ProjectTreeModel::indexOf(const QObject *node) const
{
    const auto it = m_entries.constFind(node);
    if (it == m_entries.constEnd())
        return QModelIndex();
    return createIndex(it->row, 0, const_cast<QObject *>(node));
}

QModelIndex ProjectTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return QModelIndex();
    const void *parentKey = parent.isValid() ? parent.internalPointer() : nullptr;
    if (parent.isValid() && !m_entries.contains(parentKey))
        return QModelIndex();
    const auto it = m_children.constFind(parentKey);
    if (it == m_children.constEnd() || row >= it->size())
        return QModelIndex();
    return createIndex(row, 0, it->at(row));
}

QModelIndex ProjectTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    const auto it = m_entries.constFind(child.internalPointer());
    if (it == m_entries.constEnd() || !it->parent)
        return QModelIndex();
    return indexOf(static_cast<const QObject *>(it->parent));
}

int ProjectTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const void *parentKey = parent.isValid() ? parent.internalPointer() : nullptr;
    if (parent.isValid() && !m_entries.contains(parentKey))
        return 0;
    const auto it = m_children.constFind(parentKey);
    return it == m_children.constEnd() ? 0 : int(it->size());
}

int ProjectTreeModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return 1;
}

QVariant ProjectTreeModel::wrap(const void *key, const Entry &entry) const
{
    auto *object = static_cast<QObject *>(const_cast<void *>(key));
    switch (entry.kind) {
    case Kind::Group:
        return QVariant::fromValue(static_cast<ProjectGroup *>(object));
    case Kind::Device:
        return QVariant::fromValue(static_cast<ProjectDevice *>(object));
    case Kind::InOut:
        return QVariant::fromValue(static_cast<InOut *>(object));
    }
    return QVariant();
}

QVariant ProjectTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const auto it = m_entries.constFind(index.internalPointer());
    if (it == m_entries.constEnd())
        return QVariant();
    return wrap(it.key(), *it);
}

bool ProjectTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    Q_UNUSED(value)
    if (role != Qt::EditRole || !index.isValid())
        return false;
    // The delegate has already written the new name into the node; a renamed group or
    // channel is a change that saving writes, so the project counts as modified.
    if (m_project)
        m_project->modified = true;
    emit dataChanged(index, index, {Qt::EditRole});
    return true;
}

Qt::ItemFlags ProjectTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractItemModel::flags(index) | Qt::ItemIsEditable;
}
