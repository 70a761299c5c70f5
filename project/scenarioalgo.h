#pragma once

#include "project/scenarioevent.h"

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

    bool operator==(const ScenarioAlgo &other) const
    {
        return type == other.type && always == other.always && inputsOff == other.inputsOff &&
            events == other.events;
    }
};
