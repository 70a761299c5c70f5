#include "link/screenrenderer.h"

#include "link/unitscreen.h"

#include <QPainter>

QRect ScreenRenderer::dotRect(const QSize &size, int column, int row)
{
    const int cellWidth = size.width() / UnitScreen::columns;
    const int cellHeight = size.height() / UnitScreen::rows;
    const int x = margin + column * cellWidth + int(0.1 * cellWidth);
    const int y = margin + row * cellHeight + int(0.1 * cellHeight);
    return QRect(x, y, int(0.8 * cellWidth), int(0.8 * cellHeight));
}

void ScreenRenderer::paint(QPainter *painter, const QSize &size, const UnitScreen &screen)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(QRect(QPoint(0, 0), size), background());
    if (screen.isValid()) {
        const qreal radiusX = 0.1 * (size.width() / UnitScreen::columns);
        const qreal radiusY = 0.1 * (size.height() / UnitScreen::rows);
        painter->setPen(Qt::NoPen);
        painter->setBrush(Qt::black);
        for (int row = 0; row < UnitScreen::rows; ++row) {
            for (int column = 0; column < UnitScreen::columns; ++column) {
                if (screen.dot(column, row))
                    painter->drawRoundedRect(QRectF(dotRect(size, column, row)), radiusX, radiusY);
            }
        }
    }
    painter->restore();
}

QImage ScreenRenderer::render(const UnitScreen &screen, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    paint(&painter, size, screen);
    return image;
}
