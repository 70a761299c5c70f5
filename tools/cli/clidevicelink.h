#pragma once

#include "jobs/devicejob.h"
#include "link/amodule.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QEventLoop;
class QTimer;

class ProjectDevice;

// One device reached by the command-line tool through the same facade the device windows
// use. Waits run the event loop until a condition holds, the link drops or nothing happens
// for the given time.
class CliDeviceLink : public QObject {
    Q_OBJECT

public:
    CliDeviceLink(const ProjectDevice *target, quint16 commandPort);
    ~CliDeviceLink() override;

    Amodule &module() { return facade; }

    // Whether the arguments of device command `command` that go to the device (names,
    // values, device paths; not local file names) can travel on the link as they are.
    // Otherwise false, and `message` says which one and why, on one line.
    static bool wireArgumentsOk(const QString &command, const QStringList &params,
                                QString *message);

    // Waits until the device has answered "GET VERSION" with a known type key.
    bool waitIdentified(int ms);
    int deviceType() const { return type; }
    QString version() const { return fullVersion; }
    bool isLost() const { return lost; }

    // Runs the event loop until `done()` holds (true) or `ms` pass without a call to touch()
    // (false). With `failOnLoss` a dropped link also ends the wait (false). Without it the
    // wait outlives dropped links and `ms` bounds it as a whole: the worker reopens a refused
    // link every second, and each drop would otherwise start the time again. The condition
    // is looked at whenever touch() is called.
    bool waitUntil(const std::function<bool()> &done, int ms, bool failOnLoss = true);
    // Something happened: the condition of the running wait is looked at again and, in a
    // wait that ends on a dropped link, its idle time starts again.
    void touch();
    // Reads one descriptor ("desc_SerialNumber") and waits up to `ms` without a sign of the
    // device for its answer.
    enum class Read { Answered, Refused, NoAnswer };
    Read readDescriptor(const QString &name, QString *value, bool *failed, int ms);
    // Starts `job` and runs the event loop until it has finished (a job bounds its own
    // waits); returns its result.
    DeviceJob::Result run(DeviceJob &job);

private:
    Amodule facade;
    int type = 0;
    QString fullVersion;
    bool identified = false;
    bool lost = false;

    struct Wait {
        QEventLoop *loop = nullptr;
        QTimer *idle = nullptr;
        std::function<bool()> done;
        bool failOnLoss = true;
    } wait;
};
