#pragma once

#include "tools/devsim/simcommanddevice.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

class QSocketNotifier;

// One link to a simulated device (a TCP connection or its pseudo-terminal): cuts the bytes
// from the console into request lines, has the device answer them and sends the answers
// back, applying the delivery faults: delay, one byte at a time, and pacing at a serial
// line's rate in both directions.
//
// Paced bytes are timed on the monotonic clock in nanoseconds. A request counts as received
// once its last byte would have crossed the line; its answer leaves then and arrives after
// its own bytes' time on the line, never earlier. Each due time is kept by a timer file
// descriptor that wakes the event loop at that nanosecond, so the simulator's thread never
// sleeps for a device and wakes once per due time.
class SimChannel : public QObject {
    Q_OBJECT

public:
    // A request line longer than this is dropped unread.
    static constexpr int maxRequestLine = 64 * 1024;

    explicit SimChannel(SimCommandDevice *device, QObject *parent = nullptr);
    ~SimChannel() override;

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
        qint64 due; // nanoseconds on the monotonic clock
        QByteArray bytes;
    };

    // `receivedAt`: when the bytes' last one was in (the time the answers start from).
    void handleInput(const QByteArray &bytes, qint64 receivedAt);
    void deliver(const QByteArray &answer, int lateMs, qint64 receivedAt);
    void arm();
    void runDue();
    qint64 nanosPerByte() const;
    static qint64 now();

    QPointer<SimCommandDevice> m_device;
    QByteArray input;
    qint64 inputDone = 0;
    qint64 outputDone = 0;
    std::deque<Pending> pendingInput;
    std::deque<Pending> pendingOutput;
    // The timer file descriptor, made when a channel first has something to hold back;
    // where none can be made, a millisecond timer rounded up to the due time.
    int timerFd = -1;
    bool timerFdRefused = false;
    QSocketNotifier *timerNotifier = nullptr;
    QTimer fallbackTimer;
};
