#pragma once

// One condition of a scenario: input `inout_index` of the device with serial number
// `device_index` in activity `state`.
struct ScenarioEvent {
    int device_index = 0;
    int inout_index = -1;
    int state = -1;

    bool operator==(const ScenarioEvent &other) const
    {
        return device_index == other.device_index && inout_index == other.inout_index &&
            state == other.state;
    }
};
