#pragma once

#include <QIdentityProxyModel>

// Between a file dialog and its file system model: the size column in Russian units
// (DataSize), where the model writes them in the system locale's ("1.5 KiB").
class FileSizeProxy : public QIdentityProxyModel {
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};
