#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaObject>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class Amodule;
class CdcUsbProcess;

// A device operation of several exchanges (a firmware update, a file upload or download, a
// folder listing), run over one device access facade on the facade's thread (the user
// interface thread), with progress on the way and one result at the end. The device windows
// and the command-line tool run the same jobs.
//
// Every job keeps these rules:
// - start() is called once. finished(result) follows exactly once, and never from inside
//   start() or cancel(): a job that cannot start reports that from the event loop.
// - The job ends Failed when any step failed; a failed answer never becomes a value.
// - cancel() stops the job at its next block or step; the job still ends with one
//   finished(): Cancelled, or as it would have ended when the cancel came after its last
//   step.
// - Deleting a running job cancels it on the device side; nothing is emitted afterwards.
// - A lost link ends the job as LinkLost: the worker drops its queued requests and jobs
//   whenever the link drops, so whatever the job waited for will not come.
// - The job never sleeps or spins: it reacts to the signals of the facade and its worker
//   and to its own timers. A job that sees no sign of the device for the idle timeout ends
//   as Failed.
class DeviceJob : public QObject {
    Q_OBJECT

public:
    enum class Status { Done, Failed, Cancelled, LinkLost };
    Q_ENUM(Status)

    struct Result {
        Status status = Status::Done;
        // The job's own step or stage at which it ended (see each job's Step enum).
        int step = 0;
        // Bytes done, or the flash address, where the job ended; -1 when it does not apply.
        qint64 position = -1;
        // The device's answer or the worker's description of a failure, when there is one.
        QString detail;
        // One English line for logs and the command-line tool.
        QString message;

        bool ok() const { return status == Status::Done; }
    };

    static constexpr int defaultIdleTimeoutMs = 60000;

    explicit DeviceJob(Amodule *module, QObject *parent = nullptr);
    ~DeviceJob() override;

    void start();
    void cancel();
    bool isRunning() const { return state == State::Running; }
    bool isFinished() const { return state == State::Finished; }
    // The outcome once finished() has been emitted (or is on its way).
    const Result &result() const { return outcome; }
    // The longest time without a sign of the device (an answer, a block, a page) before the
    // job gives up. Set before start().
    void setIdleTimeout(int ms) { idleTimeoutMs = ms; }

signals:
    void progress(qint64 done, qint64 total);
    void finished(DeviceJob::Result result);

protected:
    // Starts the work; called once by start() when the facade is linked to its device.
    virtual void begin() = 0;
    // A job that changes the device names its audit record's action here: start() then
    // records it (with auditDetails() and "stage": "start") before begin(), and refuses to
    // run when it cannot; the end is recorded with the result and how far the job got.
    virtual QString auditAction() const { return QString(); }
    virtual QJsonObject auditDetails() const { return QJsonObject(); }
    // cancel() while running: stop at the next block or step and finish.
    virtual void abort() = 0;
    // The running job is being deleted: stop the device side; nothing may be emitted.
    virtual void stop() { }
    // Ends a running job without a word: its connections go, then stop() runs. Every job
    // class calls it from its destructor (the base destructor cannot reach its stop()).
    void quit();
    // The link dropped while the job ran (and no settle() was waiting). By default the job
    // ends as LinkLost with linkLostMessage().
    virtual void linkLost();
    virtual QString linkLostMessage() const;
    // No sign of the device for the idle timeout.
    virtual void stalled();

    Amodule *facade() const;
    CdcUsbProcess *worker() const;
    bool cancelRequested() const { return cancelled; }
    int currentStep() const { return step; }
    void setStep(int value) { step = value; }

    // Ends the job: emits finished() now (the caller runs from the event loop).
    void finish(Status status, qint64 position, const QString &message,
                const QString &detail = QString());
    // Ends the job and emits finished() from the event loop (for start() and cancel()).
    void finishLater(Status status, qint64 position, const QString &message,
                     const QString &detail = QString());
    // The device gave a sign of life: the idle timeout starts again.
    void touch();
    // Suspends the idle timeout until the next touch() (while the job waits on a bound of
    // its own).
    void pauseIdleTimeout() { watchdog.stop(); }

    // Connections that live until the job ends: to a function of the job, or to a slot of
    // `receiver` (the job itself, as its own class).
    template<typename Sender, typename Signal, typename Slot>
    void listen(const Sender *sender, Signal signal, Slot slot)
    {
        links.append(connect(sender, signal, this, slot));
    }
    template<typename Sender, typename Signal, typename Receiver, typename Slot>
    void listen(const Sender *sender, Signal signal, Receiver *receiver, Slot slot)
    {
        links.append(connect(sender, signal, receiver, slot));
    }

    using AnswerHandler = std::function<void(int err, const QString &answer)>;
    // Queues `line` through the facade and hands its answer (the worker's code and answer
    // text) to `answered`. False when the facade refused the line (nothing is queued then).
    bool request(const QString &line, AnswerHandler answered);

    // Learns whether the link outlived a failed step: queues `probe` (a request the device
    // answers in any state) and calls `settled(true)` when the device answered it, or
    // `settled(false)` when the link dropped or the probe got no answer (the worker drops the
    // link after a request that timed out).
    void settle(const QString &probe, std::function<void(bool alive)> settled);

private:
    enum class State { Idle, Running, Finished };

    void recordEnd();
    bool auditStarted = false;

    // Records the outcome of a running job; false when it had ended already.
    bool conclude(Status status, qint64 position, const QString &message, const QString &detail);
    void dropLinks();
    void onAnswer(const QString &request, const QString &answer, int err);
    void onDisconnected();

    struct Pending {
        QString line;
        AnswerHandler answered;
    };

    QPointer<Amodule> module;
    State state = State::Idle;
    bool cancelled = false;
    int step = 0;
    int idleTimeoutMs = defaultIdleTimeoutMs;
    QTimer watchdog;
    Result outcome;
    QList<QMetaObject::Connection> links;
    QList<Pending> pending;
    std::function<void(bool)> settling;
};

Q_DECLARE_METATYPE(DeviceJob::Result)
