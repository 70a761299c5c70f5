#include "iconpainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace {

// One palette for the whole set.
const QColor ink(0x2b, 0x36, 0x42);
const QColor body(0x55, 0x65, 0x76);
const QColor panel(0xe3, 0xe8, 0xee);
const QColor blue(0x2d, 0x7f, 0xd3);
const QColor green(0x2f, 0xa3, 0x55);
const QColor red(0xd6, 0x45, 0x41);
const QColor orange(0xef, 0x9a, 0x2b);
const QColor yellow(0xf2, 0xc9, 0x4c);

QPen outline(const QColor &colour = ink, qreal width = 2.0)
{
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void box(QPainter &p, const QRectF &rect, const QColor &fill, qreal radius = 3)
{
    p.setPen(outline());
    p.setBrush(fill);
    p.drawRoundedRect(rect, radius, radius);
}

void dot(QPainter &p, const QPointF &centre, qreal radius, const QColor &fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

void text(QPainter &p, const QRectF &rect, const QString &label, const QColor &colour, int pixels)
{
    QFont font = p.font();
    font.setPixelSize(pixels);
    font.setBold(true);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(rect, Qt::AlignCenter, label);
}

// A rack unit with a row of indicator lamps: the central and extension units.
void rackUnit(QPainter &p, int lamps, const QColor &accent, int height)
{
    const qreal top = 24 - height / 2.0;
    box(p, QRectF(3, top, 42, height), body);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRect(QRectF(5, top + 2, 4, height - 4));
    const qreal step = 32.0 / lamps;
    for (int i = 0; i < lamps; ++i)
        dot(p, QPointF(13 + step * (i + 0.5), top + height / 2.0), qMin(2.6, step / 2.6),
            i % 3 == 2 ? orange : green);
}

void microphone(QPainter &p, const QPointF &top, qreal scale)
{
    p.save();
    p.translate(top);
    p.scale(scale, scale);
    p.setPen(outline());
    p.setBrush(panel);
    p.drawRoundedRect(QRectF(-6, 0, 12, 20), 6, 6);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-10, 6, 20, 20), 180 * 16, 180 * 16);
    p.drawLine(QPointF(0, 26), QPointF(0, 32));
    p.drawLine(QPointF(-6, 32), QPointF(6, 32));
    p.restore();
}

void console(QPainter &p, bool network)
{
    QPainterPath desk;
    desk.moveTo(4, 42);
    desk.lineTo(10, 26);
    desk.lineTo(38, 26);
    desk.lineTo(44, 42);
    desk.closeSubpath();
    p.setPen(outline());
    p.setBrush(body);
    p.drawPath(desk);
    for (int i = 0; i < 4; ++i)
        dot(p, QPointF(14 + i * 7, 35), 2.4, i == 0 ? red : panel);
    p.setPen(outline(ink, 2.5));
    p.drawLine(QPointF(34, 26), QPointF(30, 12));
    p.setPen(outline());
    p.setBrush(ink);
    p.drawEllipse(QPointF(29, 9), 4, 4);
    if (network) {
        p.setPen(outline(blue, 2.2));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(8, 8), QPointF(8, 18));
        p.drawLine(QPointF(4, 18), QPointF(12, 18));
        p.drawLine(QPointF(4, 18), QPointF(4, 22));
        p.drawLine(QPointF(12, 18), QPointF(12, 22));
        dot(p, QPointF(8, 7), 3, blue);
    }
}

void speaker(QPainter &p, const QColor &fill)
{
    QPainterPath cone;
    cone.moveTo(6, 18);
    cone.lineTo(14, 18);
    cone.lineTo(26, 8);
    cone.lineTo(26, 40);
    cone.lineTo(14, 30);
    cone.lineTo(6, 30);
    cone.closeSubpath();
    p.setPen(outline());
    p.setBrush(fill);
    p.drawPath(cone);
}

void waves(QPainter &p, const QColor &colour)
{
    p.setPen(outline(colour, 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(22, 16, 12, 16), -50 * 16, 100 * 16);
    p.drawArc(QRectF(22, 10, 20, 28), -50 * 16, 100 * 16);
}

void arrow(QPainter &p, const QPointF &from, const QPointF &to, const QColor &colour)
{
    p.setPen(outline(colour, 3));
    p.drawLine(from, to);
    const qreal angle = qAtan2(to.y() - from.y(), to.x() - from.x());
    const QPointF a = to - QPointF(qCos(angle - 0.6) * 7, qSin(angle - 0.6) * 7);
    const QPointF b = to - QPointF(qCos(angle + 0.6) * 7, qSin(angle + 0.6) * 7);
    p.drawLine(to, a);
    p.drawLine(to, b);
}

void relay(QPainter &p)
{
    box(p, QRectF(14, 10, 28, 28), panel);
    p.setPen(outline(ink, 2));
    p.drawLine(QPointF(20, 30), QPointF(34, 20));
    dot(p, QPointF(20, 30), 2.5, ink);
    dot(p, QPointF(36, 30), 2.5, ink);
}

void usbPlug(QPainter &p)
{
    box(p, QRectF(16, 4, 16, 14), panel, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRect(QRectF(19, 8, 3, 3));
    p.drawRect(QRectF(26, 8, 3, 3));
    box(p, QRectF(13, 18, 22, 14), body, 3);
    p.setPen(outline(ink, 4));
    p.drawLine(QPointF(24, 32), QPointF(24, 46));
}

void magnifier(QPainter &p, const QPointF &centre, qreal radius)
{
    p.setPen(outline(ink, 3.5));
    p.drawLine(centre + QPointF(radius * 0.7, radius * 0.7),
               centre + QPointF(radius * 1.6, radius * 1.6));
    p.setPen(outline(ink, 2.5));
    p.setBrush(QColor(0xd6, 0xea, 0xfb));
    p.drawEllipse(centre, radius, radius);
}

void gear(QPainter &p, const QPointF &centre, qreal radius, const QColor &fill)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal r = (i % 2 == 0) ? radius : radius * 0.78;
        const qreal a0 = (i - 0.5) * M_PI / teeth;
        const qreal a1 = (i + 0.5) * M_PI / teeth;
        const QPointF p0 = centre + QPointF(qCos(a0) * r, qSin(a0) * r);
        const QPointF p1 = centre + QPointF(qCos(a1) * r, qSin(a1) * r);
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(centre, radius * 0.35, radius * 0.35);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(outline());
    p.setBrush(fill);
    p.drawPath(path);
}

void flag(QPainter &p, bool chequered)
{
    p.setPen(outline(ink, 3));
    p.drawLine(QPointF(10, 44), QPointF(10, 5));
    const QRectF cloth(11, 6, 28, 20);
    if (!chequered) {
        box(p, cloth, green, 1);
        return;
    }
    box(p, cloth, Qt::white, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            if ((row + col) % 2 == 0)
                p.drawRect(QRectF(11 + col * 7, 6 + row * 6.67, 7, 6.67));
        }
    }
}

QList<IconPainter::Icon> iconList()
{
    using P = QPainter;
    return {
        {"images/icons/information.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, blue);
             text(p, QRectF(4, 4, 40, 40), QStringLiteral("i"), Qt::white, 30);
         }},
        {"images/icons/error.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, red);
             text(p, QRectF(4, 4, 40, 40), QStringLiteral("!"), Qt::white, 30);
         }},
        {"images/icons/tovik2.png", 48, [](P &p) { rackUnit(p, 8, blue, 16); }},
        {"images/icons/norda4200-icon.png", 48,
         [](P &p) {
             rackUnit(p, 8, orange, 16);
             box(p, QRectF(3, 6, 42, 8), panel, 2);
             box(p, QRectF(3, 34, 42, 8), panel, 2);
         }},
        {"images/icons/kv520-icon.png", 48,
         [](P &p) {
             box(p, QRectF(8, 8, 32, 32), body, 4);
             for (int i = 0; i < 4; ++i)
                 dot(p, QPointF(16 + (i % 2) * 16, 16 + (i / 2) * 16), 4, i == 3 ? orange : green);
         }},
        {"images/icons/pult.png", 48, [](P &p) { console(p, false); }},
        {"images/icons/ip-pult.png", 48, [](P &p) { console(p, true); }},
        {"images/icons/horn.png", 48,
         [](P &p) {
             QPainterPath horn;
             horn.moveTo(6, 20);
             horn.lineTo(14, 20);
             horn.lineTo(40, 6);
             horn.lineTo(40, 42);
             horn.lineTo(14, 28);
             horn.lineTo(6, 28);
             horn.closeSubpath();
             p.setPen(outline());
             p.setBrush(red);
             p.drawPath(horn);
             p.setBrush(panel);
             p.drawEllipse(QRectF(36, 6, 8, 36));
             p.drawLine(QPointF(14, 28), QPointF(18, 40));
         }},
        {"images/icons/norda4500.png", 48,
         [](P &p) {
             box(p, QRectF(4, 14, 40, 20), body);
             box(p, QRectF(8, 19, 9, 10), panel, 1);
             box(p, QRectF(31, 19, 9, 10), QColor(0xd6, 0xea, 0xfb), 1);
             p.setPen(outline(yellow, 2.5));
             p.drawLine(QPointF(19, 24), QPointF(29, 24));
         }},
        {"images/icons/usb-cable.png", 48, [](P &p) { usbPlug(p); }},
        {"images/icons/usb-online.png", 48,
         [](P &p) {
             usbPlug(p);
             p.setPen(outline(Qt::white, 2));
             p.setBrush(green);
             p.drawEllipse(QPointF(37, 37), 8, 8);
         }},
        {"images/icons/check-conn-icon.png", 48,
         [](P &p) {
             p.save();
             p.translate(-6, 0);
             usbPlug(p);
             p.restore();
             p.setPen(outline(Qt::white, 2));
             p.setBrush(green);
             p.drawEllipse(QPointF(35, 34), 10, 10);
             p.setPen(outline(Qt::white, 3));
             p.drawPolyline(QPolygonF({QPointF(30, 34), QPointF(34, 38), QPointF(40, 30)}));
         }},
        {"images/icons/search-icon.png", 48,
         [](P &p) {
             box(p, QRectF(4, 30, 22, 12), body, 2);
             dot(p, QPointF(10, 36), 2, green);
             dot(p, QPointF(17, 36), 2, green);
             magnifier(p, QPointF(28, 18), 11);
         }},
        {"images/icons/Logo-libreoffice-calc.png", 48,
         [](P &p) {
             box(p, QRectF(8, 4, 32, 40), Qt::white, 2);
             p.setPen(Qt::NoPen);
             p.setBrush(green);
             p.drawRect(QRectF(9, 5, 30, 9));
             p.setPen(outline(QColor(0x9a, 0xa8, 0xb6), 1.2));
             for (int row = 0; row < 4; ++row)
                 p.drawLine(QPointF(10, 20 + row * 6), QPointF(38, 20 + row * 6));
             p.drawLine(QPointF(20, 15), QPointF(20, 42));
             p.drawLine(QPointF(30, 15), QPointF(30, 42));
         }},
        {"images/icons/algo-icon.png", 48,
         [](P &p) {
             box(p, QRectF(16, 4, 16, 10), QColor(0xd6, 0xea, 0xfb), 2);
             box(p, QRectF(4, 34, 16, 10), panel, 2);
             box(p, QRectF(28, 34, 16, 10), panel, 2);
             p.setPen(outline());
             p.drawLine(QPointF(24, 14), QPointF(24, 24));
             p.drawLine(QPointF(12, 24), QPointF(36, 24));
             p.drawLine(QPointF(12, 24), QPointF(12, 34));
             p.drawLine(QPointF(36, 24), QPointF(36, 34));
         }},
        {"images/icons/apply-icon.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, green);
             p.setPen(outline(Qt::white, 5));
             p.drawPolyline(QPolygonF({QPointF(14, 25), QPointF(21, 32), QPointF(34, 17)}));
         }},
        {"images/icons/clear-icon.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, red);
             p.setPen(outline(Qt::white, 5));
             p.drawLine(QPointF(16, 16), QPointF(32, 32));
             p.drawLine(QPointF(32, 16), QPointF(16, 32));
         }},
        {"images/icons/plus-icon.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, green);
             p.setPen(outline(Qt::white, 5));
             p.drawLine(QPointF(24, 13), QPointF(24, 35));
             p.drawLine(QPointF(13, 24), QPointF(35, 24));
         }},
        {"images/icons/group-icon.png", 48,
         [](P &p) {
             QPainterPath folder;
             folder.moveTo(4, 12);
             folder.lineTo(18, 12);
             folder.lineTo(22, 16);
             folder.lineTo(44, 16);
             folder.lineTo(44, 40);
             folder.lineTo(4, 40);
             folder.closeSubpath();
             p.setPen(outline());
             p.setBrush(yellow);
             p.drawPath(folder);
             p.setBrush(QColor(0xf7, 0xdc, 0x82));
             p.drawRect(QRectF(4, 20, 40, 20));
         }},
        {"images/icons/city-icon.png", 48,
         [](P &p) {
             box(p, QRectF(4, 20, 12, 24), body, 1);
             box(p, QRectF(18, 6, 14, 38), QColor(0x6f, 0x80, 0x92), 1);
             box(p, QRectF(34, 16, 10, 28), body, 1);
             for (int row = 0; row < 5; ++row) {
                 dot(p, QPointF(22, 12 + row * 6), 1.5, yellow);
                 dot(p, QPointF(28, 12 + row * 6), 1.5, yellow);
             }
         }},
        {"images/icons/parameters-ion.png", 48,
         [](P &p) {
             const qreal knobs[] = {30, 14, 24};
             for (int i = 0; i < 3; ++i) {
                 const qreal x = 12 + i * 12;
                 p.setPen(outline(body, 3));
                 p.drawLine(QPointF(x, 6), QPointF(x, 42));
                 p.setPen(outline());
                 p.setBrush(i == 1 ? blue : panel);
                 p.drawRoundedRect(QRectF(x - 5, knobs[i] - 4, 10, 8), 2, 2);
             }
         }},
        {"images/icons/settings-icon.png", 48,
         [](P &p) { gear(p, QPointF(24, 24), 19, QColor(0x8a, 0x99, 0xa8)); }},
        {"images/icons/start-icon.png", 48,
         [](P &p) {
             dot(p, QPointF(24, 24), 20, green);
             p.setPen(Qt::NoPen);
             p.setBrush(Qt::white);
             p.drawPolygon(QPolygonF({QPointF(18, 13), QPointF(35, 24), QPointF(18, 35)}));
         }},
        {"images/icons/finish-icon.png", 48, [](P &p) { flag(p, true); }},
        {"images/icons/timer-icon.png", 48,
         [](P &p) {
             p.setPen(outline(ink, 3));
             p.drawLine(QPointF(24, 4), QPointF(24, 9));
             p.drawLine(QPointF(20, 4), QPointF(28, 4));
             p.setPen(outline());
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(24, 27), 17, 17);
             p.setPen(outline(red, 3));
             p.drawLine(QPointF(24, 27), QPointF(31, 18));
             dot(p, QPointF(24, 27), 2.5, ink);
         }},
        {"images/icons/schedule-icon.png", 48,
         [](P &p) {
             box(p, QRectF(5, 8, 38, 36), Qt::white, 3);
             p.setPen(Qt::NoPen);
             p.setBrush(red);
             p.drawRect(QRectF(6, 9, 36, 9));
             p.setPen(outline(ink, 3));
             p.drawLine(QPointF(14, 4), QPointF(14, 12));
             p.drawLine(QPointF(34, 4), QPointF(34, 12));
             for (int i = 0; i < 8; ++i)
                 dot(p, QPointF(12 + (i % 4) * 8, 25 + (i / 4) * 9), 2, i == 5 ? red : body);
         }},
        {"images/icons/relay-in-icon.png", 48,
         [](P &p) {
             relay(p);
             arrow(p, QPointF(2, 24), QPointF(13, 24), blue);
         }},
        {"images/icons/relay-out-icon.png", 48,
         [](P &p) {
             p.save();
             p.translate(-10, 0);
             relay(p);
             p.restore();
             arrow(p, QPointF(33, 24), QPointF(46, 24), orange);
         }},
        {"images/icons/audio-out-icon.png", 48,
         [](P &p) {
             speaker(p, panel);
             waves(p, blue);
         }},
        {"images/icons/audio-in-icon.png", 48,
         [](P &p) {
             box(p, QRectF(22, 12, 22, 24), body, 3);
             dot(p, QPointF(33, 24), 6, ink);
             dot(p, QPointF(33, 24), 2.5, panel);
             arrow(p, QPointF(2, 24), QPointF(20, 24), green);
         }},
        {"images/icons/pult-button-icon.png", 48,
         [](P &p) {
             box(p, QRectF(6, 6, 36, 36), body, 6);
             p.setPen(outline());
             p.setBrush(red);
             p.drawEllipse(QPointF(24, 24), 12, 12);
             dot(p, QPointF(20, 20), 3.5, QColor(255, 255, 255, 150));
         }},
        {"images/icons/microphone-icon.png", 48, [](P &p) { microphone(p, QPointF(24, 5), 1.2); }},
    };
}

// A round indicator lamp with a soft highlight, as used for connection and line states.
void lamp(QPainter &p, const QColor &colour)
{
    QRadialGradient gradient(QPointF(19, 17), 26, QPointF(18, 15));
    gradient.setColorAt(0.0, colour.lighter(160));
    gradient.setColorAt(0.55, colour);
    gradient.setColorAt(1.0, colour.darker(150));
    p.setPen(outline(colour.darker(190), 2));
    p.setBrush(gradient);
    p.drawEllipse(QPointF(24, 24), 20, 20);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(14, 9, 16, 10));
}

} // namespace

QList<IconPainter::Icon> IconPainter::icons()
{
    QList<Icon> list = iconList();
    const std::pair<const char *, QColor> lamps[] = {
        {"Gray", QColor(0x9a, 0xa3, 0xad)},
        {"Red", red},
        {"Green", green},
        {"Blue", blue},
        {"Yellow", yellow},
    };
    for (const auto &[name, colour] : lamps) {
        const QColor c = colour;
        list.append(
            {QStringLiteral("images/buttons/Button-Blank-%1-icon.png").arg(QLatin1String(name)), 32,
             [c](QPainter &p) { lamp(p, c); }});
    }
    return list;
}

QImage IconPainter::render(const Icon &icon)
{
    QImage image(icon.size, icon.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(icon.size / 48.0, icon.size / 48.0);
    icon.draw(painter);
    painter.end();
    return image;
}
