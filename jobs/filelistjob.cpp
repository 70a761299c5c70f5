#include "jobs/filelistjob.h"

#include "link/amodule.h"

FileListJob::FileListJob(Amodule *module, const QString &folder, QObject *parent)
    : DeviceJob(module, parent)
    , dir(folder)
{
}

FileListJob::~FileListJob()
{
    quit();
}

void FileListJob::begin()
{
    setStep(List);
    const bool queued =
        request(QStringLiteral("GET FILE_LIST ") + dir, [this](int err, const QString &answer) {
            if (err != 0) {
                const QString said = Amodule::failureReason(answer);
                finish(Status::Failed, -1, QStringLiteral("listing %1 failed: %2").arg(dir, said),
                       answer);
                return;
            }
            list = FileListing::parse(dir, answer);
            finish(Status::Done, -1, QStringLiteral("%1 entries in %2").arg(list.size()).arg(dir));
        });
    if (!queued)
        finishLater(Status::Failed, -1, QStringLiteral("listing %1 was refused").arg(dir));
}

void FileListJob::abort()
{
    // One request: nothing is left to stop. Its answer is not waited for.
    finishLater(Status::Cancelled, -1, QStringLiteral("listing %1 cancelled").arg(dir));
}
