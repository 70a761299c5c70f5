#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// One record of a central unit's event journal, as the unit hands it out in the answer to
// "GET JOURNAL 0," + index: "0," + index + "," + 14 hexadecimal digits (7 bytes).
//
// Bytes: 0-3 the event time, seconds since 1970-01-01 UTC, unsigned little-endian; 4 the
// event code in bits 0-5, bit 6 set while the condition is present (clear: it ended), bit 7
// a fault record; 5 the console or extension unit number (codes 5-7); 6 the bit mask of the
// PPK inputs (code 9) or the alarm lines (codes 10-12), bit b meaning number b + 1.
class UnitJournalRecord {
public:
    static constexpr int recordBytes = 7;

    // Decodes the record's hexadecimal text: exactly 14 hexadecimal digits, else false.
    static bool decode(const QString &hex, UnitJournalRecord *record);
    // Decodes the answer to "GET JOURNAL 0," + `index`: exactly three comma-separated
    // fields, the first 0, the second the index asked for and the third a well-formed
    // record. False for anything else (among others an answer that belongs to another
    // request).
    static bool parseAnswer(const QString &answer, quint64 index, UnitJournalRecord *record);

    // The event time in local time, "hh:mm:ss dd.MM.yyyy".
    QString timeText() const;
    // "неисправность" for a fault record (bit 7) of any code but 8, otherwise "событие".
    bool isFault() const;
    QString typeText() const;
    // The type cell's text colour, 0xRRGGBB.
    uint32_t typeColor() const;
    // The event text: prefix and body.
    QString text() const;

    quint32 seconds = 0;
    int code = 0;
    bool present = false;
    bool faultBit = false;
    int number = 0;
    int mask = 0;
};
