#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Faults injected into one simulated device's command side.
//
// As text (norda-devsim --fault): "silent", "split[=BYTES]", "delay=MS", "error-every=N",
// "garbage=N", "flood[=BYTES]", "baud=RATE", "fail=COUNT[@SKIP]:PREFIX" (the next COUNT
// requests starting with PREFIX, after SKIP of them passed, are answered "ERROR"),
// "mute=COUNT[@SKIP]:PREFIX" (they get no answer at all), "drop=COUNT[@SKIP]:PREFIX" (they
// get no answer and the device drops its links, as when its cable is pulled, and is back a
// moment later) and "unplug=COUNT[@SKIP]:PREFIX" (the device is pulled out when one
// arrives, unanswered, and stays out until plugged in again). COUNT -1 means every one.
// "nul=COUNT[@SKIP]:PREFIX": their answer carries a NUL byte in the middle of its first line.
// "late=MS[/COUNT[@SKIP]]:PREFIX": their answers leave MS later (every one without COUNT);
// the answers after them wait for them, as on a busy device.
// "long-block=BYTES" / "short-block=BYTES": every file block read carries BYTES more of the
// file than asked, or loses its last BYTES (the device's read position moves past them).
// "bad-page=ADDRESS": the bootloader's flash page at ADDRESS (hexadecimal) loses a bit of
// whatever is written into it (the lowest set bit of its first byte that has one), so that
// its verify is refused.
// Answers that come but cannot be used: "raw=COUNT[@SKIP]:HEX:PREFIX" (those requests get
// the bytes HEX instead of their answer), "oversize=COUNT[@SKIP]:BYTES:PREFIX" (they get a
// value line of BYTES letters and "OK") and "bare-lf" (every line of every answer ends in
// a line feed without its carriage return).
class SimFaults {
public:
    struct Rule {
        enum Action { Error, Silent, Raw, Drop, Unplug, Nul };
        QString prefix;
        int skip = 0;
        int count = 1; // < 0: every matching request
        Action action = Error;
        QByteArray raw; // Raw: sent instead of the answer, byte for byte
        int lateMs = 0; // late rules: how much later the answer leaves
    };

    bool silent = false; // answers nothing
    bool splitBytes = false; // answers leave in pieces, a millisecond apart
    int splitSize = 1; // bytes a piece
    int delayMs = 0; // every answer starts this much later
    int errorEvery = 0; // every Nth request is answered "ERROR"
    quint64 errorCounted = 0; // requests counted for errorEvery since it was set
    int garbageLines = 0; // lines of rubbish before every answer
    bool flood = false; // every answer is a flood of bytes without a line feed
    int floodBytes = 1024 * 1024;
    int baud = 0; // both directions paced as a serial line of this rate (10 bits a byte)
    int longBlock = 0; // bytes a file block read carries beyond what was asked
    int shortBlock = 0; // bytes a file block read loses
    bool badPage = false;
    quint32 badPageAddress = 0;
    bool bareLineFeeds = false; // "\r\n" in answers goes as "\n"
    QList<Rule> rules;
    QList<Rule> lateRules; // `raw` unused; the delay is in `lateMs`

    // Applies one fault given as text; false (and `error` set) when it is not understood.
    bool apply(const QString &text, QString *error);
    void clear() { *this = SimFaults(); }

    // The rule that takes this request, counting it; null when none applies.
    const Rule *match(const QString &request);
    // How much later the answer to this request leaves (late rules), counting it.
    int lateBy(const QString &request);

private:
    Rule matched;
};
