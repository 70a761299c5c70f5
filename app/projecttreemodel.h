#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <QVector>

class InOut;
class ProjectModel;

// Item model over the project tree: the project at the root, then groups and devices,
// and, in editing state, each device's inputs and outputs.
//
// The model answers every structural question from a snapshot of the tree taken at the
// last nodeChanged() of the project. A node pointer held by a view is therefore only
// looked up, never followed, so a node that was removed (and perhaps already deleted)
// can never be reached through a stale index. On every change the snapshot is rebuilt
// inside a layout change and the persistent indexes of the views are moved to the new
// rows of their nodes, so expansion and selection survive.
//
// A device's channels change without nodeChanged() too (a console's reply gives it
// another number of buttons): the device announces each channel before it goes and once
// it has come, and the model removes or inserts that one row with the framework's row
// signals, before the channel is deleted.
class ProjectTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // Announced with the display role when a device's status changed the rows of the device
    // and of its groups: what they show, never their height or their children.
    static constexpr int StatusRole = Qt::UserRole + 1;

    explicit ProjectTreeModel(ProjectModel *project, QObject *parent = nullptr);

    ProjectModel *project() const { return m_project; }

    bool isEditing() const { return m_editing; }
    // In editing state devices have their inputs and outputs as children.
    void setEditing(bool editing);

    // The node behind an index (a group, device or input/output), or null.
    static QObject *nodeOf(const QModelIndex &index);
    // The index of a node currently in the tree, or an invalid index.
    QModelIndex indexOf(const QObject *node) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

public slots:
    void on_deviceChanged(QObject *node);

private slots:
    // A device's status changed: its row and the counters of the groups above it repaint,
    // together with every other row that changed before the loop comes round again.
    void onDeviceStatusChanged(const QObject *device);
    void announceRepaints();
    void onInOutAboutToBeRemoved(InOut *io);
    void onInOutInserted(InOut *io);

private:
    enum class Kind { Group, Device, InOut };
    struct Entry {
        Kind kind;
        const void *parent; // the parent node, or null for a top-level node
        int row;
    };

    void rebuild();
    void relayout();
    void addChildren(const void *parentKey, const QList<QObject *> &children);
    QVariant wrap(const void *key, const Entry &entry) const;

    ProjectModel *m_project = nullptr;
    bool m_editing = true;
    // Snapshot of the tree: every node with its kind and position, and the children of
    // every node (the key null stands for the project).
    QHash<const void *, Entry> m_entries;
    QHash<const void *, QVector<QObject *>> m_children;
    // Nodes whose rows repaint at the next round of the event loop. A view repaints a
    // single changed row by finding where it stands, which walks every expanded row above
    // it; a span of rows only marks the view for repainting. With thousands of devices
    // answering every second, one span per parent is what keeps the view responsive.
    QSet<const void *> m_repaint;
    QTimer m_repaintTimer;
};
