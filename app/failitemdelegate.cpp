#include "app/failitemdelegate.h"

#include "app/failitemdescriptor.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/statusdecoder.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

// General faults (kinds 1 to 4) by kind.
QString generalFaultName(int kind)
{
    switch (kind) {
    case DeviceFault::Amplifier:
        return QStringLiteral("Неисправность УМ");
    case DeviceFault::Battery:
        return QStringLiteral("Неисправность батареи");
    case DeviceFault::Mains:
        return QStringLiteral("Неисправность сети 220В");
    case DeviceFault::Tamper:
        return QStringLiteral("Вскрытие корпуса");
    default:
        return QString();
    }
}

QString lineStateText(int state)
{
    switch (state) {
    case 1:
        return QStringLiteral("КОРОТКОЕ ЗАМЫКАНИЕ");
    case 2:
        return QStringLiteral("ОБРЫВ");
    case 3:
        return QStringLiteral("НАРУШЕНИЕ ГРАНИЦ");
    case 4:
        return QStringLiteral("НЕКОРРЕКТНЫЕ ДАННЫЕ КАЛИБРОВКИ");
    default:
        return QStringLiteral("НОРМА");
    }
}

FailItemDescriptor descriptorAt(const QModelIndex &index)
{
    const QVariant value = index.data(Qt::DisplayRole);
    if (!value.canConvert<FailItemDescriptor>())
        return FailItemDescriptor {FailItemDescriptor::DeviceHeader, 0, 0, nullptr};
    return value.value<FailItemDescriptor>();
}

} // namespace

FailItemDelegate::FailItemDelegate(QObject *parent)
    : RowDelegate(parent)
{
}

QString FailItemDelegate::headerText(const ProjectDevice *device)
{
    return deviceTitle(device);
}

QString FailItemDelegate::locationText(const ProjectDevice *device)
{
    return device->tag.isEmpty() ? QString() : QStringLiteral("Расположение: ") + device->tag;
}

QStringList FailItemDelegate::stateTexts(const ProjectDevice *device)
{
    return {modeText(device), activeLinesText(device), connectionText(device)};
}

QString FailItemDelegate::modeText(const ProjectDevice *device)
{
    // The first letter is a Latin capital C: the text is shown as devices have always
    // shown it.
    return QStringLiteral("Cостояние: ") + StatusDecoder::modeName(device->mode);
}

QString FailItemDelegate::activeLinesText(const ProjectDevice *device)
{
    QStringList lines;
    if (device->mode >= 1 && device->statusByte3 != 0) {
        for (int bit = 0; bit < 8; ++bit) {
            if (device->statusByte3 & (1u << bit))
                lines << QStringLiteral("ЛО") + QString::number(bit + 1);
        }
    }
    return QStringLiteral("Активные линии: ") +
        (lines.isEmpty() ? QStringLiteral("нет") : lines.join(QStringLiteral(", ")));
}

QString FailItemDelegate::connectionText(const ProjectDevice *device)
{
    if (device->noData())
        return QStringLiteral("Время последней связи: нет данных");
    if (device->lastSeen.isValid() && device->isOnline())
        return QStringLiteral("Время последней связи: ") + device->lastSeen.toString();
    return QStringLiteral("Связь не установлена");
}

QColor FailItemDelegate::stateTint(const ProjectDevice *device)
{
    return device->isOnline() ? QColor(192, 192, 192, 128) : QColor(255, 0, 0, 96);
}

QString FailItemDelegate::faultText(const FailItemDescriptor &item)
{
    switch (item.kind) {
    case DeviceFault::Line: {
        QString text = QStringLiteral("ЛО") + QString::number(item.index + 1);
        const QString name = item.device ? item.device->lineName(item.index) : QString();
        if (!name.isEmpty())
            text += QStringLiteral(" (") + name + QLatin1Char(')');
        return text;
    }
    case DeviceFault::Amplifier:
    case DeviceFault::Battery:
    case DeviceFault::Mains:
    case DeviceFault::Tamper:
        return generalFaultName(item.kind);
    case DeviceFault::Console:
        return QStringLiteral("Неисправность ПУ") + QString::number(item.index + 1);
    default:
        return QStringLiteral("Неисправность БР") + QString::number(item.index + 1);
    }
}

QString FailItemDelegate::faultStateText(const FailItemDescriptor &item)
{
    if (item.kind == DeviceFault::Line)
        return lineStateText(item.state);
    return item.state != 0 ? QStringLiteral("ДА") : QStringLiteral("НЕТ");
}

QColor FailItemDelegate::faultStateColor(const FailItemDescriptor &item)
{
    if (item.kind == DeviceFault::Line)
        return black();
    return item.state != 0 ? red() : black();
}

void FailItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const FailItemDescriptor item = descriptorAt(index);
    RowFrame row = beginRow(painter, option);
    // These rows have no icon: their text starts right after the margin and the spacing.
    row.textLeft = row.content.left() + margins().left() + spacing();
    if (item.device) {
        if (item.kind == FailItemDescriptor::DeviceHeader)
            paintHeader(painter, row, item.device);
        else if (item.kind == FailItemDescriptor::DeviceState)
            paintState(painter, row, item.device);
        else
            paintFault(painter, row, item);
    }
    painter->restore();
}

void FailItemDelegate::paintHeader(QPainter *painter, const RowFrame &row,
                                   const ProjectDevice *device) const
{
    const QString location = locationText(device);
    const QRect rect = row.rect;
    const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
    if (location.isEmpty()) {
        painter->drawText(rect, flags, headerText(device));
    } else {
        const QRect upper(rect.left(), rect.top(), rect.width(), rect.height() / 2);
        const QRect lower(rect.left(), upper.bottom() + 1, rect.width(),
                          rect.height() - upper.height());
        painter->drawText(upper, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
                          headerText(device));
        painter->drawText(lower, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, location);
    }
    painter->fillRect(rect, headerTint());
}

void FailItemDelegate::paintState(QPainter *painter, const RowFrame &row,
                                  const ProjectDevice *device) const
{
    const int lineHeight = QFontMetrics(painter->font()).height();
    int center = row.firstLineCenter;
    const QStringList texts = stateTexts(device);
    for (const QString &text : texts) {
        RowFrame::drawTextLine(painter, row.textLeft, center, text);
        center += lineHeight;
    }
    painter->fillRect(row.rect, stateTint(device));
}

void FailItemDelegate::paintFault(QPainter *painter, const RowFrame &row,
                                  const FailItemDescriptor &item) const
{
    RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, faultText(item));
    painter->setPen(faultStateColor(item));
    RowFrame::drawTextLine(painter, row.textLeft + row.content.width() / 2, row.firstLineCenter,
                           faultStateText(item));
}

QSize FailItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const FailItemDescriptor item = descriptorAt(index);
    int lines = 1;
    if (item.device && item.kind == FailItemDescriptor::DeviceState)
        lines = 3;
    else if (item.device && item.kind == FailItemDescriptor::DeviceHeader &&
             !item.device->tag.isEmpty())
        lines = 2;
    return QSize(option.rect.width(), rowHeight(option.font, lines));
}
