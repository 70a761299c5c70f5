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

    static Scenario fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    // Tab icon and title of an algorithm type in the scenario editor.
    static QString algoIconPath(int type);
    static QString algoTitle(int type);

    static void registerMetaType();

    bool operator==(const Scenario &other) const
    {
        return name == other.name && priority == other.priority && timer == other.timer &&
            shedule == other.shedule && dependencies == other.dependencies && algos == other.algos;
    }
};

Q_DECLARE_METATYPE(Scenario)
