#pragma once

#include "jobs/devicejob.h"

#include <QByteArray>
#include <QString>

// Uploads one file to the device ("SET FILE_CREATE", 512-byte blocks, "SET FILE_CLOSE") and
// reports its progress in bytes. An upload that does not complete (refused, cancelled, cut
// short) is followed by "SET FILE_RESET", which leaves the device ready for the next
// transfer; the answer to that reset also tells a device that refused from a link that was
// lost, and the result says which.
class FileUploadJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the upload ended (Result::step).
    enum Step { Create = 1, Write, Close };

    // No device holds more; a larger file is refused before it is read.
    static constexpr qint64 maxFileSize = 256 * 1024 * 1024;

    enum class LocalFileError {
        None,
        CannotOpen, // missing or unreadable
        NotRegularFile, // a folder, a device node, a FIFO, a socket: never opened
        TooLarge, // larger than maxFileSize: never read
    };
    // Looks at a local file without opening it: whether it can be uploaded as far as that
    // shows (None), and otherwise why not, as readLocalFile() says it.
    static LocalFileError checkLocalFile(const QString &path, QString *error);
    // Reads a local file to upload. Anything but a regular file of at most maxFileSize is
    // refused before a byte is read (a FIFO neither blocks nor does /dev/zero fill memory);
    // `error` gets one English line naming the file.
    static LocalFileError readLocalFile(const QString &path, QByteArray *data, QString *error);

    FileUploadJob(Amodule *module, const QString &devicePath, const QByteArray &data,
                  QObject *parent = nullptr);
    ~FileUploadJob() override;

    QString devicePath() const { return path; }
    qint64 size() const { return data.size(); }

protected:
    void begin() override;
    void abort() override;
    void stop() override;
    void linkLost() override;
    QString linkLostMessage() const override;

private:
    void onBlock(const QString &filepath, int position, int filesize, int err);
    // The upload is over without completing: reset the device, then say why.
    void ended(Status status, const QString &message);

    QString path;
    QByteArray data;
    qint64 sent = 0;
    // The first failure reported by the worker before the upload ended (0: none).
    int failure = 0;
};
