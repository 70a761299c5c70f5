#include "jobs/unitjournalreadjob.h"

#include "link/amodule.h"
#include "link/tovikstatus.h"

UnitJournalReadJob::UnitJournalReadJob(Amodule *module, QObject *parent)
    : DeviceJob(module, parent)
{
}

UnitJournalReadJob::~UnitJournalReadJob()
{
    quit();
}

void UnitJournalReadJob::begin()
{
    setStep(Status);
    const bool queued = request(QStringLiteral("GET STATUS"),
                                [this](int err, const QString &answer) { onStatus(err, answer); });
    if (!queued)
        finishLater(Status::Failed, -1, QStringLiteral("the status request was refused"));
}

void UnitJournalReadJob::abort()
{
    // The one request on its way is left to the worker; no further one is sent.
    finishLater(Status::Cancelled, qint64(list.size()),
                QStringLiteral("journal reading cancelled after %1 of %2 records")
                    .arg(list.size())
                    .arg(total));
}

void UnitJournalReadJob::fail(const QString &message, const QString &detail)
{
    list.clear();
    finish(Status::Failed, -1, message, detail);
}

void UnitJournalReadJob::failAfterError(const QString &message, const QString &answer)
{
    // A request without an answer drops the link: that is a lost link, not a bad journal.
    list.clear();
    settle(QStringLiteral("GET VERSION"), [this, message, answer](bool alive) {
        if (alive)
            fail(message, answer);
        else
            linkLost();
    });
}

void UnitJournalReadJob::onStatus(int err, const QString &answer)
{
    if (cancelRequested())
        return;
    if (err != 0) {
        failAfterError(
            QStringLiteral("the status request failed: %1").arg(Amodule::failureReason(answer)),
            answer);
        return;
    }
    const TovikStatus status = TovikStatus::parse(answer);
    if (!status.hasJournal) {
        fail(QStringLiteral("the status answer has no journal fields: %1")
                 .arg(answer.trimmed().isEmpty() ? QStringLiteral("no answer") : answer.trimmed()),
             answer);
        return;
    }
    writePosition = status.journalPosition;
    total = status.journalCount;
    size = status.journalCapacity;
    if (writePosition >= size || total > size) {
        fail(QStringLiteral("the journal fields contradict each other: position %1, %2 records, "
                            "capacity %3")
                 .arg(writePosition)
                 .arg(total)
                 .arg(size),
             answer);
        return;
    }
    if (total > maxRecords) {
        fail(QStringLiteral("the unit reports %1 records, more than %2 are not read")
                 .arg(total)
                 .arg(maxRecords),
             answer);
        return;
    }
    if (total == 0) {
        done = true;
        finish(Status::Done, 0, QStringLiteral("the journal is empty"));
        return;
    }
    first = total == size ? writePosition : 0;
    list.reserve(int(total));
    setStep(Records);
    emit progress(0, qint64(total));
    requestNext();
}

void UnitJournalReadJob::requestNext()
{
    const quint64 index = (first + quint64(list.size())) % size;
    const bool queued =
        request(QStringLiteral("GET JOURNAL 0,") + QString::number(index),
                [this, index](int err, const QString &answer) {
                    if (cancelRequested())
                        return;
                    const QString message =
                        QStringLiteral("record %1 (%2 of %3): unexpected answer: %4")
                            .arg(index)
                            .arg(list.size() + 1)
                            .arg(total)
                            .arg(answer.trimmed().isEmpty() ? QStringLiteral("no answer")
                                                            : answer.trimmed());
                    if (err != 0) {
                        failAfterError(message, answer);
                        return;
                    }
                    UnitJournalRecord record;
                    if (!UnitJournalRecord::parseAnswer(answer, index, &record)) {
                        fail(message, answer);
                        return;
                    }
                    list.append(record);
                    emit progress(list.size(), qint64(total));
                    if (quint64(list.size()) < total) {
                        requestNext();
                        return;
                    }
                    done = true;
                    finish(Status::Done, qint64(list.size()),
                           QStringLiteral("%1 journal records read").arg(list.size()));
                });
    if (!queued)
        fail(QStringLiteral("the journal request was refused"), QString());
}
