#include "app/deviceinfoitemmodel.h"

#include "app/failitemdescriptor.h"
#include "project/projectdevice.h"

DeviceInfoItemModel::DeviceInfoItemModel(ProjectDevice *device, QObject *parent)
    : QAbstractItemModel(parent)
{
    qRegisterMetaType<FailItemDescriptor>("FailItemDescriptor");
    setDevice(device);
}

ProjectDevice *DeviceInfoItemModel::device() const
{
    return m_device;
}

void DeviceInfoItemModel::setDevice(ProjectDevice *device)
{
    if (device != m_device) {
        disconnect(m_statusConnection);
        disconnect(m_destroyedConnection);
        m_statusConnection = {};
        m_destroyedConnection = {};
        if (device) {
            m_statusConnection = connect(device, &ProjectDevice::statusChanged, this,
                                         &DeviceInfoItemModel::on_deviceChanged);
            // A deleted device leaves no rows behind (QPointer reads null by then).
            m_destroyedConnection =
                connect(device, &QObject::destroyed, this, &DeviceInfoItemModel::on_deviceChanged);
        }
    }
    emit layoutAboutToBeChanged();
    m_device = device;
    dropVanishedIndexes();
    emit layoutChanged();
}

void DeviceInfoItemModel::on_deviceChanged()
{
    emit layoutAboutToBeChanged();
    dropVanishedIndexes();
    emit layoutChanged();
}

void DeviceInfoItemModel::dropVanishedIndexes()
{
    // The rows are rebuilt from the device: a selection or current index on a row that
    // no longer exists is dropped instead of pointing past the end.
    const QModelIndexList kept = persistentIndexList();
    for (const QModelIndex &index : kept) {
        if (index.row() >= rowCount() || index.column() >= columnCount())
            changePersistentIndex(index, QModelIndex());
    }
}

QModelIndex DeviceInfoItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex DeviceInfoItemModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child)
    return QModelIndex();
}

int DeviceInfoItemModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_device)
        return 0;
    return 2 + m_device->faults.size();
}

int DeviceInfoItemModel::columnCount(const QModelIndex &parent) const
{
    Q_UNUSED(parent)
    return m_device ? 1 : 0;
}

QVariant DeviceInfoItemModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_device)
        return QVariant();
    const int row = index.row();
    FailItemDescriptor descriptor;
    descriptor.device = m_device;
    if (row == 0) {
        descriptor.kind = FailItemDescriptor::DeviceHeader;
    } else if (row == 1) {
        descriptor.kind = FailItemDescriptor::DeviceState;
    } else if (row - 1 <= m_device->faults.size()) {
        descriptor = FailItemDescriptor::fromFault(m_device->faultAt(row - 2));
    } else {
        return QVariant();
    }
    return QVariant::fromValue(descriptor);
}
