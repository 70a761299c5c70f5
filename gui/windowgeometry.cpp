#include "gui/windowgeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

WindowGeometry::WindowGeometry(QSettings *settings, const QString &group, int defaultWidth,
                               int defaultHeight)
    : m_settings(settings)
    , m_group(group)
    , m_defaultWidth(defaultWidth)
    , m_defaultHeight(defaultHeight)
{
}

int WindowGeometry::readInt(const QString &key, int fallback) const
{
    // A value that is not a number counts as missing.
    bool ok = false;
    const int value = m_settings->value(m_group + QLatin1Char('/') + key, QString::number(fallback))
                          .toString()
                          .toInt(&ok);
    return ok ? value : fallback;
}

void WindowGeometry::restore(QWidget *window) const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 800, 600);
    int width = readInt(QStringLiteral("width"), m_defaultWidth);
    int height = readInt(QStringLiteral("height"), m_defaultHeight);
    if (width <= 0 || height <= 0) {
        width = m_defaultWidth;
        height = m_defaultHeight;
    }
    window->resize(width, height);
    const int centredLeft = screenRect.width() / 2 - width / 2;
    const int centredTop = screenRect.height() / 2 - height / 2;
    int left = readInt(QStringLiteral("left"), centredLeft);
    int top = readInt(QStringLiteral("top"), centredTop);
    // A place on no screen (a monitor since removed) would leave the window unreachable.
    if (!QGuiApplication::screenAt(QPoint(left + width / 2, top + 1)) &&
        !QGuiApplication::screenAt(QPoint(left, top))) {
        left = centredLeft;
        top = centredTop;
    }
    window->move(left, top);
    if (m_settings->value(m_group + QStringLiteral("/fullscreen"), QStringLiteral("0"))
            .toString() == QLatin1String("1"))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void WindowGeometry::writeNormalGeometry(const QWidget *window) const
{
    m_settings->beginGroup(m_group);
    m_settings->setValue(QStringLiteral("width"), QString::number(window->width()));
    m_settings->setValue(QStringLiteral("height"), QString::number(window->height()));
    m_settings->setValue(QStringLiteral("left"), QString::number(window->frameGeometry().x()));
    m_settings->setValue(QStringLiteral("top"), QString::number(window->frameGeometry().y()));
    m_settings->endGroup();
}

void WindowGeometry::saveOnResize(const QWidget *window) const
{
    if (!window->isMaximized())
        writeNormalGeometry(window);
}

void WindowGeometry::saveOnChange(const QWidget *window) const
{
    const bool maximized = window->isMaximized();
    m_settings->setValue(m_group + QStringLiteral("/fullscreen"),
                         maximized ? QStringLiteral("1") : QStringLiteral("0"));
    if (!maximized)
        writeNormalGeometry(window);
}
