#include "gui/rowframe.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionViewItem>

RowLayout RowLayout::tree()
{
    RowLayout layout;
    layout.iconSize = QSize(24, 24);
    layout.margins = QMargins(6, 6, 6, 6);
    layout.spacing = 6;
    layout.lineGap = 4;
    return layout;
}

RowFrame RowFrame::begin(QPainter *painter, const QStyleOptionViewItem &option,
                         const RowLayout &layout)
{
    RowFrame row;
    row.layout = layout;
    row.rect = option.rect;
    row.content = option.rect.marginsRemoved(layout.margins);
    row.palette = option.palette;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled)
        ? QPalette::Disabled
        : ((option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive);
    row.palette.setCurrentColorGroup(group);
    row.font = option.font;
    row.textLeft =
        row.content.left() + layout.margins.left() + layout.iconSize.width() + layout.spacing;
    row.firstLineCenter = row.content.top() + layout.iconSize.height() / 2;

    painter->save();
    painter->setClipRect(option.rect);
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? row.palette.highlight() : row.palette.light());
    painter->setPen(row.palette.color(QPalette::Dark));
    painter->drawLine(option.rect.left(), option.rect.bottom(), option.rect.right(),
                      option.rect.bottom());
    painter->setFont(row.font);
    painter->setPen(row.palette.color(QPalette::WindowText));
    return row;
}

QRect RowFrame::drawTextLine(QPainter *painter, int x, int centerY, const QString &text)
{
    const QFontMetrics metrics(painter->font());
    const int height = metrics.height();
    const QRect rect(x, centerY - height / 2, metrics.horizontalAdvance(text) + 1, height);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return rect;
}
