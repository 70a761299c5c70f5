#include "app/rowdelegate.h"

#include <QFontMetrics>
#include <QPainter>

RowDelegate::RowDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

void RowDelegate::useTreeLayout()
{
    setIconSize(QSize(24, 24));
    setMargins(QMargins(6, 6, 6, 6));
    setSpacing(6);
    setLineGap(4);
}

RowDelegate::Row RowDelegate::beginRow(QPainter *painter, const QStyleOptionViewItem &option) const
{
    Row row;
    row.rect = option.rect;
    row.content = option.rect.marginsRemoved(m_margins);
    row.palette = option.palette;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled)
        ? QPalette::Disabled
        : ((option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive);
    row.palette.setCurrentColorGroup(group);
    row.textLeft = row.content.left() + m_margins.left() + m_iconSize.width() + m_spacing;
    row.firstLineCenter = row.content.top() + m_iconSize.height() / 2;

    painter->save();
    painter->setClipRect(option.rect);
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? row.palette.highlight() : row.palette.light());
    painter->setPen(row.palette.color(QPalette::Dark));
    painter->drawLine(option.rect.left(), option.rect.bottom(), option.rect.right(),
                      option.rect.bottom());
    painter->setFont(option.font);
    painter->setPen(black());
    return row;
}

QRect RowDelegate::drawTextLine(QPainter *painter, int x, int centerY, const QString &text)
{
    const QFontMetrics metrics(painter->font());
    const int height = metrics.height();
    const QRect rect(x, centerY - height / 2, metrics.horizontalAdvance(text) + 1, height);
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    return rect;
}

int RowDelegate::rowHeight(const QFont &font, int lines) const
{
    // The first line is centred on the icon; further lines follow at the font's height.
    const int lineHeight = QFontMetrics(font).height();
    const int text = m_iconSize.height() / 2 + lineHeight / 2 + (lines - 1) * lineHeight + 1;
    return m_margins.top() + m_margins.bottom() + qMax(m_iconSize.height(), text);
}
