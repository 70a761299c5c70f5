#pragma once

#include "tools/devsim/simfaults.h"
#include "tools/devsim/simfilesystem.h"
#include "tools/devsim/simflash.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>

class SimDevice;
class SimRequestLog;

// The command side of one simulated device: answers request lines as the device (or, after
// "SET BOOT", its bootloader) does, with its files, its flash and its injected faults. All
// links to the device (TCP connections, its pseudo-terminal) share one SimCommandDevice.
class SimCommandDevice : public QObject {
    Q_OBJECT

public:
    static constexpr int maxLoggedRequests = 100000;

    SimCommandDevice(SimDevice *device, quint16 commandPort, QObject *parent = nullptr);

    SimDevice *device() const { return m_device; }
    bool inBootloader() const { return bootMode; }
    // The type key and version the bootloader reports ("boot 2.5,0").
    QString bootKey() const;

    // The bytes sent in answer to one request line (given without its line end); empty
    // when the device says nothing. `lateMs` (when given) is how much later than usual they
    // leave (the fault "late").
    QByteArray respond(const QString &line, int *lateMs = nullptr);

    // Every non-empty request line received, oldest first (safe from any thread).
    QStringList requestLog() const;
    // When each line of requestLog() arrived, in milliseconds of one monotonic clock.
    QList<qint64> requestTimes() const;
    void clearRequestLog();
    // Also appends every request line to this log file (not owned; null: none).
    void setRequestLogFile(SimRequestLog *file) { logFile = file; }

    SimFaults faults;
    SimFileSystem files;
    SimFlash flash;
    // Flash sector layout the bootloader reports (1 uniform, 0 mixed).
    int flashLayout = 0;
    QString bootVersion = QStringLiteral("2.5");

signals:
    // The device restarts into its bootloader or back into its firmware; its links drop.
    void restarting();
    // A fault pulls the device out (its links drop until it is plugged in again).
    void pulledOut();

private:
    QByteArray answerApplication(const QString &line);
    QByteArray answerBootloader(const QString &line);
    QByteArray answerFileCommand(const QString &command, const QString &argument);
    void populateFiles();

    SimDevice *m_device;
    bool bootMode;
    uint32_t flashAddress = 0;
    quint64 requestCount = 0;
    mutable QMutex logMutex;
    QStringList log;
    QList<qint64> logTimes;
    SimRequestLog *logFile = nullptr;
};
