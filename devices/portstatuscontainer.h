#pragma once

#include <QList>
#include <QWidget>

class QFrame;

// A row of eight lamps of the central unit's state page, placed in a titled group. A lamp
// is a small frame whose background is one of the round button pictures.
class PortStatusContainer : public QWidget {
    Q_OBJECT

public:
    enum Colour { Gray = 0, Red = 1, Green = 2, Blue = 3, Yellow = 4 };
    static constexpr int lampCount = 8;

    explicit PortStatusContainer(QWidget *parent = nullptr);

    // Lamp `n` (1 to 8).
    void setLamp(int n, Colour colour);
    Colour lamp(int n) const;
    // Lights (red) each lamp whose bit (n - 1) is set and darkens the others.
    void setMask(quint64 mask);

    static QString styleSheet(Colour colour);

private:
    QList<QFrame *> lamps;
    QList<Colour> colours;
};
