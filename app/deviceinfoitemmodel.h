#pragma once

#include <QAbstractItemModel>
#include <QPointer>

class ProjectDevice;

// The fault pane's rows for one device: a header row, a state row, then one row per
// current fault. Each row's display value is a FailItemDescriptor.
//
// The model follows the device's statusChanged(). The device is not owned; should it be
// deleted while shown, the model becomes empty rather than follow a stale pointer.
class DeviceInfoItemModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit DeviceInfoItemModel(ProjectDevice *device = nullptr, QObject *parent = nullptr);

    ProjectDevice *device() const;
    void setDevice(ProjectDevice *device);

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

public slots:
    void on_deviceChanged();

private:
    void dropVanishedIndexes();

    QPointer<ProjectDevice> m_device;
    QMetaObject::Connection m_statusConnection;
    QMetaObject::Connection m_destroyedConnection;
};
