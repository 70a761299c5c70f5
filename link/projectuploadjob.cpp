#include "link/projectuploadjob.h"

#include "link/amodule.h"
#include "link/fileuploadjob.h"

namespace {

bool isWorkerFailure(const QString &answer)
{
    return answer.startsWith(QLatin1String("ERROR TIMEOUT")) ||
        answer.startsWith(QLatin1String("ERROR OVERFLOW"));
}

QString shown(const QString &answer)
{
    const QString text = answer.trimmed();
    return text.isEmpty() ? QStringLiteral("no answer") : text;
}

// The value a descriptor read back as, in the form it is written; empty when it is not one
// of that kind.
QString writable(UploadStep::Restore kind, const QString &value)
{
    const QString text = value.trimmed();
    if (kind == UploadStep::Restore::Flag) {
        if (text == QString::fromUtf8("да") || text == QLatin1String("1"))
            return QStringLiteral("1");
        if (text == QString::fromUtf8("нет") || text == QLatin1String("0"))
            return QStringLiteral("0");
        return QString();
    }
    if (text.isEmpty() || text.size() > 10)
        return QString();
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QString();
    }
    if (text.toULongLong() > 0xFFFFFFFFull)
        return QString();
    return QString::number(text.toULongLong());
}

} // namespace

ProjectUploadJob::ProjectUploadJob(Amodule *module, const UploadPlan &plan, QObject *parent)
    : DeviceJob(module, parent)
    , m_plan(plan)
{
    stepTimer.setSingleShot(true);
    connect(&stepTimer, &QTimer::timeout, this, &ProjectUploadJob::stepTimedOut);
}

ProjectUploadJob::~ProjectUploadJob()
{
    quit();
}

void ProjectUploadJob::begin()
{
    setStep(Check);
    if (!m_plan.runnable()) {
        finishLater(Status::Failed, -1,
                    QStringLiteral("the plan has errors, nothing was written: %1")
                        .arg(m_plan.errors.join(QStringLiteral("; "))));
        return;
    }
    // The idle bound of the base covers the time between steps; each step has its own.
    setIdleTimeout(qMax(defaultIdleTimeoutMs, stepTimeoutMs * 2));
    touch();
    for (const UploadStep &step : qAsConst(m_plan.steps)) {
        if (step.kind == UploadStep::Descriptor && step.restore != UploadStep::Restore::None &&
            !toRead.contains(step.name))
            toRead << step.name;
    }
    setStep(ReadState);
    next = 0;
    // From the event loop: an empty plan, or a facade that refuses at once, ends the job
    // there and never inside start().
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isRunning())
                readNext();
        },
        Qt::QueuedConnection);
}

bool ProjectUploadJob::exchange(const QString &line)
{
    const int expected = ++generation;
    stepTimer.start(stepTimeoutMs);
    const bool queued = request(line, [this, expected](int err, const QString &answer) {
        stepAnswered(expected, err, answer);
    });
    if (!queued)
        stepTimer.stop();
    return queued;
}

void ProjectUploadJob::readNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("cancelled before anything was written"));
        return;
    }
    if (next >= toRead.size()) {
        setStep(Run);
        next = 0;
        runNext();
        return;
    }
    const QString name = toRead.at(next);
    if (!exchange(QStringLiteral("GET DESCRIPTOR ") + name))
        fail(QStringLiteral("%1 could not be asked for").arg(name));
}

void ProjectUploadJob::runNext()
{
    if (cancelRequested()) {
        if (current < 0)
            finish(Status::Cancelled, -1, QStringLiteral("cancelled before anything was written"));
        else
            fail(QStringLiteral("cancelled"));
        return;
    }
    const int total = m_plan.steps.size();
    if (next >= total) {
        emit progress(total, total);
        finish(Status::Done, -1, QStringLiteral("%1 steps written").arg(total));
        return;
    }
    current = next++;
    emit stepStarted(current);
    emit progress(current, total);
    const UploadStep &step = m_plan.steps.at(current);
    switch (step.kind) {
    case UploadStep::Descriptor:
        if (step.restore != UploadStep::Restore::None && !changed.contains(step.name))
            changed << step.name;
        written.insert(step.name, step.value);
        if (!exchange(QStringLiteral("SET DESCRIPTOR ") + step.name + QLatin1Char(' ') +
                      step.value))
            fail(QStringLiteral("the write could not be sent"));
        return;
    case UploadStep::DeleteFile:
        if (!exchange(QStringLiteral("SET FILE_DELETE ") + step.name))
            fail(QStringLiteral("the deletion could not be sent"));
        return;
    case UploadStep::File: {
        ++generation;
        stepTimer.start(stepTimeoutMs);
        child = new FileUploadJob(facade(), step.name, step.data, this);
        connect(child, &DeviceJob::finished, this, &ProjectUploadJob::fileFinished);
        connect(child, &DeviceJob::progress, this, [this] { touch(); });
        child->start();
        return;
    }
    }
}

void ProjectUploadJob::stepAnswered(int expected, int err, const QString &answer)
{
    if (expected != generation)
        return;
    stepTimer.stop();
    const bool ok = err == 0 && !answer.startsWith(QLatin1String("ERROR"));
    switch (currentStep()) {
    case ReadState: {
        const QString name = toRead.at(next);
        const UploadStep::Restore kind = [&] {
            for (const UploadStep &step : qAsConst(m_plan.steps)) {
                if (step.name == name)
                    return step.restore;
            }
            return UploadStep::Restore::None;
        }();
        const QString value = ok ? writable(kind, answer) : QString();
        if (value.isEmpty()) {
            fail(QStringLiteral("reading %1 answered %2").arg(name, shown(answer)));
            return;
        }
        original.insert(name, value);
        ++next;
        readNext();
        return;
    }
    case Run: {
        const UploadStep &step = m_plan.steps.at(current);
        if (ok) {
            emit stepDone(current, QString());
            runNext();
        } else if (step.kind == UploadStep::DeleteFile && !isWorkerFailure(answer)) {
            // The unit refuses to delete a file it does not have: nothing stale is left.
            emit stepDone(current, QString::fromUtf8("файла на устройстве не было"));
            runNext();
        } else {
            fail(QStringLiteral("the device answered %1").arg(shown(answer)));
        }
        return;
    }
    case RestoreState: {
        const QString name = toRestore.at(next);
        const QString line = name + QStringLiteral(" = ") + original.value(name);
        if (ok)
            restoredList << line;
        else
            notRestoredList << line;
        ++next;
        restoreNext();
        return;
    }
    default:
        return;
    }
}

void ProjectUploadJob::fileFinished(const DeviceJob::Result &result)
{
    if (child && sender() != child.data())
        return;
    stepTimer.stop();
    child = nullptr;
    if (result.ok()) {
        emit stepDone(current, QString());
        runNext();
        return;
    }
    fail(result.message);
}

void ProjectUploadJob::stepTimedOut()
{
    fail(QStringLiteral("no answer within %1 s").arg(stepTimeoutMs / 1000.0));
}

void ProjectUploadJob::dropChild()
{
    if (child) {
        FileUploadJob *job = child.data();
        child = nullptr;
        job->disconnect(this);
        delete job;
    }
}

void ProjectUploadJob::fail(const QString &why)
{
    stepTimer.stop();
    ++generation;
    dropChild();
    if (currentStep() == ReadState) {
        detail = why;
        const Status status = cancelRequested()   ? Status::Cancelled
            : facade() && facade()->isConnected() ? Status::Failed
                                                  : Status::LinkLost;
        finish(status, -1,
               QStringLiteral("the slots could not be read before the upload, nothing was "
                              "written: %1")
                   .arg(why));
        return;
    }
    if (currentStep() == RestoreState)
        return;
    failed = current;
    detail = why;
    toRestore.clear();
    const QString failedName = current >= 0 ? m_plan.steps.at(current).name : QString();
    for (const QString &name : qAsConst(changed)) {
        if (written.value(name) != original.value(name) || name == failedName)
            toRestore << name;
    }
    setStep(RestoreState);
    next = 0;
    restoreNext();
}

void ProjectUploadJob::restoreNext()
{
    while (next < toRestore.size()) {
        const QString name = toRestore.at(next);
        if (facade() && facade()->isConnected() &&
            exchange(QStringLiteral("SET DESCRIPTOR ") + name + QLatin1Char(' ') +
                     original.value(name)))
            return;
        notRestoredList << name + QStringLiteral(" = ") + original.value(name);
        ++next;
    }
    conclude();
}

void ProjectUploadJob::conclude()
{
    const UploadStep &step = m_plan.steps.at(failed);
    QString message = QStringLiteral("step %1 of %2 failed (%3): %4")
                          .arg(failed + 1)
                          .arg(m_plan.steps.size())
                          .arg(step.caption, detail);
    if (!restoredList.isEmpty())
        message += QStringLiteral("; restored %1").arg(restoredList.join(QStringLiteral(", ")));
    if (!notRestoredList.isEmpty())
        message +=
            QStringLiteral("; NOT restored %1").arg(notRestoredList.join(QStringLiteral(", ")));
    if (restoredList.isEmpty() && notRestoredList.isEmpty())
        message += QStringLiteral("; nothing had to be restored");
    const Status status = cancelRequested()   ? Status::Cancelled
        : facade() && facade()->isConnected() ? Status::Failed
                                              : Status::LinkLost;
    finish(status, failed, message, detail);
}

void ProjectUploadJob::linkLost()
{
    // What is still to be written back cannot be: restoreNext() notes it.
    fail(QStringLiteral("the link to the device was lost"));
    if (currentStep() == RestoreState && isRunning()) {
        stepTimer.stop();
        ++generation;
        while (next < toRestore.size()) {
            notRestoredList << toRestore.at(next) + QStringLiteral(" = ") +
                    original.value(toRestore.at(next));
            ++next;
        }
        conclude();
    }
}

void ProjectUploadJob::abort()
{
    // The running step ends first (an upload stops at its next block).
    if (child)
        child->cancel();
}

void ProjectUploadJob::stop()
{
    stepTimer.stop();
    dropChild();
}

QString ProjectUploadJob::failureReport() const
{
    auto u = [](const char *text) { return QString::fromUtf8(text); };
    // The English detail is the log's; the user is told how the step ended.
    const QString why = result().status == Status::LinkLost ? u("связь с устройством потеряна")
        : result().status == Status::Cancelled ? u("загрузка отменена")
                                               : u("устройство не выполнило команду");
    QString text;
    if (failed >= 0)
        text = u("Ошибка на шаге %1 «%2»: %3.")
                   .arg(failed + 1)
                   .arg(m_plan.steps.at(failed).caption, why);
    else
        text = u("Состояние устройства не прочитано, ничего не записано: %1.").arg(why);
    if (!restoredList.isEmpty())
        text += u("\nВосстановлено: ") + restoredList.join(QStringLiteral(", "));
    if (!notRestoredList.isEmpty())
        text += u("\nНе восстановлено: ") + notRestoredList.join(QStringLiteral(", "));
    return text;
}
