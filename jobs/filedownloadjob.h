#pragma once

#include "jobs/devicejob.h"

#include <QByteArray>
#include <QString>

// Downloads one file from the device ("SET FILE_OPEN", 512-byte blocks until an empty one,
// "SET FILE_CLOSE") and reports its progress in bytes; content() holds the file once the
// job is done. A download that fails is reset by the worker; the job then asks the device
// once more ("SET FILE_RESET") to tell a device that failed from a link that was lost.
//
// The job copies what the facade hands out with readedFileBlock for its path while it runs;
// another receiver of the same reports (a second download of the same file) gets them too.
class FileDownloadJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the download ended (Result::step).
    enum Step { Open = 1, Read };

    FileDownloadJob(Amodule *module, const QString &devicePath, QObject *parent = nullptr);
    ~FileDownloadJob() override;

    QString devicePath() const { return path; }
    // The total that progress() reports (-1, the default: unknown). The device does not say
    // how long a file is; a caller that knows it from the folder listing can tell the job,
    // and a download of another length then fails.
    void setExpectedSize(qint64 size) { expected = size; }
    // The whole file, once the job is done.
    QByteArray content() const { return bytes; }

protected:
    void begin() override;
    void abort() override;
    void stop() override;
    void linkLost() override;
    QString linkLostMessage() const override;

private:
    void onBlock(const QString &filepath, int position, int filesize, QByteArray *buf, int err);
    void ended(Status status, const QString &message);

    QString path;
    qint64 expected = -1;
    qint64 received = 0;
    QByteArray bytes;
};
