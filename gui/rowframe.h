#pragma once

#include <QFont>
#include <QMargins>
#include <QPalette>
#include <QRect>
#include <QSize>

class QPainter;
class QString;
class QStyleOptionViewItem;

// Layout parameters of the rows drawn in the project tree and the monitoring views.
struct RowLayout {
    QSize iconSize {12, 12};
    QMargins margins {0, 0, 0, 0};
    // Between the icon and the text, and between texts on a line.
    int spacing = 0;
    // Between the first line of the right-hand texts and the line above it.
    int lineGap = 0;

    // Icon 24 x 24, margins 6, spacing 6, line gap 4: the look of the project tree.
    static RowLayout tree();
};

// One row being drawn: its rectangles, colours and where its text starts.
struct RowFrame {
    RowLayout layout;
    QRect rect;
    QRect content; // the row less the margins
    QPalette palette; // the view's, in the colour group of the row's state
    QFont font;
    int textLeft = 0; // where the text column starts, right of the icon
    int firstLineCenter = 0; // vertical centre of the first text line, beside the icon

    // Saves the painter, clips it to the row, fills the row (highlight colour when
    // selected, else light) and draws the separator line in the dark colour along its
    // bottom edge; leaves the row's font and text colour set. Pair with
    // painter->restore().
    static RowFrame begin(QPainter *painter, const QStyleOptionViewItem &option,
                          const RowLayout &layout);
    // Draws one single-line text whose vertical centre is at centerY, from x on; returns
    // the rectangle it took.
    static QRect drawTextLine(QPainter *painter, int x, int centerY, const QString &text);
};
