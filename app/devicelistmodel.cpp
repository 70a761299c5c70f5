#include "app/devicelistmodel.h"

#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

DeviceListModel::DeviceListModel(ProjectModel *project, QObject *parent)
    : QAbstractItemModel(parent)
{
    take(project);
}

QString DeviceListModel::descriptionText(const ProjectDevice *device)
{
    if (!device)
        return QString();
    QString text = deviceTypeName(device) + QStringLiteral(" №") + QString::number(device->serial) +
        QLatin1Char(' ');
    if (!device->tag.isEmpty())
        text += device->tag + QLatin1Char(' ');
    return text + QStringLiteral("IP-адрес ") + device->ip_addr;
}

void DeviceListModel::reset(ProjectModel *project)
{
    beginResetModel();
    for (const QPointer<ProjectDevice> &device : qAsConst(m_devices)) {
        if (device)
            disconnect(device, nullptr, this, nullptr);
    }
    m_devices.clear();
    take(project);
    endResetModel();
}

void DeviceListModel::take(ProjectModel *project)
{
    if (!project)
        return;
    const QList<ProjectDevice *> devices = project->allDevices();
    m_devices.reserve(devices.size());
    for (ProjectDevice *device : devices) {
        const int row = m_devices.size();
        m_devices.append(device);
        // A device deleted while listed: its row goes blank, and the views redraw it.
        connect(device, &QObject::destroyed, this, [this, row] {
            const QModelIndex gone = index(row, 0);
            emit dataChanged(gone, gone);
        });
    }
}

ProjectDevice *DeviceListModel::device(int row) const
{
    return row >= 0 && row < m_devices.size() ? m_devices.at(row).data() : nullptr;
}

int DeviceListModel::rowOf(const ProjectDevice *device) const
{
    if (!device)
        return -1;
    for (int row = 0; row < m_devices.size(); ++row) {
        if (m_devices.at(row) == device)
            return row;
    }
    return -1;
}

QModelIndex DeviceListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= m_devices.size())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex DeviceListModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child)
    return QModelIndex();
}

int DeviceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_devices.size();
}

int DeviceListModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return 1;
}

QVariant DeviceListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    ProjectDevice *listed = device(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return descriptionText(listed);
    case DeviceRole:
        return QVariant::fromValue(listed);
    default:
        return QVariant();
    }
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !device(index.row()))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
