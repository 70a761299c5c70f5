#include "tools/cli/clidevicelink.h"

#include "link/connectiondevice.h"
#include "tools/cli/clioutput.h"

#include <QEventLoop>
#include <QTimer>

bool CliDeviceLink::wireArgumentsOk(const QString &command, const QStringList &params,
                                    QString *message)
{
    QStringList sent = params;
    if (command == QLatin1String("upload"))
        sent = params.mid(1, 1);
    else if (command == QLatin1String("download"))
        sent = params.mid(0, 1);
    else if (command == QLatin1String("flash") || command == QLatin1String("version") ||
             command == QLatin1String("write-project") || command == QLatin1String("screen") ||
             command == QLatin1String("backup") || command == QLatin1String("restore"))
        sent.clear();
    for (const QString &text : qAsConst(sent)) {
        QString why;
        if (!ConnectionDevice::isWireText(text, &why)) {
            *message = QStringLiteral("cannot send \"%1\" to a device: %2")
                           .arg(CliOutput::printable(text), why);
            return false;
        }
    }
    return true;
}

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

CliDeviceLink::Read CliDeviceLink::readDescriptor(const QString &name, QString *value, bool *failed,
                                                  int ms)
{
    // The answer names the descriptor without its prefix and index.
    QString answerName = name.startsWith(QLatin1String("desc_")) ? name.mid(5) : name;
    answerName = answerName.section(QLatin1Char('['), 0, 0);
    bool answered = false;
    *failed = false;
    QObject context;
    connect(&facade, &Amodule::exchangeError, &context, [failed](int) { *failed = true; });
    connect(&facade, &Amodule::receivedDescriptor, &context,
            [&, value](const QString &descname, const QVariant &v, int, int) {
                if (descname != answerName)
                    return;
                *value = v.toString();
                answered = true;
                touch();
            });
    if (facade.getDescriptor(name) != Amodule::Queued)
        return Read::Refused;
    return waitUntil([&] { return answered; }, ms) ? Read::Answered : Read::NoAnswer;
}
