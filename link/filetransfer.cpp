#include "link/filetransfer.h"

#include "link/cdcusbprocess.h"
#include "link/filewriterequest.h"

FileTransfer::FileTransfer(CdcUsbProcess *worker, ConnectionDevice *transport)
    : worker(worker)
    , exchange(transport)
{
}

void FileTransfer::upload(const FileWriteRequest &request, std::atomic_bool &cancel)
{
    uploadBlocks(request, cancel);
    // A step that went unanswered may still be answered: the next user of the line must
    // not take that answer for its own.
    exchange.resynchronise();
}

void FileTransfer::download(const QString &path, std::atomic_bool &cancel)
{
    downloadBlocks(path, cancel);
    exchange.resynchronise();
}

void FileTransfer::uploadBlocks(const FileWriteRequest &request, std::atomic_bool &cancel)
{
    const QString &path = request.path;
    static const QByteArray empty;
    const QByteArray &data = request.data ? *request.data : empty;
    const int filesize = data.size();
    // Reported, so that whoever waits for the upload learns that it is over.
    if (!exchange.sendExpectOk(QStringLiteral("SET FILE_CREATE ") + path)) {
        emit worker->fileBlockWrited(path, 0, filesize, -5);
        return;
    }

    int position = 0;
    bool refused = false;
    while (position < filesize) {
        const QByteArray block = data.mid(position, blockSize);
        if (block.isEmpty()) {
            emit worker->fileBlockWrited(path, position, filesize, -1);
            break;
        }
        if (!exchange.sendExpectOk(QStringLiteral("SET FILE_WRITE ") +
                                   QString::fromLatin1(block.toHex().toUpper()))) {
            emit worker->fileBlockWrited(path, position, filesize, -2);
            refused = true;
            break;
        }
        position += block.size();
        emit worker->fileBlockWrited(path, position, filesize, 0);
        if (cancel)
            break;
    }

    if (cancel) {
        cancel = false;
        emit worker->fileBlockWrited(path, position, filesize, 1);
    } else if (refused || position < filesize) {
        // A refused block leaves the file short, even when it was the last one: the file
        // is not closed as if it were complete.
        emit worker->fileBlockWrited(path, position, filesize, -4);
    } else {
        const bool closed = exchange.sendExpectOk(QStringLiteral("SET FILE_CLOSE"));
        emit worker->fileBlockWrited(path, position, filesize, closed ? 2 : -3);
    }
}

void FileTransfer::downloadBlocks(const QString &path, std::atomic_bool &cancel)
{
    if (!exchange.sendExpectOk(QStringLiteral("SET FILE_OPEN ") + path)) {
        worker->reportBlockReaded(path, 0, 0, nullptr, -3);
        return;
    }

    int position = 0;
    int undecodable = 0;
    QByteArray whole;
    for (;;) {
        if (cancel) {
            cancel = false;
            exchange.sendExpectOk(QStringLiteral("SET FILE_CLOSE"));
            worker->reportBlockReaded(path, position, 0, nullptr, 1);
            return;
        }
        bool ok = false;
        const QString value = exchange.sendGetValue(
            QStringLiteral("GET FILE_READ ") + QString::number(blockSize), &ok);
        if (!ok) {
            failDownload(path, position);
            return;
        }
        if (value.isEmpty()) {
            exchange.sendExpectOk(QStringLiteral("SET FILE_CLOSE"));
            worker->reportBlockReaded(path, position, 0, &whole, 2);
            return;
        }
        const QByteArray bytes = QByteArray::fromHex(value.toLatin1());
        if (bytes.isEmpty()) {
            // A device that keeps answering with text that is not hexadecimal would keep
            // the job reading forever.
            if (++undecodable >= maxUndecodableBlocks) {
                failDownload(path, position);
                return;
            }
            continue;
        }
        undecodable = 0;
        // More than asked for is no block of this file: the device and the console no
        // longer agree on where the file is read.
        if (bytes.size() > blockSize || whole.size() > maxDownloadSize - bytes.size()) {
            failDownload(path, position);
            return;
        }
        position += bytes.size();
        whole.append(bytes);
        worker->reportBlockReaded(path, position, 0, &bytes, 0);
    }
}

void FileTransfer::failDownload(const QString &path, int position)
{
    worker->reportBlockReaded(path, position, 0, nullptr, -1);
    exchange.sendExpectOk(QStringLiteral("SET FILE_RESET"));
    worker->reportBlockReaded(path, position, 0, nullptr, -2);
}
