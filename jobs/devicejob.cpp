#include "jobs/devicejob.h"

#include "journal/audittrail.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"

DeviceJob::DeviceJob(Amodule *module, QObject *parent)
    : QObject(parent)
    , module(module)
{
    qRegisterMetaType<DeviceJob::Result>();
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, &DeviceJob::stalled);
}

DeviceJob::~DeviceJob()
{
    quit();
}

void DeviceJob::quit()
{
    if (state != State::Running)
        return;
    // Nothing is emitted from here on: the links go first, then the device side stops.
    state = State::Finished;
    watchdog.stop();
    dropLinks();
    outcome.status = Status::Cancelled;
    outcome.message = QStringLiteral("abandoned");
    recordEnd();
    stop();
}

Amodule *DeviceJob::facade() const
{
    return module.data();
}

CdcUsbProcess *DeviceJob::worker() const
{
    return module ? module->worker() : nullptr;
}

void DeviceJob::start()
{
    if (state != State::Idle)
        return;
    state = State::Running;
    if (!module || !module->isConnected() || !worker()) {
        finishLater(Status::LinkLost, -1, QStringLiteral("the device is not connected"));
        return;
    }
    const QString action = auditAction();
    if (!action.isEmpty()) {
        QJsonObject details = auditDetails();
        details.insert(QStringLiteral("stage"), QStringLiteral("start"));
        QString error;
        if (!AuditTrail::record(module->auditDevice(), action, details, &error)) {
            finishLater(Status::Failed, -1, error);
            return;
        }
        auditStarted = true;
    }
    listen(module.data(), &Amodule::disconnected, &DeviceJob::onDisconnected);
    listen(worker(), &CdcUsbProcess::receivedAnswer, &DeviceJob::onAnswer);
    touch();
    begin();
}

void DeviceJob::cancel()
{
    if (state == State::Idle) {
        state = State::Running;
        finishLater(Status::Cancelled, -1, QStringLiteral("cancelled before it started"));
        return;
    }
    if (state != State::Running || cancelled)
        return;
    cancelled = true;
    abort();
}

bool DeviceJob::conclude(Status status, qint64 position, const QString &message,
                         const QString &detail)
{
    if (state != State::Running)
        return false;
    state = State::Finished;
    watchdog.stop();
    dropLinks();
    outcome.status = status;
    outcome.step = step;
    outcome.position = position;
    outcome.detail = detail;
    outcome.message = message;
    recordEnd();
    return true;
}

void DeviceJob::recordEnd()
{
    if (!auditStarted)
        return;
    auditStarted = false;
    static const char *const names[] = {"done", "failed", "cancelled", "link lost"};
    QJsonObject details = auditDetails();
    details.insert(QStringLiteral("stage"), QStringLiteral("end"));
    details.insert(QStringLiteral("result"), QLatin1String(names[int(outcome.status)]));
    details.insert(QStringLiteral("step"), outcome.step);
    if (outcome.position >= 0)
        details.insert(QStringLiteral("position"), outcome.position);
    if (!outcome.message.isEmpty())
        details.insert(QStringLiteral("message"), outcome.message);
    // The change is over: a trail that fails now can only be reported.
    AuditTrail::record(module ? module->auditDevice() : QString(), auditAction(), details);
}

void DeviceJob::finish(Status status, qint64 position, const QString &message,
                       const QString &detail)
{
    if (conclude(status, position, message, detail))
        emit finished(outcome);
}

void DeviceJob::finishLater(Status status, qint64 position, const QString &message,
                            const QString &detail)
{
    // Queued to the job itself: a job deleted meanwhile emits nothing.
    if (conclude(status, position, message, detail))
        QMetaObject::invokeMethod(
            this, [this] { emit finished(outcome); }, Qt::QueuedConnection);
}

void DeviceJob::touch()
{
    if (state == State::Running)
        watchdog.start(idleTimeoutMs);
}

void DeviceJob::dropLinks()
{
    for (const QMetaObject::Connection &link : qAsConst(links))
        disconnect(link);
    links.clear();
    pending.clear();
    settling = nullptr;
}

void DeviceJob::linkLost()
{
    finish(Status::LinkLost, -1, linkLostMessage());
}

QString DeviceJob::linkLostMessage() const
{
    return QStringLiteral("the link to the device was lost");
}

void DeviceJob::stalled()
{
    finish(Status::Failed, -1,
           QStringLiteral("the device gave no sign for %1 s").arg(idleTimeoutMs / 1000.0));
}

bool DeviceJob::request(const QString &line, AnswerHandler answered)
{
    if (state != State::Running || !module || module->sendCommand(line) != 0)
        return false;
    pending.append({line, std::move(answered)});
    return true;
}

void DeviceJob::onAnswer(const QString &request, const QString &answer, int err)
{
    for (int i = 0; i < pending.size(); ++i) {
        if (pending.at(i).line != request)
            continue;
        const AnswerHandler answered = pending.takeAt(i).answered;
        touch();
        answered(err, answer);
        return;
    }
}

void DeviceJob::settle(const QString &probe, std::function<void(bool alive)> settled)
{
    settling = std::move(settled);
    const bool queued = request(probe, [this](int err, const QString &answer) {
        if (!settling)
            return;
        const std::function<void(bool)> settled = std::move(settling);
        settling = nullptr;
        // An answer the worker made up itself means the device said nothing; the worker
        // drops the link after such an exchange.
        const bool fromDevice = err == 0 ||
            !(answer.startsWith(QLatin1String("ERROR TIMEOUT")) ||
              answer.startsWith(QLatin1String("ERROR OVERFLOW")));
        settled(fromDevice);
    });
    if (!queued && settling) {
        const std::function<void(bool)> settled = std::move(settling);
        settling = nullptr;
        settled(false);
    }
}

void DeviceJob::onDisconnected()
{
    pending.clear();
    if (settling) {
        const std::function<void(bool)> settled = std::move(settling);
        settling = nullptr;
        settled(false);
        return;
    }
    linkLost();
}
