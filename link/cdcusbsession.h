#pragma once

#include <QObject>
#include <QPointer>

class CdcUsbProcess;
class ProjectDevice;
class QThread;

// Creates the command exchange worker of one device and the thread it runs on, and ends
// both: destroying the session asks the worker to stop; the worker and its thread then
// delete themselves. The thread starts with start(), once the owner has connected to the
// worker's signals: a worker that finds its device at once announces it straight away,
// and an announcement made before anyone listens would be lost.
class CdcUsbSession : public QObject {
    Q_OBJECT

public:
    CdcUsbSession(const ProjectDevice *device, quint16 commandPort, QObject *parent = nullptr);
    ~CdcUsbSession() override;

    CdcUsbProcess *worker() const;

    // Starts the worker's thread (once); the worker begins looking for its device.
    void start();

    // Asks the worker to stop and waits up to `ms` for its thread to end (the worker
    // finishes a running file or flashing record first). For callers that must not leave a
    // thread behind, such as the command-line tool before it exits.
    bool stopAndWait(int ms);

    // For the end of the program, once its event loop has returned: asks every worker that
    // still runs to stop (a running file transfer ends after its block in flight, a
    // flashing record runs to its end) and waits up to `ms` in all for their threads to end.
    // Returns the number of threads still running then, 0 when none is left (a warning
    // in the diagnostic log counts them). Call it on the thread that creates the sessions.
    static int stopAllAndWait(int ms);
    // The session threads that have started and not ended yet.
    static int runningThreads();

signals:
    void stopDevice();

private:
    QPointer<CdcUsbProcess> m_worker;
    QPointer<QThread> m_thread;
    bool started = false;
};
