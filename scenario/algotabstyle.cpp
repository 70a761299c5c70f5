#include "scenario/algotabstyle.h"

#include <QStyleOptionTab>

QSize AlgoTabStyle::sizeFromContents(ContentsType type, const QStyleOption *option,
                                     const QSize &size, const QWidget *widget) const
{
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    // A side tab is measured as a turned one; its upright label needs the other way round.
    if (type == CT_TabBarTab)
        result.transpose();
    return result;
}

void AlgoTabStyle::drawControl(ControlElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    if (element == CE_TabBarTabLabel) {
        if (const auto *tab = qstyleoption_cast<const QStyleOptionTab *>(option)) {
            QStyleOptionTab upright(*tab);
            upright.shape = QTabBar::RoundedNorth;
            QProxyStyle::drawControl(element, &upright, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
