#include "app/projectitemdelegate.h"

#include "gui/guiresources.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>

namespace {

QObject *nodeAt(const QModelIndex &index)
{
    return index.isValid() ? index.data(Qt::DisplayRole).value<QObject *>() : nullptr;
}

QFont smallerFont(const QFont &font)
{
    QFont small = font;
    if (font.pointSizeF() > 0)
        small.setPointSizeF(qMax(1.0, font.pointSizeF() - 2));
    else if (font.pixelSize() > 0)
        small.setPixelSize(qMax(1, font.pixelSize() - 2));
    return small;
}

int textHeight(const QFont &font, const QString &text)
{
    return QFontMetrics(font).boundingRect(text.isEmpty() ? QStringLiteral("X") : text).height();
}

} // namespace

ProjectItemDelegate::ProjectItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
    initGuiResources();
}

bool ProjectItemDelegate::isMonitoring(const QObject *node)
{
    for (const QObject *p = node; p; p = p->parent()) {
        if (auto *model = qobject_cast<const ProjectModel *>(p))
            return model->monitoring;
    }
    return false;
}

QString ProjectItemDelegate::deviceCaptionText(const ProjectDevice *device)
{
    if (!device)
        return QString();
    QString text = deviceTitle(device);
    if (isConsoleType(device->type))
        text +=
            QStringLiteral(" - ") + QString::number(device->keys_count) + QStringLiteral(" кнопок");
    return text;
}

QString ProjectItemDelegate::fittedCaption(const ProjectDevice *device, const QFontMetrics &metrics,
                                           int room)
{
    const QString caption = deviceCaptionText(device);
    if (metrics.horizontalAdvance(caption) <= room)
        return caption;
    const QString name = deviceTypeName(device);
    const QString rest = caption.mid(name.size());
    return metrics.elidedText(name, Qt::ElideRight,
                              qMax(0, room - metrics.horizontalAdvance(rest))) +
        rest;
}

QString ProjectItemDelegate::busText(const ProjectDevice *device)
{
    if (!device || !device->rs485_enabled)
        return QString();
    if (isCentralUnitType(device->type)) {
        if (device->rs485_addr == 0)
            return QStringLiteral("Центральный блок");
        return QStringLiteral("Блок расширения ") + QString::number(device->rs485_addr);
    }
    if (device->type == DeviceType::BexarTovik2)
        return QStringLiteral("Адрес ") + QString::number(device->rs485_addr);
    return QString();
}

QString ProjectItemDelegate::networkText(const ProjectDevice *device)
{
    if (!device || !device->ip_enabled)
        return QString();
    if (device->noData())
        return QStringLiteral("Адрес Ethernet ") + device->ip_addr +
            QStringLiteral(" (нет данных)");
    return QStringLiteral("Адрес Ethernet ") + device->ip_addr;
}

QString ProjectItemDelegate::lampIconPath(const ProjectDevice *device)
{
    if (!device || !device->ip_enabled)
        return QString();
    // A watched device is as the monitors say; a polled one must have been found.
    const bool lost = device->watched != ProjectDevice::Watched::No
        ? !device->isOnline()
        : !device->netFound || (isMonitoring(device) && !device->isOnline());
    return lost ? QStringLiteral(":/images/buttons/Button-Blank-Red-icon.png")
                : QStringLiteral(":/images/buttons/Button-Blank-Green-icon.png");
}

bool ProjectItemDelegate::isCaptionAlarm(const ProjectDevice *device, bool polling)
{
    return device && polling && (!device->isOnline() || !device->faults.isEmpty());
}

QString ProjectItemDelegate::inOutText(const InOut *io)
{
    if (!io)
        return QString();
    if (io->name.isEmpty())
        return io->description;
    return io->name + QStringLiteral(" (") + io->description + QLatin1Char(')');
}

QString ProjectItemDelegate::inOutIconPath(int inOutType)
{
    switch (inOutType) {
    case InOutType::ControlInput:
    case InOutType::Input:
        return QStringLiteral(":/images/icons/relay-in-icon.png");
    case InOutType::ControlOutput:
    case InOutType::RelayOutput:
        return QStringLiteral(":/images/icons/relay-out-icon.png");
    case InOutType::LineOutput:
    case InOutType::AudioOutput:
        return QStringLiteral(":/images/icons/audio-out-icon.png");
    case InOutType::AudioInput:
        return QStringLiteral(":/images/icons/audio-in-icon.png");
    case InOutType::Button:
        return QStringLiteral(":/images/icons/pult-button-icon.png");
    case InOutType::Microphone:
        return QStringLiteral(":/images/icons/microphone-icon.png");
    default:
        return QStringLiteral(":/images/icons/information.png");
    }
}

QString ProjectItemDelegate::groupIconPath(const ProjectGroup *group)
{
    if (group && qobject_cast<const ProjectGroup *>(group->parent()))
        return QStringLiteral(":/images/icons/group-icon.png");
    return QStringLiteral(":/images/icons/city-icon.png");
}

ProjectItemDelegate::GroupCounts ProjectItemDelegate::groupCounts(const ProjectGroup *group)
{
    return group ? DeviceCounts::of(group->allDevices()) : GroupCounts();
}

QStringList ProjectItemDelegate::groupCounterTexts(const ProjectGroup *group)
{
    const GroupCounts counts = groupCounts(group);
    QStringList texts {QStringLiteral("Всего устройств: ") + QString::number(counts.all)};
    if (isMonitoring(group)) {
        texts << QStringLiteral("Нет связи: ") + QString::number(counts.notConnected)
              << QStringLiteral("Неисправных: ") + QString::number(counts.faulty)
              << QStringLiteral("НСД: ") + QString::number(counts.tampered);
    }
    return texts;
}

QString ProjectItemDelegate::editorText(const QObject *node)
{
    if (auto *group = qobject_cast<const ProjectGroup *>(node))
        return group->name.isEmpty() ? QStringLiteral("Введите название для группы...")
                                     : group->name;
    if (auto *io = qobject_cast<const InOut *>(node))
        return io->name.isEmpty() ? QStringLiteral("Введите название...") : io->name;
    return QString();
}

void ProjectItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    DeviceRowParts parts;
    parts.alarmCaption = m_polling;
    paintNode(painter, option, nodeAt(index), m_layout, parts);
}

void ProjectItemDelegate::paintNode(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QObject *node, const Layout &layout,
                                    const DeviceRowParts &parts)
{
    const Row row = RowFrame::begin(painter, option, layout);

    if (auto *io = qobject_cast<const InOut *>(node))
        paintInOut(painter, row, io);
    else if (auto *group = qobject_cast<const ProjectGroup *>(node))
        paintGroup(painter, row, group);
    else if (auto *device = qobject_cast<const ProjectDevice *>(node))
        paintDevice(painter, row, device, parts);
    painter->restore();
}

void ProjectItemDelegate::paintInOut(QPainter *painter, const Row &row, const InOut *io)
{
    painter->drawPixmap(QRect(row.content.topLeft(), row.layout.iconSize),
                        QPixmap(inOutIconPath(io->type)));
    RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, inOutText(io));
}

void ProjectItemDelegate::paintGroup(QPainter *painter, const Row &row, const ProjectGroup *group)
{
    painter->drawPixmap(QRect(row.content.topLeft(), row.layout.iconSize),
                        QPixmap(groupIconPath(group)));
    const QRect first =
        RowFrame::drawTextLine(painter, row.textLeft, row.firstLineCenter, group->name);

    QFont small = smallerFont(row.font);
    const int secondCenter = first.bottom() + 1 + QFontMetrics(small).height() / 2;
    const QStringList texts = groupCounterTexts(group);
    const GroupCounts counts = groupCounts(group);
    const int alarm[] = {0, counts.notConnected, counts.faulty, counts.tampered};
    int x = row.textLeft;
    for (int i = 0; i < texts.size(); ++i) {
        const bool red = i > 0 && alarm[i] > 0;
        small.setWeight(red ? QFont::Bold : QFont::Normal);
        painter->setFont(small);
        painter->setPen(red ? QColor(Qt::red) : row.palette.color(QPalette::WindowText));
        const QRect drawn = RowFrame::drawTextLine(painter, x, secondCenter, texts.at(i));
        x = drawn.right() + row.layout.spacing;
    }
}

void ProjectItemDelegate::paintDevice(QPainter *painter, const Row &row,
                                      const ProjectDevice *device, const DeviceRowParts &parts)
{
    const Layout &layout = row.layout;
    int textLeft = row.textLeft;
    QRect iconRect(row.content.topLeft(), layout.iconSize);
    if (parts.usbIcon && device->portFound) {
        painter->drawPixmap(iconRect, QPixmap(QStringLiteral(":/images/icons/usb-online.png")));
        iconRect.translate(layout.iconSize.width() + layout.spacing, 0);
        textLeft += layout.iconSize.width() + layout.spacing;
    }
    painter->drawPixmap(iconRect, QPixmap(device->iconPath()));

    // Right-hand side, in a smaller font: the network text on the first line and the bus
    // text above it. When both are shown the pair is kept inside the row.
    const QFont small = smallerFont(row.font);
    const QFontMetrics metrics(small);
    const int right = row.content.right() - layout.spacing;
    const QString bus = busText(device);
    const QString network = networkText(device);
    const int lineHeight = metrics.height();
    int networkTop = row.firstLineCenter - lineHeight / 2;
    int busTop = networkTop;
    if (!bus.isEmpty() && !network.isEmpty()) {
        busTop = qMax(row.rect.top() + 1, networkTop - lineHeight - layout.lineGap);
        networkTop = busTop + lineHeight + layout.lineGap;
    }
    int rightTextsLeft = right;
    QRect networkRect;
    painter->setFont(small);
    if (!network.isEmpty()) {
        const int width = metrics.horizontalAdvance(network) + 1;
        networkRect = QRect(right - width, networkTop, width, lineHeight);
        painter->drawText(networkRect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                          network);
        rightTextsLeft = qMin(rightTextsLeft, networkRect.left());
    }
    if (!bus.isEmpty()) {
        const int width = metrics.horizontalAdvance(bus) + 1;
        painter->drawText(QRect(right - width, busTop, width, lineHeight),
                          Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, bus);
        rightTextsLeft = qMin(rightTextsLeft, right - width);
    }
    const QString lamp = parts.lamp ? lampIconPath(device) : QString();
    if (!lamp.isEmpty() && networkRect.isValid()) {
        const int side = qMax(1, networkRect.height() / 2);
        const QRect lampRect(networkRect.left() - side * 3 / 2, networkRect.center().y() - side / 2,
                             side, side);
        painter->drawPixmap(lampRect, QPixmap(lamp));
        rightTextsLeft = lampRect.left();
    }

    // The caption and the tag give way to the right-hand texts rather than run into them.
    painter->setFont(row.font);
    const QFontMetrics captionMetrics(row.font);
    const int room = qMax(0, rightTextsLeft - layout.spacing - textLeft);
    painter->setPen(isCaptionAlarm(device, parts.alarmCaption)
                        ? QColor(Qt::red)
                        : row.palette.color(QPalette::WindowText));
    const QRect caption = RowFrame::drawTextLine(painter, textLeft, row.firstLineCenter,
                                                 fittedCaption(device, captionMetrics, room));
    painter->setPen(row.palette.color(QPalette::WindowText));
    if (!device->tag.isEmpty()) {
        const int center = caption.bottom() + 1 + captionMetrics.height() / 2;
        RowFrame::drawTextLine(painter, caption.left(), center,
                               captionMetrics.elidedText(device->tag, Qt::ElideRight, room));
    }
}

QSize ProjectItemDelegate::sizeHint(const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    return nodeSizeHint(option, nodeAt(index), m_layout);
}

QSize ProjectItemDelegate::nodeSizeHint(const QStyleOptionViewItem &option, const QObject *node,
                                        const Layout &layout)
{
    const QFont small = smallerFont(option.font);
    int text = 0;
    if (auto *io = qobject_cast<const InOut *>(node)) {
        text = textHeight(option.font, inOutText(io)) + 1;
    } else if (auto *group = qobject_cast<const ProjectGroup *>(node)) {
        // The counter line's height does not depend on the numbers: it is measured on
        // a fixed text rather than by counting the group's devices at every relayout.
        static const QString counterSample =
            QStringLiteral("Всего устройств: 0 Нет связи: 0 Неисправных: 0 НСД: 0");
        text = textHeight(option.font, group->name) + textHeight(small, counterSample) + 2;
    } else if (auto *device = qobject_cast<const ProjectDevice *>(node)) {
        const int first = textHeight(option.font, deviceCaptionText(device));
        text = device->tag.isEmpty() ? first + 1 : first + textHeight(option.font, device->tag) + 2;
    } else {
        text = textHeight(option.font, QString()) + 1;
    }
    const int height =
        layout.margins.top() + layout.margins.bottom() + qMax(layout.iconSize.height(), text);
    return QSize(option.rect.width(), height);
}

QWidget *ProjectItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                           const QModelIndex &index) const
{
    Q_UNUSED(option)
    QObject *node = nodeAt(index);
    // Only groups and channels are named in place; device settings have their dialog.
    if (!qobject_cast<ProjectGroup *>(node) && !qobject_cast<InOut *>(node))
        return nullptr;
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    return editor;
}

void ProjectItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit)
        return;
    lineEdit->setText(editorText(nodeAt(index)));
    lineEdit->setModified(false);
}

void ProjectItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                       const QModelIndex &index) const
{
    auto *lineEdit = qobject_cast<QLineEdit *>(editor);
    if (!lineEdit || !lineEdit->isModified())
        return;
    QObject *node = nodeAt(index);
    if (auto *group = qobject_cast<ProjectGroup *>(node))
        group->name = lineEdit->text();
    else if (auto *io = qobject_cast<InOut *>(node))
        io->name = lineEdit->text();
    else
        return;
    model->setData(index, QVariant::fromValue(node), Qt::EditRole);
}

void ProjectItemDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                               const QModelIndex &index) const
{
    Q_UNUSED(index)
    editor->setGeometry(option.rect);
}
