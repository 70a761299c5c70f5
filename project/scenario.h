#pragma once

#include "project/scenarioalgo.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

// An alerting scenario: when its sequence starts and stops, and its options.
// A plain value, copied freely and carried in item data as "Scenario".
struct Scenario {
    QString name;
    int priority = -1;
    bool timer = true;
    bool shedule = false;
    bool dependencies = false;
    QList<ScenarioAlgo> algos;
    // Keys of the scenario's object that this version does not know, written back as read.
    QJsonObject extra;

    // Reads what toJson() writes; keys of the wrong type read as their defaults, and
    // events that name no device (a "device_index" missing, 0 or not a serial number)
    // are dropped.
    static Scenario fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    // What a scenario created by the user starts with: the name, the default options,
    // a start step waiting for events that are yet to be chosen and a stop step that
    // ends it when those events go away.
    static Scenario created(const QString &name);

    // Tab icon and title of an algorithm type in the scenario editor.
    static QString algoIconPath(int type);
    static QString algoTitle(int type);

    static void registerMetaType();

    bool operator==(const Scenario &other) const
    {
        return name == other.name && priority == other.priority && timer == other.timer &&
            shedule == other.shedule && dependencies == other.dependencies &&
            algos == other.algos && extra == other.extra;
    }
    bool operator!=(const Scenario &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(Scenario)
