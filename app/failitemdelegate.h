#pragma once

#include "gui/rowdelegate.h"

#include <QColor>
#include <QStringList>

class ProjectDevice;
struct FailItemDescriptor;

// Draws the rows of the fault pane: the device header, the device state, and one row
// per current fault with its name on the left and its state in the right half.
//
// The texts and colours are public functions so that they can be checked without
// painting.
class FailItemDelegate : public RowDelegate {
    Q_OBJECT

public:
    explicit FailItemDelegate(QObject *parent = nullptr);

    // "<type name> (№<serial>)"
    static QString headerText(const ProjectDevice *device);
    // "Расположение: <tag>", or empty for a device without a tag.
    static QString locationText(const ProjectDevice *device);
    // The state row's lines: operating mode, active lines, last contact.
    static QStringList stateTexts(const ProjectDevice *device);
    static QString modeText(const ProjectDevice *device);
    static QString activeLinesText(const ProjectDevice *device);
    static QString connectionText(const ProjectDevice *device);
    // The tint laid over the state row: red for a device that is not online.
    static QColor stateTint(const ProjectDevice *device);
    static QColor headerTint() { return QColor(64, 64, 64, 128); }

    // Left and right texts of a fault row and the colour of the right one.
    static QString faultText(const FailItemDescriptor &item);
    static QString faultStateText(const FailItemDescriptor &item);
    static QColor faultStateColor(const FailItemDescriptor &item);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintHeader(QPainter *painter, const RowFrame &row, const ProjectDevice *device) const;
    void paintState(QPainter *painter, const RowFrame &row, const ProjectDevice *device) const;
    void paintFault(QPainter *painter, const RowFrame &row, const FailItemDescriptor &item) const;
};
