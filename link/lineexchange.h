#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

class ConnectionDevice;

// The short request/answer exchanges of file transfers, flashing records and port discovery.
// They run on the thread that owns the transport and block it (sleeping, never spinning)
// until the answer line arrives or the wait ends.
//
// A wait that ends without a line leaves the line out of step: the device may still answer
// the command later, and that answer would be taken for the answer to the next command.
// Before its next command the exchange gets the line back in step: it drops whatever
// arrives until the line has been quiet for the quiet time (longer than the longest wait of
// its user), and sends nothing if that does not happen within a bound.
class LineExchange {
public:
    explicit LineExchange(ConnectionDevice *transport, int quietMs = 1100);

    // The next line within `ms`, or an empty line (the line is then out of step). A receive
    // buffer that overflowed counts as no answer; it is emptied.
    QByteArray waitAnswerLine(int ms);
    // Writes `command` + "\r\n"; true only if the answer within `ms` is exactly "OK\r\n".
    bool sendExpectOk(const QString &command, int ms = 1000);
    // Writes `command` + "\r\n"; expects a value line and "OK\r\n" within one shared `ms`.
    // Returns the value line up to its "\r\n" and sets `ok`; empty and false otherwise,
    // also for a value line that holds a NUL byte (a value cut short is no value).
    QString sendGetValue(const QString &command, bool *ok, int ms = 1000);
    // Writes `command` + "\r\n" after dropping whatever was received before: a line that
    // came before the command (a late answer to a step that timed out) is not its answer.
    // A line out of step is brought back in step first; false (nothing written) when it
    // cannot be.
    bool sendLine(const QString &command);
    // Writes raw bytes (the "\r\n\r\n" that precedes a retry).
    void sendRaw(const QByteArray &bytes);

    // Whether a wait has ended without its answer since the line was last in step.
    bool isOutOfStep() const { return outOfStep; }
    // Drops what arrives until the line has been quiet for the quiet time; false when it
    // keeps talking for longer than `quietBoundFactor` quiet times, or when the stop flag is
    // set meanwhile. Nothing to do (true) when the line is in step.
    bool resynchronise();
    // A flag (set from any thread) that ends a resynchronisation early: the job that waits
    // is being stopped.
    void setStopFlag(std::shared_ptr<std::atomic_bool> flag) { stopFlag = std::move(flag); }

    static constexpr int quietBoundFactor = 4;
    static constexpr int stopCheckMs = 100;

private:
    ConnectionDevice *transport;
    int quietMs;
    bool outOfStep = false;
    std::shared_ptr<std::atomic_bool> stopFlag;
};
