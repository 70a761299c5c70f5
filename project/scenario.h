#pragma once

#include "project/scenarioalgo.h"

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

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
    // Keys whose values are not of the type this version reads ("priority" holding 2.5,
    // "algos[0].type" holding "0", "algos[1].events" holding an object), in the order
    // read. Such a scenario cannot be edited: toJson() gives back `original`, the object
    // as it was read, unchanged but for a new name.
    QStringList unreadableKeys;
    QJsonObject original;

    // Reads what toJson() writes; keys of the wrong type read as their defaults and are
    // listed in unreadableKeys, and events that name no device (a "device_index" missing
    // or 0) are dropped.
    static Scenario fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    // False when a key could not be read: the scenario is shown, copied, renamed and
    // removed, never changed otherwise.
    bool isEditable() const { return unreadableKeys.isEmpty(); }

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
            algos == other.algos && extra == other.extra &&
            unreadableKeys == other.unreadableKeys && original == other.original;
    }
    bool operator!=(const Scenario &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(Scenario)
