#include "gui/treelook.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

void TreeLook::apply(QWidget *view)
{
    QPalette colours = view->palette();
    const struct {
        QPalette::ColorRole role;
        QRgb rgb;
    } roles[] = {{QPalette::WindowText, 0x303030}, {QPalette::Base, 0xF0F1F2},
                 {QPalette::Light, 0xFFFFFF},      {QPalette::Midlight, 0xD3D6D8},
                 {QPalette::Mid, 0xC5C9CB},        {QPalette::Dark, 0x9AA0A4},
                 {QPalette::Text, 0x616B71},       {QPalette::Highlight, 0xE2E4E5}};
    for (const auto &entry : roles)
        colours.setColor(QPalette::All, entry.role, QColor(entry.rgb));
    view->setPalette(colours);

    QFont font(QStringLiteral("MSShellDlg 2"));
    font.setPointSize(10);
    view->setFont(font);
}
