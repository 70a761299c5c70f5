#pragma once

#include "link/lineexchange.h"

#include <QString>

#include <atomic>

class CdcUsbProcess;
class ConnectionDevice;
struct FileWriteRequest;

// A file upload or download, run by the worker from start to end on its own thread once it
// has taken the job out of its queue (requests queued meanwhile go out after it). Blocks go
// as 512 bytes of hexadecimal text; every block is reported through the worker's
// fileBlockWrited / fileBlockReaded signals.
class FileTransfer {
public:
    static constexpr int blockSize = 512;
    // Answers to a block read that decode to no bytes, in a row, before the read counts
    // as failed.
    static constexpr int maxUndecodableBlocks = 3;
    // A download larger than this is abandoned as a failed read.
    static constexpr int maxDownloadSize = 256 * 1024 * 1024;

    FileTransfer(CdcUsbProcess *worker, ConnectionDevice *transport);

    // Result codes of fileBlockWrited: 0 block accepted, 1 cancelled, 2 complete, -1 no
    // bytes for the next block, -2 block refused, -3 close refused, -4 stopped before the
    // end of the data, -5 "SET FILE_CREATE" refused (position 0; nothing was written).
    // Every upload ends with exactly one of 1, 2, -3, -4 and -5.
    void upload(const FileWriteRequest &request, std::atomic_bool &cancel);
    // Result codes of fileBlockReaded: 0 block (buffer holds it), 2 complete (buffer holds
    // the whole file), 1 cancelled, -1 a read failed, -2 the device was reset afterwards,
    // -3 "SET FILE_OPEN" refused (no buffer). Every download ends with exactly one of 1, 2,
    // -2 and -3. A read answered with a NUL byte in its block, or with more bytes than
    // asked, is a failed read.
    void download(const QString &path, std::atomic_bool &cancel);

private:
    void uploadBlocks(const FileWriteRequest &request, std::atomic_bool &cancel);
    void downloadBlocks(const QString &path, std::atomic_bool &cancel);
    void failDownload(const QString &path, int position);

    CdcUsbProcess *worker;
    LineExchange exchange;
};
