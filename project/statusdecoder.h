#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

class ProjectDevice;

// Decoding of a device's status document: its faults, its operating mode and the events
// its changes give the event journal.
//
// The binary state ("binstate", hexadecimal text) holds, bit n being bit n % 8 of byte
// n / 8: the operating mode in byte 0, byte 3, two bits per line output from bit 96,
// one bit per console from bit 120 and one bit per extension unit from bit 152.
class StatusDecoder {
public:
    // The first bit of the console faults (console k at this bit + k, k = 0..31) and of the
    // extension unit faults (unit j at this bit + j, j = 0..8).
    static constexpr int consoleFaultBit = 120;
    static constexpr int extensionFaultBit = 152;

    // Bytes of the document's binary state; empty when it is missing or not an even
    // number of hexadecimal digits (white space between them is allowed).
    static QByteArray binaryState(const QJsonObject &document);
    static bool bit(const QByteArray &state, int n);
    // State of line output `line` (0..7): 0 normal, 1 short circuit, 2 open circuit,
    // 3 tolerance violation. The state must have at least 15 bytes.
    static int lineState(const QByteArray &state, int line);

    // Name of an operating mode ("ДЕЖУРНЫЙ РЕЖИМ", ...; "НЕКОРРЕКТНОЕ ЗНАЧЕНИЕ" for
    // values without a name).
    static QString modeName(int mode);

    // Decodes `document`, received at `time`, into `device`: mode, byte 3, faults, the
    // stored document and the time of last contact, recording events and the document
    // in the event database of the device's project (when it is in one). Does not emit.
    // `body`, when not empty, is the text `document` was read from: the device remembers
    // both, and the journal's text of the document, for its next answer.
    static void apply(ProjectDevice *device, const QJsonObject &document, const QDateTime &time,
                      const QByteArray &body = QByteArray());
    // A device whose events another program recorded until now (a site monitor taking over
    // its shard): its general faults as the journal last recorded them become the faults
    // its next document is compared with, so that nothing is recorded twice or missed.
    static void takeRecordedFaults(ProjectDevice *device);
};
