#pragma once

#include "gui/rowframe.h"

#include <QColor>
#include <QStyledItemDelegate>

// Common part of the delegates that draw the rows of the monitoring views: the layout
// parameters, the row frame and the pure colours of their texts.
class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit RowDelegate(QObject *parent = nullptr);

    void setRowLayout(const RowLayout &layout) { m_layout = layout; }
    RowLayout rowLayout() const { return m_layout; }
    QSize iconSize() const { return m_layout.iconSize; }
    QMargins margins() const { return m_layout.margins; }
    int spacing() const { return m_layout.spacing; }
    int lineGap() const { return m_layout.lineGap; }

    static QColor red() { return QColor(255, 0, 0); }
    static QColor green() { return QColor(0, 255, 0); }
    static QColor black() { return QColor(0, 0, 0); }

protected:
    // The row frame with the text colour black. Pair with painter->restore().
    RowFrame beginRow(QPainter *painter, const QStyleOptionViewItem &option) const;
    // Height of a row with `lines` lines of text (at least the icon's height).
    int rowHeight(const QFont &font, int lines) const;

private:
    RowLayout m_layout = RowLayout::tree();
};
