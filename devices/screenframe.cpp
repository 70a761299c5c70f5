#include "devices/screenframe.h"

#include "link/screenrenderer.h"

#include <QPainter>

ScreenFrame::ScreenFrame(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("screenFrame"));
    setFrameShape(QFrame::NoFrame);
    setFixedSize(ScreenRenderer::frameSize());
}

void ScreenFrame::setScreen(const UnitScreen &screen)
{
    picture = screen;
    update();
}

QImage ScreenFrame::grabImage()
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(ScreenRenderer::background());
    render(&image);
    return image;
}

void ScreenFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    ScreenRenderer::paint(&painter, size(), picture);
}
