#include "gui/filedialogs.h"

#include "gui/filesizeproxy.h"

#include <QFileDialog>

namespace {

QString ask(QWidget *parent, const QString &objectName, const QString &title, const QString &start,
            const QString &filter, bool save)
{
    QFileDialog dialog(parent, title, start, filter);
    dialog.setObjectName(objectName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Sizes in Russian units, like everything else the dialog shows.
    dialog.setProxyModel(new FileSizeProxy(&dialog));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace

QString FileDialogs::openFile(QWidget *parent, const QString &objectName, const QString &title,
                              const QString &folder, const QString &filter)
{
    return ask(parent, objectName, title, folder, filter, false);
}

QString FileDialogs::saveFile(QWidget *parent, const QString &objectName, const QString &title,
                              const QString &proposal, const QString &filter)
{
    return ask(parent, objectName, title, proposal, filter, true);
}
