#include "scenario/algotabwidget.h"

#include "scenario/algotabstyle.h"

#include <QTabBar>

AlgoTabWidget::AlgoTabWidget(QWidget *parent)
    : QTabWidget(parent)
{
    auto *bar = new QTabBar(this);
    bar->setIconSize(QSize(32, 32));
    // The style is not owned by the widget it is set on.
    auto *style = new AlgoTabStyle;
    style->setParent(bar);
    bar->setStyle(style);
    setTabBar(bar);
    setTabPosition(QTabWidget::West);
}
