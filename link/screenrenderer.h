#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;
class UnitScreen;

// Draws a unit's screen as the console shows it: the whole area in the screen colour, every
// set dot a black rounded rectangle in its cell. The window's screen frame and the
// command-line tool both draw through here, so a picture saved by either equals what the
// frame shows.
//
// For an area of W x H pixels a cell is W / 128 by H / 32 pixels (integer division); dot
// (column, row) starts at 8 + column * cell width + a tenth of the cell width (likewise
// downwards), is 0.8 cell wide and high, and has corners rounded by a tenth of the cell
// width and height; positions and sizes are cut to whole pixels. No antialiasing: the
// picture is the same on every machine.
class ScreenRenderer {
public:
    // The size of the screen frame.
    static constexpr int frameWidth = 1040;
    static constexpr int frameHeight = 272;
    // The offset of the first cell from the top-left corner.
    static constexpr int margin = 8;

    static QSize frameSize() { return QSize(frameWidth, frameHeight); }
    static QColor background() { return QColor(157, 181, 209); }

    // The pixels of dot (column, row) in an area of `size`.
    static QRect dotRect(const QSize &size, int column, int row);
    // Paints `screen` into the area (0, 0, size) of `painter`; an empty screen (not 512
    // bytes) is the background alone.
    static void paint(QPainter *painter, const QSize &size, const UnitScreen &screen);
    // The picture of `screen` as a 32-bit RGB image of `size`.
    static QImage render(const UnitScreen &screen, const QSize &size = frameSize());
};
