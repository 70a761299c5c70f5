#include "tools/cli/clidevicelink.h"

#include <QEventLoop>
#include <QTimer>

CliDeviceLink::CliDeviceLink(const ProjectDevice *target, quint16 commandPort)
    : facade(target, nullptr, commandPort)
{
    connect(&facade, &Amodule::connected, this, [this](int devType, const QString &version) {
        type = devType;
        fullVersion = version;
        identified = true;
        lost = false;
        touch();
    });
    connect(&facade, &Amodule::disconnected, this, [this] {
        identified = false;
        lost = true;
        touch();
    });
}

CliDeviceLink::~CliDeviceLink()
{
    facade.closeAndWait(30000);
}

void CliDeviceLink::touch()
{
    if (!wait.loop)
        return;
    if (wait.failOnLoss)
        wait.idle->start();
    if (wait.done() || (wait.failOnLoss && lost))
        wait.loop->quit();
}

bool CliDeviceLink::waitIdentified(int ms)
{
    lost = false;
    return waitUntil([this] { return identified; }, ms, false);
}

bool CliDeviceLink::waitUntil(const std::function<bool()> &done, int ms, bool failOnLoss)
{
    if (done())
        return true;
    if (failOnLoss && lost)
        return false;
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(ms);
    QObject::connect(&idle, &QTimer::timeout, &loop, &QEventLoop::quit);
    const Wait outer = wait;
    wait = Wait {&loop, &idle, done, failOnLoss};
    idle.start();
    loop.exec();
    wait = outer;
    return done();
}

DeviceJob::Result CliDeviceLink::run(DeviceJob &job)
{
    QEventLoop loop;
    QObject::connect(&job, &DeviceJob::finished, &loop, &QEventLoop::quit);
    job.start();
    // A job that could not start has its result already.
    if (!job.isFinished())
        loop.exec();
    return job.result();
}
