#pragma once

#include <QAbstractItemModel>
#include <QPointer>
#include <QVector>

class ProjectDevice;
class ProjectModel;

// A flat list of the project's devices to choose from, taken when the model is made: it
// does not follow later changes of the project (see reset()).
//
// Each item gives its device's description as its text, and the device itself under
// DeviceRole. The devices are only watched, not owned: one deleted since the list was
// taken (removed from the project, or the project closed) stays a row, with an empty
// text, a null device and no flags, so it is never offered, drawn or chosen.
class DeviceListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // The role under which an item gives its ProjectDevice*.
    static constexpr int DeviceRole = Qt::UserRole + 1;

    explicit DeviceListModel(ProjectModel *project, QObject *parent = nullptr);

    // "<type name> №<serial> [<tag> ]IP-адрес <address>"; the address is given whether
    // Ethernet is switched on or not. Empty for no device.
    static QString descriptionText(const ProjectDevice *device);

    // Takes the list again from a project (none: an empty list).
    void reset(ProjectModel *project);

    // The device of a row, or null when the row is out of range or its device is gone.
    ProjectDevice *device(int row) const;
    // The row of a device still in the list, or -1.
    int rowOf(const ProjectDevice *device) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void take(ProjectModel *project);

    QVector<QPointer<ProjectDevice>> m_devices;
};
