#include "gui/filesizeproxy.h"

#include "project/datasize.h"

#include <QFileSystemModel>

QVariant FileSizeProxy::data(const QModelIndex &index, int role) const
{
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    // Column 1 is the size; folders have none.
    if (files && role == Qt::DisplayRole && index.column() == 1) {
        const QModelIndex source = mapToSource(index);
        return files->isDir(source) ? QVariant(QString()) : DataSize::text(files->size(source));
    }
    return QIdentityProxyModel::data(index, role);
}
