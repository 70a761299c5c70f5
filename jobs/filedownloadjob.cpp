#include "jobs/filedownloadjob.h"

#include "link/amodule.h"

#include <memory>

FileDownloadJob::FileDownloadJob(Amodule *module, const QString &devicePath, QObject *parent)
    : DeviceJob(module, parent)
    , path(devicePath)
{
}

FileDownloadJob::~FileDownloadJob()
{
    quit();
}

void FileDownloadJob::begin()
{
    setStep(Open);
    listen(facade(), &Amodule::readedFileBlock, this, &FileDownloadJob::onBlock);
    const int queued = facade()->readFile(path);
    if (queued != 0) {
        finishLater(Status::Failed, 0,
                    queued == -1 ? QStringLiteral("the device is busy")
                                 : QStringLiteral("the download of %1 was refused").arg(path));
        return;
    }
    emit progress(0, expected);
}

void FileDownloadJob::onBlock(const QString &filepath, int position, int, QByteArray *buf, int err)
{
    if (filepath != path)
        return;
    touch();
    received = position;
    switch (err) {
    case 0:
        setStep(Read);
        emit progress(position, expected);
        return;
    case -1:
        // The worker resets the device and reports -2 next.
        setStep(Read);
        return;
    case 2:
        setStep(Read);
        // The listing said how long the file is: a download of another length is not the
        // file (blocks lost or added on the way).
        if (expected >= 0 && position != expected) {
            finish(Status::Failed, position,
                   QStringLiteral("%1 bytes of %2 came from the device, but its folder lists "
                                  "%3 bytes")
                       .arg(position)
                       .arg(path)
                       .arg(expected));
            return;
        }
        if (buf)
            bytes = *buf;
        emit progress(position, expected < 0 ? position : expected);
        finish(Status::Done, position,
               QStringLiteral("downloaded %1 bytes from %2").arg(position).arg(path));
        return;
    case 1:
        finish(Status::Cancelled, position,
               QStringLiteral("download cancelled after %1 bytes").arg(position));
        return;
    case -3:
        setStep(Open);
        ended(Status::Failed, QStringLiteral("the device refused to open %1").arg(path));
        return;
    default:
        setStep(Read);
        ended(Status::Failed,
              QStringLiteral("reading %1 from the device failed after %2 bytes")
                  .arg(path)
                  .arg(position));
        return;
    }
}

void FileDownloadJob::ended(Status status, const QString &message)
{
    settle(QStringLiteral("SET FILE_RESET"), [this, status, message](bool alive) {
        if (alive)
            finish(status, received, message);
        else
            linkLost();
    });
}

void FileDownloadJob::abort()
{
    // The worker closes the file after the block in flight and reports the cancel.
    if (facade())
        facade()->abortFileRead();
}

void FileDownloadJob::stop()
{
    Amodule *module = facade();
    if (!module)
        return;
    // The blocks still on their way reach nobody; the facade frees them.
    module->abortFileRead();
}

void FileDownloadJob::linkLost()
{
    finish(Status::LinkLost, received, linkLostMessage());
}

QString FileDownloadJob::linkLostMessage() const
{
    return QStringLiteral("the link to the device was lost after %1 bytes of %2")
        .arg(received)
        .arg(path);
}
