#pragma once

#include <QProxyStyle>

// The look of the algorithm tabs of the scenario editor: tabs on the left side whose
// icons and titles read horizontally instead of being turned with the tab.
class AlgoTabStyle : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
};
