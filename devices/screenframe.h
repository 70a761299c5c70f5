#pragma once

#include "link/unitscreen.h"

#include <QFrame>
#include <QImage>

// The central unit's screen, 1040 x 272 pixels, drawn by ScreenRenderer from the buffer it
// was last given (the unit's answer or the local preview).
class ScreenFrame : public QFrame {
    Q_OBJECT

public:
    explicit ScreenFrame(QWidget *parent = nullptr);

    const UnitScreen &screen() const { return picture; }
    // Takes the buffer and repaints.
    void setScreen(const UnitScreen &screen);
    // What the frame draws, as a 32-bit RGB image of the frame's size.
    QImage grabImage();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    UnitScreen picture;
};
