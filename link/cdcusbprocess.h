#pragma once

#include "link/flashrecord.h"
#include "project/portdescription.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

class CdcTcpDevice;
class CdcUsbDevice;
class ConnectionDevice;
class ProjectDevice;
class QFileSystemWatcher;
class QTimer;
struct FileWriteRequest;

// The command exchange worker of one device window. It lives on a thread of its own, finds
// and opens the device (its USB serial port, or TCP to its command port), keeps the link
// under watch, sends queued requests one at a time, frames the answers and reports each
// exchange through receivedAnswer; it also runs the file transfers and flashing records that
// other threads queue for it.
//
// The worker is driven by events: it sleeps until a line arrives, a job is queued, the
// request deadline or the link check falls due, or (while searching for its USB port) the
// port folders change or the search interval passes.
class CdcUsbProcess : public QObject {
    Q_OBJECT

public:
    static constexpr int requestTimeoutMs = 5000;
    static constexpr int linkCheckMs = 1000;
    // While the USB port is absent the port list is walked at this interval, and shortly
    // after a change in /dev or in the virtual port registry.
    static constexpr int searchIntervalMs = 3000;
    static constexpr int searchSettleMs = 50;
    // An answer (a long file list) is never collected beyond this many bytes or lines;
    // one that would be fails like a request without an answer ("ERROR OVERFLOW").
    static constexpr int maxAnswerBytes = 4 * 1024 * 1024;
    static constexpr int maxAnswerLines = 65536;
    // A request that fails the link again after the link was reopened for its failure
    // (a device that keeps answering it with something unusable) reopens the link only
    // after a pause: this long after its second failure, twice as long after each further
    // one, never longer than the cap. A good answer to it ends the pauses.
    static constexpr int reconnectBackoffMs = 1000;
    static constexpr int maxReconnectBackoffMs = 30000;

    // Takes what it needs from `device` now (type, USB ids and port, address); the device
    // is not read again. `commandPort` is the TCP port of devices reached over Ethernet.
    CdcUsbProcess(const ProjectDevice *device, quint16 commandPort, QObject *parent = nullptr);
    ~CdcUsbProcess() override;

    // Called from any thread; none of them waits for the device. The queue lock is held
    // only while a list is changed or counted, never while a job runs: what is queued
    // during a file transfer goes out after it, in order.
    //
    // False (nothing queued) when the link is not open, or when `line` is no single
    // request line (see ConnectionDevice::isWireText).
    bool addRequest(const QString &line);
    bool addFlashRecord(const FlashRecord &record);
    // 0 queued, or 0 without queuing when the link is not open; -1 for a path that is not
    // wire text.
    int addFileWrite(const QString &path, const QByteArray &data);
    int addFileRead(const QString &path);
    // True while an upload or download is queued or runs.
    bool isFileTransferPending();
    int pendingDescriptorReads();
    // The request deadline and the link check interval; the defaults are the real ones.
    // Tests shorten them. Takes effect from the next request and link check on.
    void setTimings(int requestTimeout, int linkCheck);
    void cancelFileWrite() { abortFileWrite = true; }
    void cancelFileRead() { abortFileRead = true; }
    // The receiver of downloads is going away (any thread): a running download ends after
    // its block in flight and no download report is emitted any more. When this returns,
    // every buffer handed out before has been queued to its receivers.
    void abandonDownloads();
    // Emits fileBlockReaded with a new copy of `bytes` (no buffer when null), unless the
    // downloads were abandoned. Used by the download job on the worker's thread.
    void reportBlockReaded(const QString &filepath, int position, int filesize,
                           const QByteArray *bytes, int err);
    bool isLinkOpen() const { return linkOpen; }
    // The device type that decides how flash is erased (consoles erase 1 KB pages).
    void setDeviceType(int type) { deviceType = type; }
    int currentDeviceType() const { return deviceType; }

    static int requestKind(const QString &line);
    // Port discovery: one new project device for every serial port that answers as a device.
    // Runs on the caller's thread.
    static QList<ProjectDevice *> findoutPorts();

public slots:
    void deviceWorker();
    void stop();

signals:
    void finished();
    void connected();
    void disconnected();
    // The periodic link check found the link alive (the facade asks a device that has not
    // told its type again).
    void linkChecked();
    void receivedAnswer(QString request, QString answer, int err);
    void fileBlockWrited(QString filepath, int position, int filesize, int err);
    void fileBlockReaded(QString filepath, int position, int filesize, QByteArray *buf, int err);
    void startEraseSector(uint32_t addr);
    void successEraseSector(uint32_t addr);
    void errorEraseSector(uint32_t addr, QString description);
    void finishErase(uint32_t addr, uint32_t size);
    void startWriteFlashPage(uint32_t addr);
    void successWriteFlashPage(uint32_t addr);
    void errorWriteFlashPage(uint32_t addr, QString description);
    void finishWrite(uint32_t addr, uint32_t size);
    void startVerifyFlashPage(uint32_t addr);
    void successVerifyFlashPage(uint32_t addr);
    void errorVerifyFlashPage(uint32_t addr, QString description);
    void finishVerify(uint32_t addr, uint32_t size);
    void startExitBootloder();
    void errorExitBootloder(QString description);
    void successExitBootloder();

private:
    void tryConnect();
    void linkOpened();
    void checkLink();
    void linkLost();
    void closeLink();
    void onReceived();
    void onPortFailed();
    void onRequestTimeout();
    void processAnswerLines();
    void report(const QString &answer, int err);
    void failExchange(const QString &answer);
    void clearCurrent();
    void takeNextJob();
    void runNextJob();
    // After processAnswerLines(): the job after an answered request, then the answers'
    // announcements.
    void continueAfterAnswer();
    void announceAnswers();
    void scheduleWake();
    void scheduleSearch(int ms);
    // The pause before the link is reopened after `request` failed it; counts the failure.
    int backoffAfterFailure(const QString &request);
    void endLoop();
    QString currentRequestText() const;

    // What the worker knows of its device.
    std::atomic_int deviceType;
    bool useSerial;
    QString host;
    quint16 commandPort;
    uint16_t usbVendorId;
    uint16_t usbProductId;
    PortDescription discoveredPort;

    ConnectionDevice *transport = nullptr;
    CdcUsbDevice *usb = nullptr;
    CdcTcpDevice *tcp = nullptr;

    QStringList requestQueue;
    QMutex queueMutex;
    QList<FlashRecord> flashQueue;
    std::atomic_bool stopRequested {false};
    std::atomic_bool abortFileWrite {false};
    std::atomic_bool abortFileRead {false};
    std::deque<std::unique_ptr<FileWriteRequest>> fileWriteQueue;
    QStringList fileReadQueue;
    // The file job running now (taken from its queue), if any.
    enum class Transfer { None, Upload, Download };
    std::atomic<Transfer> runningTransfer {Transfer::None};
    std::atomic_int requestDeadlineMs {requestTimeoutMs};
    std::atomic_int linkCheckIntervalMs {linkCheckMs};
    // A download buffer is created and queued under this lock, so that none is created
    // for a receiver that is already gone.
    QMutex readReportMutex;
    bool downloadsAbandoned = false;

    // Loop state, touched only on the worker's thread (the two atomics excepted).
    std::atomic_bool linkOpen {false};
    std::atomic_bool wakePending {false};
    bool running = false;
    bool loopEnded = false;
    bool busy = false;
    // Exchanges ended but not yet announced through receivedAnswer (see report()).
    struct Answer {
        QString request;
        QString text;
        int err;
    };
    QList<Answer> unannounced;
    QString currentRequest;
    int currentKind = -1;
    QStringList answerLines;
    int answerBytes = 0;
    // A line of the answer held a NUL byte: the exchange fails.
    bool answerHasNul = false;
    // The request whose failures closed the link last, and how many times in a row.
    QString failingRequest;
    int failingCount = 0;
    // The link is not reopened before this (nothing else, a port search included, may
    // cut the pause short).
    QDeadlineTimer reopenNotBefore {0};
    QTimer *linkTimer = nullptr;
    QTimer *requestTimer = nullptr;
    QTimer *searchTimer = nullptr;
    QFileSystemWatcher *portWatcher = nullptr;
};

// Download buffers travel between threads as pointers (their receiver owns them).
Q_DECLARE_METATYPE(QByteArray *)
