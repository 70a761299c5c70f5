#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/adddevicedialog.h"
#include "app/editkeydialog.h"
#include "app/journalexportcommand.h"
#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"
#include "devices/devicewindowfactories.h"
#include "gui/counterlabel.h"
#include "gui/guiresources.h"
#include "gui/messageboxes.h"
#include "gui/windowgeometry.h"
#include "link/cdcusbprocess.h"
#include "link/networkports.h"
#include "monitor/eventacknowledger.h"
#include "monitor/usbsearch.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QResource>
#include <QSettings>
#include <QSplitter>
#include <QTextCodec>
#include <QTimer>
#include <QTreeView>

// Groups, devices and the windows opened on them.

// ---- Groups and devices ----

void MainWindow::on_pushButtonAddGroup_clicked()
{
    m_project->addGroup(nullptr);
}

void MainWindow::on_actionAddSubGroup(const QModelIndex &index)
{
    auto *group = qobject_cast<ProjectGroup *>(ProjectTreeModel::nodeOf(index));
    if (!group)
        return;
    if (!m_project->addGroup(group)) {
        MessageBoxes::error(this,
                            QStringLiteral("Нельзя добавить подгруппу: группы вкладываются "
                                           "не глубже %1 уровней.")
                                .arg(ProjectModel::maxGroupDepth));
        return;
    }
    m_treeView->expand(m_treeView->currentIndex());
}

void MainWindow::on_pushButtonAddDevice_clicked()
{
    addDeviceTo(m_project);
}

void MainWindow::on_actionAddDevice(const QModelIndex &index)
{
    addDeviceTo(ProjectTreeModel::nodeOf(index));
}

void MainWindow::addDeviceTo(QObject *node)
{
    auto *preselected = qobject_cast<ProjectGroup *>(node);
    if (node != m_project && !preselected)
        return;
    auto *dialog = new AddDeviceDialog(m_project, preselected, nullptr, this);
    dialog->exec();
    ProjectDevice *device = dialog->isAccepted() ? dialog->device() : nullptr;
    if (device) {
        ProjectGroup *group = dialog->group();
        if (!group && preselected)
            group = m_project->addGroup(nullptr);
        // addDevice gives the device its identifier, which key links refer to.
        if (m_project->addDevice(group, device)) {
            if (group)
                m_treeView->expandNode(group);
            if (m_monitoring)
                showDeviceFaults(device);
        } else {
            delete device;
            MessageBoxes::error(this,
                                QStringLiteral("Нельзя добавить устройство: в проекте не "
                                               "осталось свободных идентификаторов."));
        }
    }
    delete dialog;
    updateProjectSearchButton();
}

void MainWindow::on_pushButtonDeviceParameters_clicked()
{
    editSelectedDevice();
}

void MainWindow::on_actionDeviceParamClick(const QModelIndex &index)
{
    Q_UNUSED(index)
    editSelectedDevice();
}

void MainWindow::editSelectedDevice()
{
    ProjectDevice *device = m_treeView->selectedDevice();
    if (!device)
        return;
    ProjectGroup *formerGroup = device->parentGroup();
    const auto settingsOf = [](const ProjectDevice *d) {
        return QVariantList {d->serial,          d->tag,           d->ip_addr,    d->ip_enabled,
                             int(d->rs485_addr), d->rs485_enabled, d->keys_count, d->buttonCount()};
    };
    const QVariantList before = settingsOf(device);

    auto *dialog = new AddDeviceDialog(m_project, formerGroup, device, this);
    dialog->exec();
    if (dialog->isAccepted()) {
        ProjectGroup *group = dialog->group();
        if (group != formerGroup) {
            if (group) {
                m_project->moveDevice(group, device);
            } else {
                // "Без группы": the device goes to the top level, keeping its identifier.
                m_project->removeNode(device);
                m_project->addDevice(nullptr, device);
            }
        }
        if (settingsOf(device) != before)
            m_project->modified = true;
        emit m_project->nodeChanged(device);
        m_treeView->selectNode(device);
        m_treeView->scrollTo(m_treeView->currentIndex());
    }
    delete dialog;
}

void MainWindow::on_pushButtonRemoveDevice_clicked()
{
    if (ProjectDevice *device = m_treeView->selectedDevice()) {
        const QString text = QStringLiteral("Точно удалить устройство ") + deviceTypeName(device) +
            QLatin1Char('\n') + QStringLiteral("серийный номер ") +
            QString::number(device->serial) + QStringLiteral(" ?");
        if (MessageBoxes::confirmRemoval(this, QStringLiteral("Удаление устройства"), text)) {
            if (m_monitoring)
                showDeviceFaults(nullptr);
            disposeOfNode(device);
        }
    } else if (ProjectGroup *group = m_treeView->selectedGroup()) {
        const QString text =
            QStringLiteral("Точно удалить группу ") + group->name + QStringLiteral(" ?");
        if (MessageBoxes::confirmRemoval(this, QStringLiteral("Удаление группы"), text)) {
            if (m_monitoring)
                showDeviceFaults(nullptr);
            disposeOfNode(group);
        }
    }
    updateButtonsForSelection();
    updateProjectSearchButton();
}

void MainWindow::disposeOfNode(QObject *node)
{
    // removeNode only detaches: a group is dismantled and its former contents no longer
    // belong to anything, so everything it held is collected first and deleted after.
    QList<QObject *> removed {node};
    if (auto *group = qobject_cast<ProjectGroup *>(node))
        removed += group->allNodes();
    m_project->removeNode(node);
    for (QObject *each : qAsConst(removed))
        each->deleteLater();
}

void MainWindow::on_groupDoubleClick(const QModelIndex &index)
{
    m_treeView->edit(index);
}

void MainWindow::on_inoutDoubleClick(const QModelIndex &index)
{
    m_treeView->edit(index);
}

void MainWindow::on_pultKeyDoubleClick(const QModelIndex &index)
{
    Q_UNUSED(index)
    // A status reply may take the button away while the dialog is open.
    QPointer<InOut> key = m_treeView->selectedInOut();
    if (!key)
        return;
    auto *dialog = new EditKeyDialog(m_project, key, this);
    if (dialog->exec() == QDialog::Accepted && key)
        emit m_project->nodeChanged(key->parent());
    delete dialog;
}

// ---- Device windows ----

void MainWindow::installDeviceWindows()
{
    for (DeviceWindowKind kind : DeviceWindowFactories::kinds())
        setDeviceWindowFactory(kind, DeviceWindowFactories::factory(kind));
}

DeviceWindowContext MainWindow::deviceWindowContext()
{
    DeviceWindowContext context;
    context.parent = this;
    context.settings = m_settings;
    context.project = m_project;
    context.ports = NetworkPorts::fromSettings(*m_settings);
    context.access = m_access;
    return context;
}

void MainWindow::openSelectedDeviceWindow()
{
    ProjectDevice *device = m_treeView->selectedDevice();
    DeviceWindowKind kind;
    if (device && DeviceWindowRegistry::kindForType(device->type, &kind))
        m_windows.open(kind, device, deviceWindowContext());
}

void MainWindow::on_pushButtonOpenSetupDevice_clicked()
{
    openSelectedDeviceWindow();
}

void MainWindow::on_blockDoubleClick(const QModelIndex &index)
{
    Q_UNUSED(index)
    openSelectedDeviceWindow();
}

void MainWindow::on_pultDoubleClick(const QModelIndex &index)
{
    Q_UNUSED(index)
    openSelectedDeviceWindow();
}

void MainWindow::on_actionUploadToDev(const QModelIndex &index)
{
    Q_UNUSED(index)
    ProjectDevice *device = m_treeView->selectedDevice();
    if (device && (device->portFound || device->netFound) && isCentralUnitType(device->type))
        m_windows.open(DeviceWindowKind::ProjectUpload, device, deviceWindowContext());
}

void MainWindow::on_actionBootloaderDev(const QModelIndex &index)
{
    Q_UNUSED(index)
    ProjectDevice *device = m_treeView->selectedDevice();
    if (device && (device->portFound || device->netFound) &&
        (isCentralUnitType(device->type) || device->type == DeviceType::Media))
        m_windows.open(DeviceWindowKind::Firmware, device, deviceWindowContext());
}

void MainWindow::on_actionOpenSettings(const QModelIndex &index)
{
    Q_UNUSED(index)
    ProjectDevice *device = m_treeView->selectedDevice();
    if (device && (device->portFound || device->netFound))
        openSelectedDeviceWindow();
}

void MainWindow::on_pendDeviceFlashing(const QModelIndex &index)
{
    m_windows.open(DeviceWindowKind::Firmware,
                   qobject_cast<ProjectDevice *>(ProjectTreeModel::nodeOf(index)),
                   deviceWindowContext());
}
