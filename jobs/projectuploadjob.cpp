#include "jobs/projectuploadjob.h"

#include "jobs/filedownloadjob.h"
#include "jobs/fileuploadjob.h"
#include "journal/auditrecord.h"
#include "link/amodule.h"

#include <QJsonArray>

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

QString u(const char *text)
{
    return QString::fromUtf8(text);
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

QString ProjectUploadJob::auditAction() const
{
    return QLatin1String(AuditRecord::projectUpload);
}

QJsonObject ProjectUploadJob::auditDetails() const
{
    QJsonObject details {{QStringLiteral("plan"), QJsonArray::fromStringList(m_plan.lines())}};
    if (failed >= 0)
        details.insert(QStringLiteral("failed_step"), failed);
    return details;
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
        if (step.kind == UploadStep::Descriptor) {
            if (!toRead.contains(step.name))
                toRead << step.name;
        } else if (!files.contains(step.name)) {
            files << step.name;
        }
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

bool ProjectUploadJob::linked() const
{
    return facade() && facade()->isConnected();
}

const UploadStep *ProjectUploadJob::descriptorStep(const QString &name) const
{
    for (const UploadStep &step : m_plan.steps) {
        if (step.kind == UploadStep::Descriptor && step.name == name)
            return &step;
    }
    return nullptr;
}

QString ProjectUploadJob::slotName(int address) const
{
    return QStringLiteral("desc_Rs485PultEnable[%1]").arg(address - 1);
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

void ProjectUploadJob::startChild(DeviceJob *job)
{
    ++generation;
    stepTimer.start(stepTimeoutMs);
    child = job;
    connect(job, &DeviceJob::finished, this, &ProjectUploadJob::childFinished);
    connect(job, &DeviceJob::progress, this, [this] { touch(); });
    job->start();
}

void ProjectUploadJob::readNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("cancelled before anything was written"));
        return;
    }
    if (next < toRead.size()) {
        const QString name = toRead.at(next);
        if (!exchange(QStringLiteral("GET DESCRIPTOR ") + name))
            fail(QStringLiteral("%1 could not be asked for").arg(name));
        return;
    }
    // A transfer the unit still holds from an upload that was cut off makes it refuse the
    // next one: the transfer is reset before the first file is touched.
    if (!files.isEmpty() && !resetSent) {
        resetSent = true;
        if (!exchange(QStringLiteral("SET FILE_RESET")))
            fail(QStringLiteral("the file transfer could not be reset"));
        return;
    }
    next = 0;
    downloadNext();
}

void ProjectUploadJob::downloadNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("cancelled before anything was written"));
        return;
    }
    if (next >= files.size()) {
        setStep(Run);
        next = 0;
        runNext();
        return;
    }
    startChild(new FileDownloadJob(facade(), files.at(next), this));
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
        if (!changed.contains(step.name))
            changed << step.name;
        written.insert(step.name, step.value);
        if (!exchange(QStringLiteral("SET DESCRIPTOR ") + step.name + QLatin1Char(' ') +
                      step.value))
            fail(QStringLiteral("the write could not be sent"));
        return;
    case UploadStep::DeleteFile:
        if (!touchedFiles.contains(step.name))
            touchedFiles << step.name;
        completedFiles.remove(step.name);
        if (!exchange(QStringLiteral("SET FILE_DELETE ") + step.name))
            fail(QStringLiteral("the deletion could not be sent"));
        return;
    case UploadStep::File:
        if (!touchedFiles.contains(step.name))
            touchedFiles << step.name;
        completedFiles.remove(step.name);
        startChild(new FileUploadJob(facade(), step.name, step.data, this));
        return;
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
        if (next >= toRead.size()) {
            // The reset: a unit with no transfer to end may refuse it; only silence stops.
            if (!ok && isWorkerFailure(answer)) {
                fail(QStringLiteral("resetting the file transfer answered %1").arg(shown(answer)));
                return;
            }
            readNext();
            return;
        }
        const QString name = toRead.at(next);
        const UploadStep *step = descriptorStep(name);
        QString value;
        if (!ok || !step || !DeviceConfigTable::writeText(step->form, answer, &value)) {
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
            if (step.kind == UploadStep::DeleteFile)
                completedFiles.insert(step.name);
            emit stepDone(current, QString());
            runNext();
        } else if (step.kind == UploadStep::DeleteFile && !isWorkerFailure(answer)) {
            // The unit refuses to delete a file it does not have: nothing stale is left.
            completedFiles.insert(step.name);
            emit stepDone(current, u("файла на устройстве не было"));
            runNext();
        } else {
            fail(QStringLiteral("the device answered %1").arg(shown(answer)));
        }
        return;
    }
    case RestoreState:
        if (next < filesToRestore.size()) {
            // Deleting a file the unit did not have: a refusal says it is not there.
            fileRestored(ok || !isWorkerFailure(answer));
            return;
        } else {
            const int at = next - filesToRestore.size();
            const QString name = toRestore.at(at);
            const bool off = name.startsWith(QLatin1String("desc_Rs485PultEnable[")) && [&] {
                for (int address : leftOffList) {
                    if (slotName(address) == name)
                        return true;
                }
                return false;
            }();
            const QString line =
                name + QStringLiteral(" = ") + (off ? QStringLiteral("0") : original.value(name));
            if (!ok)
                notRestoredList << line;
            else if (!off)
                restoredList << line;
            ++next;
            restoreNext();
        }
        return;
    case Verify: {
        const QString name = changed.at(next);
        const UploadStep *step = descriptorStep(name);
        QString value;
        const bool read = ok && step && DeviceConfigTable::writeText(step->form, answer, &value);
        holdings << name + QStringLiteral(" = ") + (read ? answer.trimmed() : QStringLiteral("?"));
        bool off = false;
        for (int address : leftOffList)
            off = off || slotName(address) == name;
        const QString expectedValue = off ? QStringLiteral("0") : original.value(name);
        const QString line = name + QStringLiteral(" = ") + expectedValue;
        // A value the unit does not hold after all was not put back.
        if (read && value != expectedValue && !notRestoredList.contains(line)) {
            restoredList.removeAll(line);
            notRestoredList << line;
        }
        ++next;
        verifyNext();
        return;
    }
    default:
        return;
    }
}

void ProjectUploadJob::childFinished(const DeviceJob::Result &result)
{
    if (!child || sender() != child.data())
        return;
    stepTimer.stop();
    DeviceJob *ended = child.data();
    child = nullptr;
    ended->deleteLater();
    switch (currentStep()) {
    case ReadState: {
        const QString path = files.at(next);
        Original before;
        if (result.ok()) {
            before.present = true;
            before.data = static_cast<FileDownloadJob *>(ended)->content();
        } else if (result.status != Status::Failed || result.step != FileDownloadJob::Open) {
            fail(QStringLiteral("reading %1 failed: %2").arg(path, result.message));
            return;
        }
        originalFiles.insert(path, before);
        ++next;
        downloadNext();
        return;
    }
    case Run:
        if (result.ok()) {
            completedFiles.insert(m_plan.steps.at(current).name);
            emit stepDone(current, QString());
            runNext();
            return;
        }
        fail(result.message);
        return;
    case RestoreState:
        fileRestored(result.ok());
        return;
    default:
        return;
    }
}

void ProjectUploadJob::stepTimedOut()
{
    const QString why = QStringLiteral("no answer within %1 s").arg(stepTimeoutMs / 1000.0);
    if (currentStep() == RestoreState || currentStep() == Verify) {
        // What is still to be put back waits for the link: the worker drops it after its own
        // deadline, and linkLost() notes the rest.
        return;
    }
    fail(why);
}

void ProjectUploadJob::dropChild()
{
    if (child) {
        DeviceJob *job = child.data();
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
        const Status status = cancelRequested() ? Status::Cancelled
            : linked()                          ? Status::Failed
                                                : Status::LinkLost;
        finish(status, -1,
               QStringLiteral("the unit's state could not be read before the upload, nothing "
                              "was written: %1")
                   .arg(why));
        return;
    }
    if (currentStep() != Run)
        return;
    failed = current;
    detail = why;

    // The files first: a console is switched off when its key file cannot be put back.
    filesToRestore.clear();
    for (const QString &path : qAsConst(touchedFiles)) {
        const Original before = originalFiles.value(path);
        if (completedFiles.contains(path)) {
            bool same = false;
            for (const UploadStep &step : qAsConst(m_plan.steps)) {
                if (step.name != path)
                    continue;
                same = step.kind == UploadStep::File ? before.present && before.data == step.data
                                                     : !before.present;
            }
            if (same)
                continue;
        }
        filesToRestore << path;
    }
    toRestore.clear();
    const QString failedName = m_plan.steps.at(current).name;
    for (const QString &name : qAsConst(changed)) {
        if (written.value(name) != original.value(name) || name == failedName)
            toRestore << name;
    }
    setStep(RestoreState);
    next = 0;
    restoreFileNext();
}

void ProjectUploadJob::restoreFileNext()
{
    if (next >= filesToRestore.size()) {
        // The slots of the consoles whose key file is not theirs go off.
        for (int address : qAsConst(leftOffList)) {
            if (!toRestore.contains(slotName(address)))
                toRestore << slotName(address);
        }
        restoreNext();
        return;
    }
    const QString path = filesToRestore.at(next);
    const Original before = originalFiles.value(path);
    if (!linked()) {
        fileRestored(false);
        return;
    }
    if (before.present) {
        startChild(new FileUploadJob(facade(), path, before.data, this));
        return;
    }
    if (!exchange(QStringLiteral("SET FILE_DELETE ") + path))
        fileRestored(false);
}

void ProjectUploadJob::fileRestored(bool ok)
{
    const QString path = filesToRestore.at(next);
    if (ok) {
        restoredList << path;
    } else {
        notRestoredList << path;
        for (const UploadStep &step : qAsConst(m_plan.steps)) {
            if (step.kind != UploadStep::Descriptor && step.name == path && step.address > 0 &&
                !leftOffList.contains(step.address))
                leftOffList << step.address;
        }
    }
    ++next;
    restoreFileNext();
}

void ProjectUploadJob::restoreNext()
{
    while (next - filesToRestore.size() < toRestore.size()) {
        const QString name = toRestore.at(next - filesToRestore.size());
        bool off = false;
        for (int address : qAsConst(leftOffList))
            off = off || slotName(address) == name;
        const QString value = off ? QStringLiteral("0") : original.value(name);
        if (linked() &&
            exchange(QStringLiteral("SET DESCRIPTOR ") + name + QLatin1Char(' ') + value))
            return;
        notRestoredList << name + QStringLiteral(" = ") + value;
        ++next;
    }
    // A console whose slot could not be switched off is not reported as off.
    QList<int> off;
    for (int address : qAsConst(leftOffList)) {
        if (!notRestoredList.contains(slotName(address) + QStringLiteral(" = 0")))
            off << address;
    }
    leftOffList = off;
    setStep(Verify);
    next = 0;
    holdings.clear();
    verifyNext();
}

void ProjectUploadJob::verifyNext()
{
    if (next >= changed.size() || !linked()) {
        conclude();
        return;
    }
    if (!exchange(QStringLiteral("GET DESCRIPTOR ") + changed.at(next)))
        conclude();
}

void ProjectUploadJob::conclude()
{
    stepTimer.stop();
    ++generation;
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
    if (!leftOffList.isEmpty()) {
        QStringList addresses;
        for (int address : qAsConst(leftOffList))
            addresses << QString::number(address);
        message += QStringLiteral("; console(s) at address %1 left switched off: their key file "
                                  "could not be put back")
                       .arg(addresses.join(QStringLiteral(", ")));
    }
    const Status status = cancelRequested() ? Status::Cancelled
        : linked()                          ? Status::Failed
                                            : Status::LinkLost;
    finish(status, failed, message, detail);
}

void ProjectUploadJob::linkLost()
{
    switch (currentStep()) {
    case ReadState:
    case Run:
        // What is still to be put back cannot be: the restoring notes it.
        fail(QStringLiteral("the link to the device was lost"));
        return;
    case RestoreState:
        stepTimer.stop();
        ++generation;
        dropChild();
        if (next < filesToRestore.size())
            fileRestored(false);
        else
            restoreNext();
        return;
    case Verify:
        conclude();
        return;
    default:
        DeviceJob::linkLost();
        return;
    }
}

void ProjectUploadJob::abort()
{
    // The running step ends first (an upload stops at its next block); the restoring is
    // never cut short.
    if (child && currentStep() == Run)
        child->cancel();
}

void ProjectUploadJob::stop()
{
    stepTimer.stop();
    dropChild();
}

QString ProjectUploadJob::failureReport() const
{
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
    for (int address : leftOffList)
        text += u("\nПульт по адресу %1 оставлен выключенным: его файл назначений не удалось "
                  "восстановить.")
                    .arg(address);
    return text;
}
