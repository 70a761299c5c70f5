#pragma once

#include <QString>

class QSettings;
class QWidget;

// Keeps a top-level window's size, place and maximized state in one group of the
// settings file: "width" and "height" (client size), "left" and "top" (frame corner)
// and "fullscreen" ("1" while maximized). A maximized window keeps its last normal
// geometry stored, so that it comes back to it.
class WindowGeometry {
public:
    WindowGeometry(QSettings *settings, const QString &group, int defaultWidth, int defaultHeight);

    // Sizes and places the window as stored; without stored values it gets the default
    // size, centred on the primary screen. Maximizes it when it was maximized.
    void restore(QWidget *window) const;
    // For a resize event: stores the normal geometry unless the window is maximized.
    void saveOnResize(const QWidget *window) const;
    // For a change event: stores the maximized state, and the geometry when normal.
    void saveOnChange(const QWidget *window) const;

private:
    void writeNormalGeometry(const QWidget *window) const;
    int readInt(const QString &key, int fallback) const;

    QSettings *m_settings;
    QString m_group;
    int m_defaultWidth;
    int m_defaultHeight;
};
