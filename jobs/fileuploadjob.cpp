#include "jobs/fileuploadjob.h"

#include "link/amodule.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString tooLargeText(const QString &path)
{
    return QStringLiteral("%1 is too large for a device (%2 bytes at most)")
        .arg(path)
        .arg(FileUploadJob::maxFileSize);
}

} // namespace

FileUploadJob::LocalFileError FileUploadJob::checkLocalFile(const QString &path, QString *error)
{
    auto refuse = [&](LocalFileError code, const QString &text) {
        if (error)
            *error = text;
        return code;
    };
    // Opening a FIFO waits for a writer, and a device node such as /dev/zero never ends:
    // only regular files are opened at all.
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(LocalFileError::CannotOpen, QStringLiteral("cannot open %1").arg(path));
    if (!info.isFile())
        return refuse(LocalFileError::NotRegularFile,
                      QStringLiteral("%1 is not a regular file").arg(path));
    if (info.size() > maxFileSize)
        return refuse(LocalFileError::TooLarge, tooLargeText(path));
    return LocalFileError::None;
}

FileUploadJob::LocalFileError FileUploadJob::readLocalFile(const QString &path, QByteArray *data,
                                                           QString *error)
{
    auto refuse = [&](LocalFileError code, const QString &text) {
        if (error)
            *error = text;
        return code;
    };
    data->clear();
    const LocalFileError looked = checkLocalFile(path, error);
    if (looked != LocalFileError::None)
        return looked;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(LocalFileError::CannotOpen, QStringLiteral("cannot open %1").arg(path));
    // The file may have been replaced since it was looked at.
    if (file.isSequential())
        return refuse(LocalFileError::NotRegularFile,
                      QStringLiteral("%1 is not a regular file").arg(path));
    if (file.size() > maxFileSize)
        return refuse(LocalFileError::TooLarge, tooLargeText(path));
    // Never more than the cap, even from a file that grows while it is read.
    const QByteArray bytes = file.read(maxFileSize + 1);
    if (bytes.size() > maxFileSize)
        return refuse(LocalFileError::TooLarge, tooLargeText(path));
    if (file.error() != QFileDevice::NoError)
        return refuse(LocalFileError::CannotOpen, QStringLiteral("cannot read %1").arg(path));
    *data = bytes;
    return LocalFileError::None;
}

FileUploadJob::FileUploadJob(Amodule *module, const QString &devicePath, const QByteArray &data,
                             QObject *parent)
    : DeviceJob(module, parent)
    , path(devicePath)
    , data(data)
{
}

FileUploadJob::~FileUploadJob()
{
    quit();
}

void FileUploadJob::begin()
{
    setStep(Create);
    if (data.size() > maxFileSize) {
        finishLater(Status::Failed, 0,
                    QStringLiteral("%1 bytes are too many for a device").arg(data.size()));
        return;
    }
    listen(facade(), &Amodule::writedFileBlock, this, &FileUploadJob::onBlock);
    const int queued = facade()->writeFile(path, data);
    if (queued != 0) {
        finishLater(Status::Failed, 0,
                    queued == Amodule::Refused ? QStringLiteral("the device is busy")
                        : queued == Amodule::AuditRefused
                        ? facade()->refusalReason()
                        : QStringLiteral("the upload to %1 was refused").arg(path));
        return;
    }
    emit progress(0, data.size());
}

void FileUploadJob::onBlock(const QString &filepath, int position, int filesize, int err)
{
    if (filepath != path || filesize != data.size())
        return;
    touch();
    sent = position;
    switch (err) {
    case 0:
        setStep(Write);
        emit progress(position, filesize);
        return;
    case -1:
    case -2:
        // The end of the upload follows (-4, or the close).
        if (failure == 0)
            failure = err;
        return;
    case 2:
        setStep(Close);
        emit progress(position, filesize);
        finish(Status::Done, position,
               QStringLiteral("uploaded %1 bytes to %2").arg(position).arg(path));
        return;
    case 1:
        ended(Status::Cancelled, QStringLiteral("upload cancelled after %1 bytes").arg(position));
        return;
    case -3:
        setStep(Close);
        ended(Status::Failed,
              QStringLiteral("the device did not close the file after %1 bytes").arg(position));
        return;
    case -5:
        setStep(Create);
        ended(Status::Failed, QStringLiteral("the device refused to create %1").arg(path));
        return;
    default:
        setStep(Write);
        ended(Status::Failed,
              failure == -2
                  ? QStringLiteral("the device refused the block after byte %1").arg(position)
                  : QStringLiteral("upload stopped after %1 bytes").arg(position));
        return;
    }
}

void FileUploadJob::ended(Status status, const QString &message)
{
    settle(QStringLiteral("SET FILE_RESET"), [this, status, message](bool alive) {
        if (alive)
            finish(status, sent, message);
        else
            linkLost();
    });
}

void FileUploadJob::abort()
{
    // The worker stops after the block in flight and reports the cancel.
    if (facade())
        facade()->abortFileWrite();
}

void FileUploadJob::stop()
{
    abort();
}

void FileUploadJob::linkLost()
{
    finish(Status::LinkLost, sent, linkLostMessage());
}

QString FileUploadJob::linkLostMessage() const
{
    return QStringLiteral("the link to the device was lost after %1 bytes").arg(sent);
}
