#include "gui/rowdelegate.h"

#include <QFontMetrics>
#include <QPainter>

RowDelegate::RowDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

RowFrame RowDelegate::beginRow(QPainter *painter, const QStyleOptionViewItem &option) const
{
    const RowFrame row = RowFrame::begin(painter, option, m_layout);
    painter->setPen(black());
    return row;
}

int RowDelegate::rowHeight(const QFont &font, int lines) const
{
    // The first line is centred on the icon; further lines follow at the font's height.
    const int lineHeight = QFontMetrics(font).height();
    const int text = m_layout.iconSize.height() / 2 + lineHeight / 2 + (lines - 1) * lineHeight + 1;
    return m_layout.margins.top() + m_layout.margins.bottom() +
        qMax(m_layout.iconSize.height(), text);
}
