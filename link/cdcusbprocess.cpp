#include "link/cdcusbprocess.h"

#include "link/cdctcpdevice.h"
#include "link/cdcusbdevice.h"
#include "link/filetransfer.h"
#include "link/filewriterequest.h"
#include "link/flashprogrammer.h"
#include "link/linklog.h"
#include "link/portdiscovery.h"
#include "link/serialportenumerator.h"
#include "link/virtualportregistry.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QTimer>

namespace {

const QString crlf = QStringLiteral("\r\n");

// The line without its terminator ("\r\n", or a bare "\n").
QString withoutTerminator(const QString &line)
{
    if (line.endsWith(crlf))
        return line.left(line.size() - 2);
    if (line.endsWith(QLatin1Char('\n')))
        return line.left(line.size() - 1);
    return line;
}

} // namespace

CdcUsbProcess::CdcUsbProcess(const ProjectDevice *device, quint16 commandPort, QObject *parent)
    : QObject(parent)
    , deviceType(device ? device->type : 0)
    , useSerial(!device || device->portFound || !device->ip_enabled)
    // "192.168.010.5" is 192.168.10.5, not the octal reading of the network libraries.
    , host(device ? Ipv4Address::networkHost(device->ip_addr) : QString())
    , commandPort(commandPort)
    , usbVendorId(device ? device->usbVendorId : ProjectDevice::defaultUsbVendorId)
    , usbProductId(device ? device->usbProductId : ProjectDevice::defaultUsbProductId)
    , discoveredPort(device && device->portFound ? device->portInfo : PortDescription())
{
    qCDebug(lcLink) << "CdcUsbProcess";
}

CdcUsbProcess::~CdcUsbProcess()
{
    delete transport;
    transport = nullptr;
    for (std::size_t i = 0; i < fileWriteQueue.size(); ++i)
        qCDebug(lcLink) << "delete FileWriteRequest";
    fileWriteQueue.clear();
    fileReadQueue.clear();
    qCDebug(lcLink) << "~CdcUsbProcess";
}

int CdcUsbProcess::requestKind(const QString &line)
{
    const QString first = line.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0);
    if (first == QLatin1String("GET"))
        return 1;
    if (first == QLatin1String("SET"))
        return 0;
    return -1;
}

QList<ProjectDevice *> CdcUsbProcess::findoutPorts()
{
    return PortDiscovery::findoutPorts();
}

// ---- Queues (any thread) ----

bool CdcUsbProcess::addRequest(const QString &line)
{
    if (!linkOpen)
        return false;
    QString why;
    if (!ConnectionDevice::isWireText(line, &why)) {
        qCDebug(lcLink).noquote() << "Request refused:" << why;
        return false;
    }
    {
        QMutexLocker lock(&queueMutex);
        requestQueue.append(line + crlf);
    }
    scheduleWake();
    return true;
}

bool CdcUsbProcess::addFlashRecord(const FlashRecord &record)
{
    if (!linkOpen)
        return false;
    {
        QMutexLocker lock(&queueMutex);
        flashQueue.append(record);
    }
    scheduleWake();
    return true;
}

int CdcUsbProcess::addFileWrite(const QString &path, const QByteArray &data)
{
    if (!linkOpen)
        return 0;
    if (!ConnectionDevice::isWireText(path))
        return -1;
    auto request = std::make_unique<FileWriteRequest>();
    request->path = path;
    request->data = std::make_unique<QByteArray>(data);
    {
        QMutexLocker lock(&queueMutex);
        // A cancel belongs to the upload that runs; the upload clears it when it ends.
        if (runningTransfer != Transfer::Upload)
            abortFileWrite = false;
        fileWriteQueue.push_back(std::move(request));
    }
    scheduleWake();
    return 0;
}

int CdcUsbProcess::addFileRead(const QString &path)
{
    if (!linkOpen)
        return 0;
    if (!ConnectionDevice::isWireText(path))
        return -1;
    {
        QMutexLocker lock(&queueMutex);
        if (runningTransfer != Transfer::Download)
            abortFileRead = false;
        fileReadQueue.append(path);
    }
    scheduleWake();
    return 0;
}

bool CdcUsbProcess::isFileTransferPending()
{
    QMutexLocker lock(&queueMutex);
    return runningTransfer != Transfer::None || !fileReadQueue.isEmpty() || !fileWriteQueue.empty();
}

int CdcUsbProcess::pendingDescriptorReads()
{
    QMutexLocker lock(&queueMutex);
    int count = 0;
    for (const QString &line : qAsConst(requestQueue))
        count += line.contains(QLatin1String("GET DESCRIPTOR")) ? 1 : 0;
    return count;
}

void CdcUsbProcess::setTimings(int requestTimeout, int linkCheck)
{
    requestDeadlineMs = qMax(1, requestTimeout);
    linkCheckIntervalMs = qMax(1, linkCheck);
}

void CdcUsbProcess::abandonDownloads()
{
    QMutexLocker lock(&readReportMutex);
    downloadsAbandoned = true;
    abortFileRead = true;
}

void CdcUsbProcess::reportBlockReaded(const QString &filepath, int position, int filesize,
                                      const QByteArray *bytes, int err)
{
    QMutexLocker lock(&readReportMutex);
    if (downloadsAbandoned)
        return;
    emit fileBlockReaded(filepath, position, filesize, bytes ? new QByteArray(*bytes) : nullptr,
                         err);
}

void CdcUsbProcess::scheduleWake()
{
    if (!wakePending.exchange(true))
        QMetaObject::invokeMethod(this, &CdcUsbProcess::takeNextJob, Qt::QueuedConnection);
}

// ---- The loop ----

void CdcUsbProcess::deviceWorker()
{
    if (running)
        return;
    running = true;
    linkTimer = new QTimer(this);
    linkTimer->setInterval(linkCheckIntervalMs);
    connect(linkTimer, &QTimer::timeout, this, &CdcUsbProcess::checkLink);
    requestTimer = new QTimer(this);
    requestTimer->setSingleShot(true);
    // A coarse timer may fire up to 5 % early; a request gets its full deadline.
    requestTimer->setTimerType(Qt::PreciseTimer);
    connect(requestTimer, &QTimer::timeout, this, &CdcUsbProcess::onRequestTimeout);
    searchTimer = new QTimer(this);
    searchTimer->setSingleShot(true);
    connect(searchTimer, &QTimer::timeout, this, &CdcUsbProcess::tryConnect);
    qCDebug(lcLink) << "Start deviceWorker.";

    if (useSerial) {
        usb = new CdcUsbDevice(this);
        transport = usb;
        // New device nodes and new registry entries end a search at once.
        portWatcher = new QFileSystemWatcher(this);
        QStringList folders {QStringLiteral("/dev")};
        const QString registry = VirtualPortRegistry::directory();
        if (!registry.isEmpty() && QDir(registry).exists())
            folders.append(registry);
        portWatcher->addPaths(folders);
        connect(portWatcher, &QFileSystemWatcher::directoryChanged, this, [this] {
            if (transport && !transport->isOpen())
                scheduleSearch(searchSettleMs);
        });
    } else {
        tcp = new CdcTcpDevice(this);
        transport = tcp;
    }
    connect(transport, &ConnectionDevice::received, this, &CdcUsbProcess::onReceived);
    connect(transport, &ConnectionDevice::portFailed, this, &CdcUsbProcess::onPortFailed,
            Qt::QueuedConnection);

    if (stopRequested) {
        endLoop();
        return;
    }
    tryConnect();
}

void CdcUsbProcess::stop()
{
    qCDebug(lcLink) << "CdcUsbProcess::stop()";
    stopRequested = true;
    if (running)
        endLoop();
}

void CdcUsbProcess::endLoop()
{
    if (loopEnded)
        return;
    announceAnswers();
    loopEnded = true;
    linkTimer->stop();
    requestTimer->stop();
    searchTimer->stop();
    delete portWatcher;
    portWatcher = nullptr;
    if (transport && transport->isOpen())
        transport->disconnect();
    linkOpen = false;
    emit finished();
    stopRequested = false;
}

void CdcUsbProcess::scheduleSearch(int ms)
{
    if (loopEnded)
        return;
    if (!searchTimer->isActive() || searchTimer->remainingTime() > ms)
        searchTimer->start(ms);
}

void CdcUsbProcess::tryConnect()
{
    if (loopEnded || stopRequested || transport->isOpen())
        return;
    if (!reopenNotBefore.hasExpired()) {
        scheduleSearch(int(qMax<qint64>(1, reopenNotBefore.remainingTime())));
        return;
    }
    if (useSerial) {
        PortDescription port;
        // The port on which discovery found this very device comes first; otherwise the
        // first port with the device's USB ids.
        bool found = !discoveredPort.isNull() && SerialPortEnumerator::isPresent(discoveredPort);
        if (found)
            port = discoveredPort;
        else
            found = usb->findPort(port, usbVendorId, usbProductId);
        if (!found) {
            scheduleSearch(searchIntervalMs);
            return;
        }
        if (!usb->open(port)) {
            clearCurrent();
            emit disconnected();
            scheduleSearch(searchIntervalMs);
            return;
        }
    } else {
        if (host.isEmpty()) {
            // No address, or one that would name another host: nothing is ever opened.
            scheduleSearch(searchIntervalMs);
            return;
        }
        tcp->open(host, commandPort);
    }
    linkOpened();
}

void CdcUsbProcess::linkOpened()
{
    // Bytes of the previous link (the start of an answer cut off when the device went
    // away) would otherwise be glued to the first answer on this one.
    transport->clearReceived();
    linkOpen = true;
    {
        QMutexLocker lock(&queueMutex);
        requestQueue.clear();
        flashQueue.clear();
    }
    emit connected();
    clearCurrent();
    linkTimer->start(linkCheckIntervalMs);
    scheduleWake();
}

void CdcUsbProcess::checkLink()
{
    if (loopEnded || busy || !transport->isOpen())
        return;
    if (linkTimer->interval() != linkCheckIntervalMs)
        linkTimer->setInterval(linkCheckIntervalMs);
    const bool alive =
        useSerial ? SerialPortEnumerator::isPresent(usb->openedPort()) : tcp->isConnected();
    if (!alive)
        linkLost();
    else
        emit linkChecked();
}

void CdcUsbProcess::onPortFailed()
{
    if (loopEnded || busy || !transport->isOpen())
        return;
    linkLost();
}

void CdcUsbProcess::closeLink()
{
    linkOpen = false;
    linkTimer->stop();
    requestTimer->stop();
    transport->close();
}

void CdcUsbProcess::linkLost()
{
    // Answers that came before the link went are announced before its loss.
    announceAnswers();
    closeLink();
    clearCurrent();
    emit disconnected();
    QTimer::singleShot(0, this, &CdcUsbProcess::tryConnect);
}

void CdcUsbProcess::clearCurrent()
{
    currentRequest.clear();
    answerLines.clear();
    answerBytes = 0;
    answerHasNul = false;
    if (requestTimer)
        requestTimer->stop();
}

QString CdcUsbProcess::currentRequestText() const
{
    return withoutTerminator(currentRequest);
}

// ---- Exchanges ----

void CdcUsbProcess::takeNextJob()
{
    wakePending = false;
    runNextJob();
}

void CdcUsbProcess::continueAfterAnswer()
{
    if (unannounced.isEmpty())
        return;
    // The next request goes out at once, without a round through the event loop (which
    // costs each turnaround of a list read a wake-up); a transfer or a flashing record
    // queued behind no request is started from the loop as before.
    bool requestQueued = false;
    {
        QMutexLocker lock(&queueMutex);
        requestQueued = !requestQueue.isEmpty();
    }
    if (requestQueued)
        runNextJob();
    else
        scheduleWake();
    announceAnswers();
}

void CdcUsbProcess::runNextJob()
{
    if (!running || loopEnded || busy || !transport->isOpen() || !currentRequest.isEmpty())
        return;
    if (linkTimer->isActive() && linkTimer->remainingTime() == 0) {
        checkLink();
        if (!transport->isOpen())
            return;
    }

    queueMutex.lock();
    if (!requestQueue.isEmpty()) {
        const QString line = requestQueue.takeFirst();
        queueMutex.unlock();
        // The device answers only what it was asked: lines that came before the request
        // (a late answer to a step that timed out, a surplus line after an exchange that
        // ended) are no part of its answer.
        transport->pollRead();
        transport->clearReceived();
        currentRequest = line;
        currentKind = requestKind(currentRequestText());
        answerLines.clear();
        answerBytes = 0;
        answerHasNul = false;
        transport->write(currentRequest);
        requestTimer->start(requestDeadlineMs);
        return;
    }
    // A file transfer, like a flashing record, is taken out of its queue and runs without the
    // lock: requests queued meanwhile wait in their queue and go out after it.
    if (!fileWriteQueue.empty()) {
        std::unique_ptr<FileWriteRequest> request = std::move(fileWriteQueue.front());
        fileWriteQueue.pop_front();
        runningTransfer = Transfer::Upload;
        queueMutex.unlock();
        busy = true;
        FileTransfer(this, transport).upload(*request, abortFileWrite);
        busy = false;
        qCDebug(lcLink) << "delete FileWriteRequest";
        request.reset();
        // A cancel that came after the last block has nothing left to cancel.
        abortFileWrite = false;
        runningTransfer = Transfer::None;
        scheduleWake();
        return;
    }
    if (!fileReadQueue.isEmpty()) {
        const QString path = fileReadQueue.takeFirst();
        runningTransfer = Transfer::Download;
        queueMutex.unlock();
        busy = true;
        FileTransfer(this, transport).download(path, abortFileRead);
        busy = false;
        {
            // Abandoned downloads stay cancelled: nobody takes their blocks.
            QMutexLocker lock(&readReportMutex);
            if (!downloadsAbandoned)
                abortFileRead = false;
        }
        runningTransfer = Transfer::None;
        scheduleWake();
        return;
    }
    if (!flashQueue.isEmpty()) {
        const FlashRecord record = flashQueue.takeFirst();
        queueMutex.unlock();
        busy = true;
        FlashProgrammer(this, transport, deviceType).run(record);
        busy = false;
        scheduleWake();
        return;
    }
    queueMutex.unlock();
}

void CdcUsbProcess::onReceived()
{
    if (busy || loopEnded)
        return;
    if (currentRequest.isEmpty()) {
        // Nobody asked: whatever arrives stays for the next request, unless it overflowed.
        if (transport->hasOverflowed())
            transport->clearReceived();
        return;
    }
    processAnswerLines();
    continueAfterAnswer();
}

void CdcUsbProcess::onRequestTimeout()
{
    if (busy || loopEnded || currentRequest.isEmpty())
        return;
    transport->pollRead();
    processAnswerLines();
    if (!currentRequest.isEmpty())
        failExchange(QStringLiteral("ERROR TIMEOUT"));
    continueAfterAnswer();
}

void CdcUsbProcess::processAnswerLines()
{
    const bool fileList = currentRequest.contains(QLatin1String("GET FILE_LIST"));
    while (!currentRequest.isEmpty()) {
        if (transport->hasOverflowed()) {
            failExchange(QStringLiteral("ERROR OVERFLOW"));
            return;
        }
        QByteArray raw = transport->readLine();
        if (raw.isEmpty())
            return;
        // Text ends at a NUL byte: the line would be cut short there (a value, a file block
        // read as its end, two listing entries run together). The answer is framed as usual
        // and fails; the NUL is shown.
        if (raw.contains('\0')) {
            answerHasNul = true;
            raw.replace('\0', QByteArrayLiteral("\\0"));
        }
        const QString line = ConnectionDevice::decode(raw);
        answerLines.append(line);
        answerBytes += raw.size();

        if (currentKind == 0) {
            if (line == QLatin1String("OK\r\n"))
                report(QStringLiteral("OK"), 0);
            else
                report(withoutTerminator(line), -1);
        } else if (currentKind == 1 && !fileList) {
            if (answerLines.size() == 1) {
                if (line == QLatin1String("ERROR\r\n"))
                    report(line, -1);
            } else if (answerLines.at(1) == QLatin1String("OK\r\n")) {
                report(withoutTerminator(answerLines.at(0)), 0);
            } else {
                transport->clearReceived();
                report(withoutTerminator(answerLines.at(0)), -1);
            }
        } else if (currentKind == 1) {
            const int n = answerLines.size();
            if (n >= 2 && answerLines.at(n - 1) == QLatin1String("OK\r\n") &&
                answerLines.at(n - 2) == crlf) {
                report(answerLines.mid(0, n - 2).join(QString()), 0);
            } else if (answerLines.at(n - 1) == QLatin1String("ERROR\r\n")) {
                report(answerLines.at(n - 1), -1);
            }
        }
        // Answers to other verbs are collected and never interpreted; they end by the
        // request deadline. Each line is held as a string of its own and costs memory
        // beyond its bytes (a flood of bare line feeds): the lines are bounded as well.
        if (!currentRequest.isEmpty() &&
            (answerBytes > maxAnswerBytes || answerLines.size() > maxAnswerLines)) {
            failExchange(QStringLiteral("ERROR OVERFLOW"));
            return;
        }
    }
}

void CdcUsbProcess::report(const QString &answer, int err)
{
    // `answer` may be one of the answer lines that clearCurrent() drops.
    const QString text = answer;
    const QString request = currentRequestText();
    if (answerHasNul)
        err = -1;
    clearCurrent();
    if (err == 0 && request == failingRequest) {
        failingRequest.clear();
        failingCount = 0;
    }
    // Announced by continueAfterAnswer(), after the next request has left: the announcement
    // wakes the receiver's thread, which need not delay the line.
    unannounced.append({request, text, err});
}

void CdcUsbProcess::announceAnswers()
{
    while (!unannounced.isEmpty()) {
        const Answer answer = unannounced.takeFirst();
        emit receivedAnswer(answer.request, answer.text, answer.err);
    }
}

void CdcUsbProcess::failExchange(const QString &answer)
{
    announceAnswers();
    const QString request = currentRequestText();
    clearCurrent();
    emit receivedAnswer(request, answer, -1);
    transport->clearReceived();
    closeLink();
    emit disconnected();
    const int pause = backoffAfterFailure(request);
    reopenNotBefore.setRemainingTime(pause);
    if (pause > 0)
        qCDebug(lcLink).noquote() << "Reopening the link in" << pause << "ms:" << request
                                  << "failed" << failingCount << "times";
    QTimer::singleShot(pause, this, &CdcUsbProcess::tryConnect);
}

int CdcUsbProcess::backoffAfterFailure(const QString &request)
{
    if (request != failingRequest) {
        failingRequest = request;
        failingCount = 0;
    }
    ++failingCount;
    // The first failure may be a glitch: the link is reopened at once.
    if (failingCount < 2)
        return 0;
    qint64 pause = reconnectBackoffMs;
    for (int i = 2; i < failingCount && pause < maxReconnectBackoffMs; ++i)
        pause *= 2;
    return int(qMin<qint64>(pause, maxReconnectBackoffMs));
}
