#include "scenario/scenarioeventtable.h"

#include "project/devicetype.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QBrush>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QJsonObject>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

namespace {

// Room for a cell's margins and focus frame around its text.
constexpr int textPadding = 24;

enum Column { DeviceColumn = 0, InputColumn = 1, StateColumn = 2 };

const InOut *findInput(const ProjectDevice *device, int index)
{
    if (!device)
        return nullptr;
    for (const InOut *io : device->inouts) {
        if (io->index == index)
            return io;
    }
    return nullptr;
}

QTableWidgetItem *cell(const QString &text, const QVariant &data)
{
    auto *item = new QTableWidgetItem(text);
    item->setData(Qt::UserRole, data);
    return item;
}

} // namespace

ScenarioEventTable::ScenarioEventTable(const ProjectModel *project, const Widgets &widgets,
                                       QObject *parent)
    : QObject(parent)
    , m_project(project)
    , m_widgets(widgets)
{
    QTableWidget *table = m_widgets.table;
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Блок"), QStringLiteral("Вход"), QStringLiteral("Состояние")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setColumnWidth(DeviceColumn, 300);
    table->setColumnWidth(InputColumn, 200);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    fillStates();
    fillDevices();
}

QList<QPair<int, QString>> ScenarioEventTable::states()
{
    return {{1, QStringLiteral("Активен")}, {0, QStringLiteral("Не активен")}};
}

QString ScenarioEventTable::stateText(int state)
{
    const QList<QPair<int, QString>> known = states();
    for (const auto &entry : known) {
        if (entry.first == state)
            return entry.second;
    }
    return state < 0 ? QStringLiteral("Не задано") : QStringLiteral("Состояние %1").arg(state);
}

bool ScenarioEventTable::isEventInput(const InOut *io)
{
    return io->type == InOutType::Input || io->type == InOutType::ControlInput ||
        io->type == InOutType::Button;
}

void ScenarioEventTable::fillStates()
{
    QComboBox *box = m_widgets.states;
    box->clear();
    const QList<QPair<int, QString>> all = states();
    for (const auto &entry : all)
        box->addItem(entry.second, entry.first);
}

void ScenarioEventTable::fillDevices()
{
    QComboBox *box = m_widgets.devices;
    const QSignalBlocker blocker(box);
    box->clear();
    if (m_project) {
        const QList<ProjectDevice *> devices = m_project->allDevices();
        QSet<quint32> listed;
        for (const ProjectDevice *device : devices) {
            // The first device of a serial number is the one an event finds again.
            if (device->serial == 0 || listed.contains(device->serial))
                continue;
            listed.insert(device->serial);
            bool hasInput = false;
            for (const InOut *io : device->inouts)
                hasInput = hasInput || isEventInput(io);
            if (hasInput)
                box->addItem(deviceCaption(device), device->serial);
        }
    }
    refreshInputs();
}

void ScenarioEventTable::deviceChanged()
{
    refreshInputs();
}

void ScenarioEventTable::inputChanged()
{
    updateAddButton();
}

bool ScenarioEventTable::inTable(quint32 serial, int index) const
{
    const QTableWidget *table = m_widgets.table;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, DeviceColumn)->data(Qt::UserRole).toUInt() == serial &&
            table->item(row, InputColumn)->data(Qt::UserRole).toInt() == index)
            return true;
    }
    return false;
}

void ScenarioEventTable::refreshInputs()
{
    QComboBox *box = m_widgets.inputs;
    const QVariant chosen = box->currentData();
    {
        const QSignalBlocker blocker(box);
        box->clear();
        const quint32 serial = m_widgets.devices->currentData().toUInt();
        const ProjectDevice *device =
            serial != 0 && m_project ? m_project->findDeviceBySerial(serial) : nullptr;
        if (device) {
            for (const InOut *io : device->inouts) {
                if (isEventInput(io) && !inTable(serial, io->index))
                    box->addItem(io->displayName(), io->index);
            }
        }
        const int again = chosen.isValid() ? box->findData(chosen) : -1;
        box->setCurrentIndex(again >= 0 ? again : (box->count() > 0 ? 0 : -1));
    }
    updateAddButton();
}

void ScenarioEventTable::updateAddButton()
{
    m_widgets.add->setEnabled(m_widgets.devices->currentData().toUInt() != 0 &&
                              m_widgets.inputs->currentIndex() >= 0 &&
                              m_widgets.states->currentIndex() >= 0);
}

void ScenarioEventTable::setEventWidgetsEnabled(bool enabled)
{
    for (QWidget *widget : qAsConst(m_widgets.eventWidgets))
        widget->setEnabled(enabled);
}

void ScenarioEventTable::appendRow(const ScenarioEvent &event)
{
    const ProjectDevice *device =
        m_project ? m_project->findDeviceBySerial(event.device_index) : nullptr;
    const InOut *input = findInput(device, event.inout_index);
    QString deviceText;
    QString inputText;
    QString problem;
    if (!device) {
        deviceText = QStringLiteral("Нет в проекте (серийный номер %1)").arg(event.device_index);
        inputText = QStringLiteral("Вход %1").arg(event.inout_index);
        problem = QStringLiteral("Устройства с этим серийным номером нет в проекте. Событие "
                                 "сохраняется как было.");
    } else {
        deviceText = deviceCaption(device);
        if (input) {
            inputText = input->displayName();
        } else {
            inputText = QStringLiteral("Вход %1 (нет у устройства)").arg(event.inout_index);
            problem = QStringLiteral("У устройства нет входа с этим номером. Событие "
                                     "сохраняется как было.");
        }
    }

    QTableWidget *table = m_widgets.table;
    const int row = table->rowCount();
    table->insertRow(row);
    QTableWidgetItem *deviceItem = cell(deviceText, event.device_index);
    deviceItem->setData(ExtraRole, event.extra);
    table->setItem(row, DeviceColumn, deviceItem);
    table->setItem(row, InputColumn, cell(inputText, event.inout_index));
    table->setItem(row, StateColumn, cell(stateText(event.state), event.state));
    if (!problem.isEmpty()) {
        for (int column = DeviceColumn; column <= StateColumn; ++column) {
            table->item(row, column)->setForeground(QBrush(Qt::red));
            table->item(row, column)->setToolTip(problem);
        }
    }
    // The device and input texts are never cut off: a column grows to its widest text.
    const QFontMetrics metrics(table->font());
    for (int column : {int(DeviceColumn), int(InputColumn)}) {
        const int wanted =
            metrics.horizontalAdvance(table->item(row, column)->text()) + textPadding;
        if (table->columnWidth(column) < wanted)
            table->setColumnWidth(column, wanted);
    }
}

void ScenarioEventTable::setEvents(const QList<ScenarioEvent> &events)
{
    m_widgets.table->setRowCount(0);
    for (const ScenarioEvent &event : events)
        appendRow(event);
    refreshInputs();
}

QList<ScenarioEvent> ScenarioEventTable::events() const
{
    QList<ScenarioEvent> events;
    const QTableWidget *table = m_widgets.table;
    for (int row = 0; row < table->rowCount(); ++row) {
        ScenarioEvent event;
        const QTableWidgetItem *deviceItem = table->item(row, DeviceColumn);
        event.device_index = deviceItem->data(Qt::UserRole).toUInt();
        event.extra = deviceItem->data(ExtraRole).toJsonObject();
        event.inout_index = table->item(row, InputColumn)->data(Qt::UserRole).toInt();
        event.state = table->item(row, StateColumn)->data(Qt::UserRole).toInt();
        events.append(event);
    }
    return events;
}

bool ScenarioEventTable::addEvent()
{
    const quint32 serial = m_widgets.devices->currentData().toUInt();
    const QVariant input = m_widgets.inputs->currentData();
    const QVariant state = m_widgets.states->currentData();
    // An event without a device would be dropped when the file is read again.
    if (serial == 0 || !input.isValid() || !state.isValid() || inTable(serial, input.toInt()))
        return false;
    ScenarioEvent event;
    event.device_index = serial;
    event.inout_index = input.toInt();
    event.state = state.toInt();
    appendRow(event);
    refreshInputs();
    return true;
}

void ScenarioEventTable::deleteSelected()
{
    QTableWidget *table = m_widgets.table;
    QList<int> rows;
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows << index.row();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : qAsConst(rows))
        table->removeRow(row);
    if (table->rowCount() > 0)
        table->selectRow(0);
    refreshInputs();
}

void ScenarioEventTable::clear()
{
    m_widgets.table->setRowCount(0);
    refreshInputs();
}
