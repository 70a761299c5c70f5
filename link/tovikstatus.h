#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// What a central unit reports beyond the common status fields, and how its clock travels.
//
// The answer to "GET STATUS" is one line of comma-separated fields; past the type key and
// version (read by StatusAnswer) a central unit reports its clock in field 2 as seconds
// since 1970-01-01 UTC, its journal's write position, record count and capacity in fields
// 3 to 5, and packed states of consoles (field 11), alarm lines (12) and
// fire-panel (PPK) inputs (13), its state code (14) and two activation masks (15, 16). The
// packed fields are unsigned 64-bit: 32 consoles of two bits fill all 64.
//
// Clock texts: "desc_CurrentTime" and "desc_WriteTime" carry the unit's wall clock as
// "hh:mm:ss dd/MM/yy", the local time of the installation (what the PC shows), while
// field 2 is true UTC. The windows show both in local time, so after "Синхронизировать с
// ПК" the unit's time equals the PC's whichever way it was read.
class TovikStatus {
public:
    // Reads an answer as the facade hands it on; an error answer or one of fewer than
    // three fields is not valid. Each group of fields is taken only when the answer reaches
    // it, and a field that is not a number leaves its group out.
    static TovikStatus parse(const QString &answer);

    // The build number of a version text: its third dot-separated part ("1.2.620" -> 620);
    // 0 when there is none or it is not a number.
    // Units from this build on have the newer descriptors (MAC address, remote polarity,
    // BUU-2 module, device name); older ones answer an error to them.
    static constexpr int newerDescriptorsBuild = 576;
    static int buildNumber(const QString &version);

    // The unit's clock text: "hh:mm:ss dd/MM/yy" with the two-digit year read as
    // 2000-2099. Invalid when the text is not such a time.
    static QDateTime parseUnitTime(const QString &text);
    // The text of a time from earliestUnitTime() to latestUnitTime(), the times the clock
    // can hold; empty for any other, which the unit would take for another century's.
    static QString unitTimeText(const QDateTime &local);
    static QDateTime earliestUnitTime();
    static QDateTime latestUnitTime();
    // The form the windows show times in ("hh:mm:ss dd.MM.yyyy").
    static QString displayText(const QDateTime &time);

    // The state (0-3) of the 1-based item `number` of a field of two bits per item.
    static int twoBitState(quint64 field, int number);

    bool valid = false;
    // Field 2, in local time; invalid when absent or not a number.
    QDateTime clock;
    // Fields 3-5: the journal's write position, number of records and capacity; all three
    // or none (zeros).
    bool hasJournal = false;
    quint64 journalPosition = 0;
    quint64 journalCount = 0;
    quint64 journalCapacity = 0;
    bool hasConsoles = false; // field 11
    quint64 consoles = 0;
    bool hasLines = false; // field 12
    quint64 lines = 0;
    bool hasPpk = false; // field 13
    quint64 ppk = 0;
    bool hasState = false; // fields 14-16
    int state = 0;
    quint64 ppkActive = 0;
    quint64 linesActive = 0;
};
