#pragma once

#include "project/scenarioevent.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class InOut;
class ProjectModel;
class QComboBox;
class QPushButton;
class QTableWidget;
class QWidget;

// The event part of a start or stop page of the scenario editor: the table of events and
// the three lists an event is chosen from ("Блок", "Вход", "Активность").
//
// The device list offers the project's devices that have a serial number and an input
// (events name a device by its serial number, and one without could never be found
// again); the input list offers the chosen device's inputs that no row of the table
// holds yet, so that no input is added twice. An event that names a device or an input
// the project no longer has stays in the table, marked, and is kept.
//
// Devices are looked up by serial number whenever they are needed: no pointer into the
// project is kept between calls.
class ScenarioEventTable : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QTableWidget *table = nullptr;
        QComboBox *devices = nullptr;
        QComboBox *inputs = nullptr;
        QComboBox *states = nullptr;
        QPushButton *add = nullptr;
        // Enabled exactly while the events count: the table and everything that edits it.
        QList<QWidget *> eventWidgets;
    };

    // Cell data of the rows (user role) and the unknown keys of an event read from a file.
    static constexpr int ExtraRole = Qt::UserRole + 1;

    ScenarioEventTable(const ProjectModel *project, const Widgets &widgets,
                       QObject *parent = nullptr);

    // The activity states an event can require, as value and text. Only these values are
    // offered; others read from a file are shown by number and kept.
    static QList<QPair<int, QString>> states();
    static QString stateText(int state);
    // The channels that can start or stop a scenario: inputs, control inputs and buttons.
    static bool isEventInput(const InOut *io);

    void setEvents(const QList<ScenarioEvent> &events);
    QList<ScenarioEvent> events() const;

    void setEventWidgetsEnabled(bool enabled);

    // The slots of the page's widgets.
    void deviceChanged();
    void inputChanged();
    // Appends the chosen event; refused (no row) when no device with a serial number or
    // no input is chosen.
    bool addEvent();
    void deleteSelected();
    void clear();

private:
    void fillDevices();
    void fillStates();
    void refreshInputs();
    void updateAddButton();
    void appendRow(const ScenarioEvent &event);
    bool inTable(quint32 serial, int index) const;

    const ProjectModel *m_project;
    Widgets m_widgets;
};
