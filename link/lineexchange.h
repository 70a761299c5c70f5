#pragma once

#include <QByteArray>
#include <QString>

class ConnectionDevice;

// The short request/answer exchanges of file transfers, flashing jobs and port discovery.
// They run on the thread that owns the transport and block it (sleeping, never spinning)
// until the answer line arrives or the wait ends.
class LineExchange {
public:
    explicit LineExchange(ConnectionDevice *transport);

    // The next line within `ms`, or an empty line. A receive buffer that overflowed
    // counts as no answer; it is emptied.
    QByteArray waitAnswerLine(int ms);
    // Writes `command` + "\r\n"; true only if the answer within `ms` is exactly "OK\r\n".
    bool sendExpectOk(const QString &command, int ms = 1000);
    // Writes `command` + "\r\n"; expects a value line and "OK\r\n" within one shared `ms`.
    // Returns the value line up to its "\r\n" and sets `ok`; empty and false otherwise.
    QString sendGetValue(const QString &command, bool *ok, int ms = 1000);
    // Writes `command` + "\r\n" after dropping whatever was received before: a line that
    // came before the command (a late answer to a step that timed out) is not its answer.
    void sendLine(const QString &command);
    // Writes raw bytes (the "\r\n\r\n" that precedes a retry).
    void sendRaw(const QByteArray &bytes);

private:
    ConnectionDevice *transport;
};
