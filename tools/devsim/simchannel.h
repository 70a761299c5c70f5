#pragma once

#include "tools/devsim/simcommanddevice.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

// One link to a simulated device (a TCP connection or its pseudo-terminal): cuts the bytes
// from the console into request lines, has the device answer them and sends the answers
// back, applying the delivery faults: delay, one byte at a time, and pacing at a serial
// line's rate in both directions.
class SimChannel : public QObject {
    Q_OBJECT

public:
    // A request line longer than this is dropped unread.
    static constexpr int maxRequestLine = 64 * 1024;

    explicit SimChannel(SimCommandDevice *device, QObject *parent = nullptr);

    SimCommandDevice *device() const { return m_device; }
    // Drops the link (and everything still to be sent on it).
    virtual void shutdown() = 0;

protected:
    // Bytes from the console, as they arrive.
    void bytesArrived(const QByteArray &bytes);
    // Puts bytes on the wire now.
    virtual void sendBytes(const QByteArray &bytes) = 0;
    // Forgets everything scheduled.
    void dropPending();

private:
    struct Pending {
        qint64 due; // nanoseconds on `clock`
        QByteArray bytes;
    };

    void handleInput(const QByteArray &bytes);
    void deliver(const QByteArray &answer, int lateMs);
    void arm();
    void runDue();
    qint64 now() const { return clock.nsecsElapsed(); }
    qint64 nanosPerByte() const;

    QPointer<SimCommandDevice> m_device;
    QByteArray input;
    QElapsedTimer clock;
    qint64 inputDone = 0;
    qint64 outputDone = 0;
    std::deque<Pending> pendingInput;
    std::deque<Pending> pendingOutput;
    QTimer timer;
};
