#pragma once

#include <QString>
#include <QVector>

// Codes of the event journal and the texts the journal views and exports show for them.
// A fault going away is recorded with the fault's code plus `Cleared`.
class EventCode {
public:
    enum Code : int {
        ConnectionLost = 1,
        Amplifier = 2,
        Battery = 3,
        Mains = 4,
        Tamper = 5,
        LineShort = 8, // + line 0..7
        LineOpen = 16, // + line 0..7
        LineTolerance = 24, // + line 0..7
        LineNormal = 32, // + line 0..7
        Acknowledged = 255,
        Cleared = 0x40000000,
        ConnectionRestored = Cleared + ConnectionLost,
    };

    // "Короткое замыкание ЛО3", "Неисправность УМ снята", ...; "Неизвестно" for codes
    // outside the table.
    static QString text(int code);
    // Whether the code is one of the table (text() has a text of its own for it).
    static bool isKnown(int code);
    // A fault going away or a line back to normal (drawn green in the journal).
    static bool isRecovery(int code);
    // A line fault: short circuit, open circuit or tolerance violation of a line.
    static bool isLineFault(int code) { return code >= LineShort && code < LineNormal; }
    // A line back to normal.
    static bool isLineNormal(int code) { return code >= LineNormal && code < LineNormal + lines; }
    // The line (0..7) of a line fault or a line back to normal.
    static int lineOf(int code) { return code % lines; }
    // A line fault's or a line's "back to normal" code.
    static int lineNormal(int line) { return LineNormal + line; }
    // A fault going away (the fault's code plus `Cleared`).
    static bool isCleared(int code) { return (code & Cleared) != 0; }

    // What an event says, as the history view and the log collector tell them apart.
    enum class Kind { Fault, Clear, Connection, Acknowledgement, Other };
    // Connection lost and restored are Connection; other faults Fault, their end Clear.
    static Kind kindOf(int code);
    // Every code of the table of that kind.
    static QVector<int> codesOf(Kind kind);
    // The codes of the table whose text contains `text`, ignoring case.
    static QVector<int> codesWithText(const QString &text);
    // Every code of the table.
    static QVector<int> knownCodes();

    // Line outputs of a unit.
    static constexpr int lines = 8;
};
