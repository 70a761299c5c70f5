#pragma once

#include <QTimer>
#include <QTreeView>

class InOut;
class ProjectDevice;
class ProjectGroup;
class ProjectItemDelegate;
class QMenu;

// The project tree: draws its rows with ProjectItemDelegate, turns double-clicks into
// signals by node kind and offers a context menu per node kind. The nodes are read from
// the model's display role (see ProjectTreeModel).
class ProjectTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit ProjectTreeView(QWidget *parent = nullptr);

    ProjectItemDelegate *projectDelegate() const { return m_delegate; }

    // The node of the current index when that row is selected and of the kind asked for.
    ProjectDevice *selectedDevice() const;
    ProjectGroup *selectedGroup() const;
    InOut *selectedInOut() const;

    // Finds a node's index by walking the model; invalid when it is not shown.
    QModelIndex indexOfNode(const QObject *node) const;
    // Expands the item of a node (and the items above it, so that it can be seen).
    void expandNode(const QObject *node);
    // Makes a node's row the selected and current one and scrolls to it.
    void selectNode(const QObject *node);

    // Builds the context menu of an index; null for nodes that have none. The menu is a
    // child of the view and deletes itself when it closes.
    QMenu *createContextMenu(const QModelIndex &index);

    // Entries whose windows do not exist in this build are shown disabled.
    void setProjectUploadAvailable(bool available) { m_uploadAvailable = available; }
    void setFirmwareUpdateAvailable(bool available) { m_firmwareAvailable = available; }
    // The media converter's settings window, which its "Настройка" opens.
    void setConverterSettingsAvailable(bool available) { m_converterAvailable = available; }
    // Menu commands above the access level are disabled, with the level in their tooltip.
    void setAccessLevel(int level) { m_accessLevel = level; }

signals:
    void groupDoubleClick(QModelIndex index);
    void deviceDoubleClick(QModelIndex index);
    void pultDoubleClick(QModelIndex index);
    void pultKeyDoubleClick(QModelIndex index);
    void inOutDoubleClick(QModelIndex index);
    void actionDeviceParam(QModelIndex index);
    void actionPendUploadToDev(QModelIndex index);
    void actionPendBootloaderDev(QModelIndex index);
    void actionAddDeviceToGroup(QModelIndex index);
    void actionAddSubgroupToGroup(QModelIndex index);
    void actionPendDeviceFlashing(QModelIndex index);
    // "Настройка" of a media converter: its settings window.
    void actionOpenSettings(QModelIndex index);

public slots:
    void onCustomContextMenu(const QPoint &point);
    void onPopupTriggeredParam();
    void onPopupTriggeredSettings();
    void onPopupTriggeredBootloaderDev();
    void onPopupTriggeredAddDevice();
    void onPopupTriggeredAddSubGroup();
    void onPopupTriggeredFlashing();
    void onPopupTriggeredUploadToDev();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Status changes repaint the visible rows, at most ten times a second; other changes
    // go to the tree view, which measures each changed row again.
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>()) override;

private:
    QObject *selectedNode() const;

    ProjectItemDelegate *m_delegate = nullptr;
    bool m_uploadAvailable = false;
    bool m_firmwareAvailable = false;
    int m_accessLevel = 4;
    bool m_converterAvailable = false;
    QTimer m_statusRepaint;
};
