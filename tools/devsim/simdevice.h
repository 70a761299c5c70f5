#pragma once

#include "tools/devsim/simjournal.h"

#include <QDateTime>
#include <QHostAddress>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// The state of one simulated device: who it is, the parameters it holds and the
// condition it reports. The protocol servers read and change it; fault injection and
// timelines change it while the simulator runs.
class SimDevice : public QObject {
    Q_OBJECT

public:
    SimDevice(int type, int serial, const QHostAddress &address, QObject *parent = nullptr);

    // Identity.
    int type;
    int serial;
    QHostAddress address;
    QString version = QStringLiteral("1.0.0");
    // The unit's clock runs this many seconds ahead of the host's; "desc_WriteTime" sets it.
    qint64 clockOffset = 0;
    // The type key the device reports; normally that of its type, changed to test how
    // the console treats a device that answers as something else.
    QString reportedKey;

    // Descriptors by name without the "desc_" prefix; array elements as "name[i]".
    QMap<QString, QString> descriptors;

    // Condition reported in the status document.
    QStringList errors; // "um error", "accum error", "no ext power", "tamper"
    int mode = 0; // operating mode, signed 8-bit
    uint8_t statusByte3 = 0;
    std::array<int, 8> lineStates {}; // 0 normal, 1 short, 2 open, 3 tolerance
    // Millivolts a normal line measures (the answer to "GET LO_CURRENT_VALUES").
    std::array<int, 8> lineValues {24000, 24050, 24100, 24150, 24200, 24250, 24300, 24350};
    uint32_t consoleFaults = 0; // bit k: console k + 1 faulty
    uint16_t extensionFaults = 0; // bit j: extension unit j + 1 faulty
    int keysCount = -1; // reported for consoles; -1 leaves the key out

    // Storage reported in the answer to "GET STATUS": status code (2: no errors), size and
    // free space in bytes; a negative size or free space reports the device's own file store.
    int storageStatus = 2;
    qint64 storageTotal = -1;
    qint64 storageFree = -1;
    // When not empty, the answer to "GET STATUS" as it stands instead of the one built from
    // the state; one that begins with "ERROR" is sent as a refusal (without "OK").
    QString statusAnswer;
    // When not empty, the answer to "GET SCREEN" (hexadecimal) instead of the default
    // picture (SimScreen).
    QString screenAnswer;
    // The event journal of a central unit (STATUS fields 3 to 5, "GET JOURNAL 0,i").
    SimJournal journal;

    // The unit's clock now.
    QDateTime clock() const;
    // The build number of the version (its third part), which decides what the firmware
    // has.
    int build() const;

    // Announces that the state above changed (servers and timelines use it).
    void touch() { emit changed(); }

signals:
    void changed();
};
