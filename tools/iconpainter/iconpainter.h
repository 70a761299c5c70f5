#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <QList>

#include <functional>

class QPainter;

// The program's own icon set, drawn with QPainter on a 48-unit canvas so that every
// icon stays legible when shown at 24 pixels.
class IconPainter {
public:
    struct Icon {
        QString path; // relative to the resources folder, e.g. "images/icons/horn.png"
        int size;
        std::function<void(QPainter &)> draw;
    };

    static QList<Icon> icons();
    static QImage render(const Icon &icon);
};
