#include "gui/counterlabel.h"

#include <QLabel>
#include <QPalette>

void CounterLabel::show(QLabel *label, const QString &prefix, int count, bool highlightNonZero)
{
    label->setText(prefix + QString::number(count));
    if (!highlightNonZero)
        return;
    const bool alert = count > 0;
    const QColor colour = alert ? QColor(Qt::red) : QColor(Qt::black);
    QPalette palette = label->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, colour);
    label->setPalette(palette);
    QFont font = label->font();
    font.setWeight(alert ? QFont::Bold : QFont::Normal);
    label->setFont(font);
}

bool CounterLabel::isHighlighted(const QLabel *label)
{
    return label->palette().color(QPalette::Active, QPalette::WindowText) == QColor(Qt::red) &&
        label->font().weight() == QFont::Bold;
}
