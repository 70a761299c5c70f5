#pragma once

#include "project/scenarioevent.h"

#include <QJsonObject>
#include <QList>

// One step of a scenario's sequence.
struct ScenarioAlgo {
    enum Type : int {
        Start = 0,
        Timer = 1,
        Algorithm = 2,
        Schedule = 3,
        Stop = 255,
    };

    int type = -1;
    // Start conditions only: active permanently rather than started by the events.
    bool always = true;
    // Stop conditions only: stops when the start signals go away rather than on the events.
    bool inputsOff = true;
    QList<ScenarioEvent> events;
    // Keys of the algorithm's object that this version does not know (the settings of
    // timer, algorithm and schedule steps among them), written back as read.
    QJsonObject extra;

    bool operator==(const ScenarioAlgo &other) const
    {
        return type == other.type && always == other.always && inputsOff == other.inputsOff &&
            events == other.events && extra == other.extra;
    }
    bool operator!=(const ScenarioAlgo &other) const { return !(*this == other); }
};
