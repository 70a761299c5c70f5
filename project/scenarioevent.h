#pragma once

#include <QJsonObject>

// One condition of a scenario: input `inout_index` of the device with serial number
// `device_index` in activity `state`.
struct ScenarioEvent {
    // 0 names no device: such an event is never written by the editor and dropped when read.
    quint32 device_index = 0;
    int inout_index = -1;
    int state = -1;
    // Keys of the event's object that this version does not know, written back as read.
    QJsonObject extra;

    bool operator==(const ScenarioEvent &other) const
    {
        return device_index == other.device_index && inout_index == other.inout_index &&
            state == other.state && extra == other.extra;
    }
    bool operator!=(const ScenarioEvent &other) const { return !(*this == other); }
};
