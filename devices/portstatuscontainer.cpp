#include "devices/portstatuscontainer.h"

#include "gui/guiresources.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

PortStatusContainer::PortStatusContainer(QWidget *parent)
    : QWidget(parent)
{
    // The lamps are compiled-in images: a device window may be the first to show one.
    initGuiResources();
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int n = 1; n <= lampCount; ++n) {
        auto *cell = new QVBoxLayout;
        auto *lampFrame = new QFrame(this);
        lampFrame->setObjectName(QStringLiteral("lamp%1").arg(n));
        lampFrame->setFixedSize(32, 32);
        auto *number = new QLabel(QString::number(n), this);
        number->setAlignment(Qt::AlignHCenter);
        cell->addWidget(lampFrame, 0, Qt::AlignHCenter);
        cell->addWidget(number);
        row->addLayout(cell);
        lamps.append(lampFrame);
        colours.append(Gray);
        lampFrame->setStyleSheet(styleSheet(Gray));
    }
    row->addStretch();
}

QString PortStatusContainer::styleSheet(Colour colour)
{
    static const char *const names[] = {"Gray", "Red", "Green", "Blue", "Yellow"};
    const int index = colour >= Gray && colour <= Yellow ? int(colour) : 0;
    return QStringLiteral("background-image: url(:/images/buttons/Button-Blank-%1-icon.png)")
        .arg(QLatin1String(names[index]));
}

void PortStatusContainer::setLamp(int n, Colour colour)
{
    if (n < 1 || n > lampCount || colours.at(n - 1) == colour)
        return;
    colours[n - 1] = colour;
    lamps.at(n - 1)->setStyleSheet(styleSheet(colour));
}

PortStatusContainer::Colour PortStatusContainer::lamp(int n) const
{
    return n >= 1 && n <= lampCount ? colours.at(n - 1) : Gray;
}

void PortStatusContainer::setMask(quint64 mask)
{
    for (int n = 1; n <= lampCount; ++n)
        setLamp(n, (mask >> (n - 1)) & 1u ? Red : Gray);
}
