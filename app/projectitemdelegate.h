#pragma once

#include "gui/rowframe.h"
#include "project/devicecounts.h"

#include <QMargins>
#include <QSize>
#include <QStringList>
#include <QStyledItemDelegate>

class InOut;
class QFontMetrics;
class ProjectDevice;
class ProjectGroup;

// Draws the rows of the project tree (icons, captions, addresses, connection lamp, group
// counters) and edits the names of groups and inputs/outputs in place.
//
// The row texts and the lamp and colour choices are public functions so that they can be
// checked without painting and reused by other lists of devices.
class ProjectItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Where the parts of a row go, in pixels.
    using Layout = RowLayout;

    // The parts of a device row that depend on the device's state rather than on its
    // configuration; the tree draws them all, a list of devices to choose from need not.
    struct DeviceRowParts {
        // The USB icon of a device found on a port.
        bool usbIcon = true;
        // The connection lamp of a device on Ethernet.
        bool lamp = true;
        // The red caption of a lost or faulty device (the tree's polling state).
        bool alarmCaption = false;
    };

    explicit ProjectItemDelegate(QObject *parent = nullptr);

    void setRowLayout(const Layout &layout) { m_layout = layout; }
    Layout rowLayout() const { return m_layout; }
    void setIconSize(const QSize &size) { m_layout.iconSize = size; }
    QSize iconSize() const { return m_layout.iconSize; }
    void setMargins(const QMargins &margins) { m_layout.margins = margins; }
    QMargins margins() const { return m_layout.margins; }
    void setSpacing(int spacing) { m_layout.spacing = spacing; }
    int spacing() const { return m_layout.spacing; }
    void setLineGap(int gap) { m_layout.lineGap = gap; }
    int lineGap() const { return m_layout.lineGap; }
    // Polling state: device captions turn red for lost or faulty devices.
    void setPolling(bool polling) { m_polling = polling; }
    bool isPolling() const { return m_polling; }

    using GroupCounts = DeviceCounts;

    // "<type name> (№<serial>)", for consoles followed by " - <n> кнопок".
    static QString deviceCaptionText(const ProjectDevice *device);
    // The caption in `room` pixels: when it does not fit, the type name is shortened and the
    // serial number (and a console's buttons) stays whole.
    static QString fittedCaption(const ProjectDevice *device, const QFontMetrics &metrics,
                                 int room);
    // Right-hand texts of a device row; empty when the device has none.
    static QString busText(const ProjectDevice *device);
    static QString networkText(const ProjectDevice *device);
    // Resource path of the connection lamp, or an empty string for a device without one.
    static QString lampIconPath(const ProjectDevice *device);
    // Whether the caption is drawn in red: in polling state, for a device that is not
    // online or has a fault.
    static bool isCaptionAlarm(const ProjectDevice *device, bool polling);
    static QString inOutText(const InOut *io);
    static QString inOutIconPath(int inOutType);
    static QString groupIconPath(const ProjectGroup *group);
    static GroupCounts groupCounts(const ProjectGroup *group);
    // The counter line of a group row: the total, and in monitoring mode the three
    // further counters, each as one text.
    static QStringList groupCounterTexts(const ProjectGroup *group);
    // What the name editor starts with for a node: its name, or the prompt when empty.
    static QString editorText(const QObject *node);
    static bool isMonitoring(const QObject *node);

    // Draws the row of a node (a group, a device or an input/output; for anything else,
    // null included, only the background and the separator line) as the tree does, with
    // the given layout and device parts. Other lists of project nodes share this painter.
    static void paintNode(QPainter *painter, const QStyleOptionViewItem &option,
                          const QObject *node, const Layout &layout, const DeviceRowParts &parts);
    // The size of such a row: as wide as offered, high enough for the icon, the margins
    // and the row's lines.
    static QSize nodeSizeHint(const QStyleOptionViewItem &option, const QObject *node,
                              const Layout &layout);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    using Row = RowFrame;
    static void paintInOut(QPainter *painter, const Row &row, const InOut *io);
    static void paintGroup(QPainter *painter, const Row &row, const ProjectGroup *group);
    static void paintDevice(QPainter *painter, const Row &row, const ProjectDevice *device,
                            const DeviceRowParts &parts);

    Layout m_layout;
    bool m_polling = false;
};
