#pragma once

#include <QMargins>
#include <QPalette>
#include <QRect>
#include <QSize>
#include <QStyledItemDelegate>

// Common part of the delegates that draw the rows of the monitoring views: layout
// parameters, and the row frame (background, separator line, clipping) under the text.
class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit RowDelegate(QObject *parent = nullptr);

    void setIconSize(const QSize &size) { m_iconSize = size; }
    QSize iconSize() const { return m_iconSize; }
    void setMargins(const QMargins &margins) { m_margins = margins; }
    QMargins margins() const { return m_margins; }
    void setSpacing(int spacing) { m_spacing = spacing; }
    int spacing() const { return m_spacing; }
    void setLineGap(int gap) { m_lineGap = gap; }
    int lineGap() const { return m_lineGap; }
    // Icon 24 x 24, margins 6, spacing 6, line gap 4: the look of the project tree.
    void useTreeLayout();

    // Pure colours of the journal and fault texts.
    static QColor red() { return QColor(255, 0, 0); }
    static QColor green() { return QColor(0, 255, 0); }
    static QColor black() { return QColor(0, 0, 0); }

protected:
    struct Row {
        QRect rect;
        QRect content; // the row less the margins
        QPalette palette; // the view's, in the colour group of the row's state
        int textLeft = 0; // where the text column starts, right of the icon
        int firstLineCenter = 0; // vertical centre of the first text line
    };

    // Saves the painter, clips it to the row, fills the row (highlight when selected,
    // else light) and draws the separator line along its bottom edge. Pair with
    // painter->restore().
    Row beginRow(QPainter *painter, const QStyleOptionViewItem &option) const;
    // Draws one single-line text whose vertical centre is at centerY, from x on.
    static QRect drawTextLine(QPainter *painter, int x, int centerY, const QString &text);
    // Height of a row with `lines` lines of text (at least the icon's height).
    int rowHeight(const QFont &font, int lines) const;

private:
    QSize m_iconSize {24, 24};
    QMargins m_margins {6, 6, 6, 6};
    int m_spacing = 6;
    int m_lineGap = 4;
};
