#pragma once

#include "link/gainitem.h"

#include <QString>
#include <QVector>

// The gain lists of the audio device windows and how a device's answer selects an item.
// A gain is written to the device as the item's index and read back as a value in dB,
// which is matched against the items' data.
class GainItems {
public:
    // Data of the speaker list's last item, "откл".
    static constexpr int speakerOff = -1000;

    // "comboBoxAmpNomPower": 256 items from "-103.5 дБ" to "24.0 дБ" in steps of 0.5 dB,
    // data the value in tenths of a dB (-1035 to 240).
    static QVector<GainItem> ampNomPower();
    // "comboBoxSpeakerNomPower": "3.0 дБ" down to "-90.0 дБ" in steps of 1 dB, data the
    // value in dB, then "откл" (speakerOff).
    static QVector<GainItem> speakerNomPower();

    // The index of the item an "AmpNomPower" answer selects: the answer read as dB, times
    // ten, truncated, matched against the data. -1 (select nothing) when the answer is not
    // a number ("ERROR") or no item has that data.
    static int ampNomPowerIndex(const QString &answer);
    // The index of the item a "SpeakerNomPower" answer selects: the last item for "откл",
    // else the item whose data is the answer as a whole number. -1 when the answer is not a
    // whole number or no item has it.
    static int speakerNomPowerIndex(const QString &answer);
};
