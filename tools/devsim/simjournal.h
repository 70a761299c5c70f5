#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The event journal of a simulated central unit: a ring of `capacity` record slots written
// one after the other from a start slot. "STATUS" reports the write position (the slot the
// next record goes to), the number of records and the capacity; "GET JOURNAL 0,i" hands out
// slot i; "SET DESCRIPTOR desc_JournalClearCmd 1" empties it (position 0, no records).
//
// Set up as text (norda-devsim --journal), comma-separated items:
//   capacity=N        slots in the ring (1 to 1000000; default 1000)
//   start=P           the slot the first record is written to (default 0)
//   records=N         N made-up records, one a minute, of every code in turn
//   file=PATH         the records of a file: one a line, oldest first, as the unit hands
//                     them out (14 hexadecimal digits; any other text is handed out as it
//                     stands, to try a console on malformed records); empty lines and lines
//                     beginning with "#" are skipped
//   wrong-index=I     the answer for slot I names slot I + 1 (a late answer's look)
// More records than slots wrap round: the oldest are overwritten, as on a unit.
class SimJournal {
public:
    static constexpr int defaultCapacity = 1000;
    static constexpr int maxCapacity = 1000000;

    // Three records of the last hours: a power fault, its end and a short circuit on line 2.
    SimJournal();

    // Applies the set-up text; false (and `error` set) when it is not understood.
    bool apply(const QString &text, QString *error);

    void clear();
    // Empties the journal and gives it `capacity` slots, the next record going to `start`.
    void reset(int capacity, int start = 0);
    // Writes a record at the write position and advances it.
    void append(const QString &record);
    // A made-up record: time in seconds since 1970 UTC, code byte, number, mask.
    static QString record(quint32 seconds, int codeByte, int number = 0, int mask = 0);
    // `count` made-up records, one a minute from `firstSeconds`, cycling through the codes.
    void appendMadeUp(int count, quint32 firstSeconds);

    int capacity() const { return ring.size(); }
    int position() const { return writePosition; }
    int count() const { return records; }
    // The answer value to "GET JOURNAL" + arguments; false when the request is refused.
    bool answer(const QString &arguments, QString *value) const;

    int wrongIndex = -1;

private:
    QVector<QString> ring;
    int writePosition = 0;
    int records = 0;
};
