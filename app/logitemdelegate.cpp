#include "app/logitemdelegate.h"

#include "journal/eventcode.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>

namespace {

const char storedTimeFormat[] = "hh:mm:ss dd.MM.yyyy";
const char shownTimeFormat[] = "dd.MM.yyyy hh:mm:ss";

} // namespace

LogItemDelegate::LogItemDelegate(ProjectModel *project, QObject *parent)
    : RowDelegate(parent)
    , m_project(project)
{
}

void LogItemDelegate::setProject(ProjectModel *project)
{
    m_project = project;
}

ProjectModel *LogItemDelegate::project() const
{
    return m_project;
}

QString LogItemDelegate::timeText(const QString &stored)
{
    const QDateTime time = QDateTime::fromString(stored, QString::fromLatin1(storedTimeFormat));
    return time.isValid() ? time.toString(QString::fromLatin1(shownTimeFormat)) : stored;
}

QString LogItemDelegate::deviceText(const ProjectDevice *device)
{
    if (!device)
        return QStringLiteral("Неизвестное устройство");
    return deviceTitle(device);
}

QString LogItemDelegate::eventText(int code)
{
    return EventCode::text(code);
}

QColor LogItemDelegate::eventColor(int code)
{
    return EventCode::isRecovery(code) ? green() : red();
}

ProjectDevice *LogItemDelegate::deviceAt(const QModelIndex &index) const
{
    if (!m_project)
        return nullptr;
    bool ok = false;
    const int id = index.data(Qt::DisplayRole).toInt(&ok);
    return ok ? m_project->findDeviceById(id) : nullptr;
}

void LogItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    const RowFrame row = beginRow(painter, option);
    switch (index.column()) {
    case TimeColumn:
        RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter,
                               timeText(index.data(Qt::DisplayRole).toString()));
        break;
    case DeviceColumn: {
        const ProjectDevice *device = deviceAt(index);
        if (!device) {
            RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, deviceText(nullptr));
            break;
        }
        painter->drawPixmap(QRect(row.content.topLeft(), iconSize()), QPixmap(device->iconPath()));
        const QRect caption =
            RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, deviceText(device));
        if (!device->tag.isEmpty())
            RowFrame::drawTextLine(
                painter, row.textLeft,
                caption.bottom() + 1 + QFontMetrics(painter->font()).height() / 2, device->tag);
        break;
    }
    case EventColumn: {
        const int code = index.data(Qt::DisplayRole).toInt();
        painter->setPen(eventColor(code));
        RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, eventText(code));
        break;
    }
    default:
        RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter,
                               index.data(Qt::DisplayRole).toString());
        break;
    }
    painter->restore();
}

QSize LogItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    int lines = 1;
    if (index.column() == DeviceColumn) {
        const ProjectDevice *device = deviceAt(index);
        if (device && !device->tag.isEmpty())
            lines = 2;
    }
    return QSize(option.rect.width(), rowHeight(option.font, lines));
}
