#include "link/flashprogrammer.h"

#include "link/cdcusbprocess.h"
#include "link/connectiondevice.h"
#include "link/flashrecord.h"
#include "link/linklog.h"
#include "project/devicetype.h"

#include <QMutex>
#include <QThread>

namespace {

QMutex timingMutex;
FlashProgrammer::Timing processTiming;

QString cancelledText()
{
    return CdcUsbProcess::tr("Операция прервана");
}

// How long the line must stay quiet before a step that follows a missed wait: longer than
// the longest wait, so that the late answer to any step has come and gone by then.
int quietTime(const FlashProgrammer::Timing &timing)
{
    const int longest = qMax(qMax(timing.addressWaitMs, timing.eraseWaitMs),
                             qMax(timing.pageWaitMs, timing.exitWaitMs));
    return longest + qMax(longest / 10, 20);
}

} // namespace

FlashProgrammer::FlashProgrammer(CdcUsbProcess *worker, ConnectionDevice *transport, int deviceType)
    : worker(worker)
    , transport(transport)
    , exchange(transport, quietTime(timing()))
    , deviceType(deviceType)
    , times(timing())
{
}

void FlashProgrammer::setTiming(const Timing &timing)
{
    QMutexLocker lock(&timingMutex);
    processTiming = timing;
}

FlashProgrammer::Timing FlashProgrammer::timing()
{
    QMutexLocker lock(&timingMutex);
    return processTiming;
}

bool FlashProgrammer::wrapsAround(const FlashRecord &record)
{
    return uint64_t(record.address) + record.size > (uint64_t(1) << 32);
}

QVector<FlashProgrammer::Sector> FlashProgrammer::sectorTable(int layout)
{
    QVector<Sector> table;
    if (layout == 1) {
        for (uint32_t i = 0; i < 8; ++i)
            table.append({0x08000000u + i * 0x20000u, 0x20000u});
        return table;
    }
    for (uint32_t i = 0; i < 4; ++i)
        table.append({0x08000000u + i * 0x4000u, 0x4000u});
    table.append({0x08010000u, 0x10000u});
    for (uint32_t i = 1; i < 8; ++i)
        table.append({0x08000000u + i * 0x20000u, 0x20000u});
    return table;
}

QByteArray FlashProgrammer::page(const FlashRecord &record, uint32_t address)
{
    const uint64_t offset = uint64_t(address) - record.address;
    QByteArray bytes;
    if (address >= record.address && offset < uint64_t(record.data.size()))
        bytes = record.data.mid(int(offset), int(pageSize));
    if (bytes.size() < int(pageSize))
        bytes.append(QByteArray(int(pageSize) - bytes.size(), char(0xFF)));
    return bytes;
}

void FlashProgrammer::run(const FlashRecord &record)
{
    exchange.setStopFlag(record.cancel);
    runJob(record);
    // A step that went unanswered may still be answered: whoever uses the line next (the
    // next job, a request of the worker) must not take that answer for its own.
    exchange.resynchronise();
}

void FlashProgrammer::runJob(const FlashRecord &record)
{
    switch (record.kind) {
    case FlashRecord::Erase:
        if (deviceType == DeviceType::BexarTovik2 || deviceType == DeviceType::BexarBoot)
            eraseConsole(record);
        else
            erase(record);
        break;
    case FlashRecord::Write:
        write(record);
        break;
    case FlashRecord::Verify:
        verify(record);
        break;
    case FlashRecord::ExitBoot:
        leave(record);
        break;
    default:
        qCDebug(lcLink) << "Unknown flash record" << record.kind;
        break;
    }
}

void FlashProgrammer::eraseConsole(const FlashRecord &record)
{
    if (wrapsAround(record)) {
        emit worker->errorEraseSector(
            record.address,
            CdcUsbProcess::tr("Область прошивки выходит за пределы адресного пространства"));
        return;
    }
    const uint64_t end = uint64_t(record.address) + record.size;
    for (uint64_t p = record.address; p < end; p += consolePageSize) {
        const uint32_t address = uint32_t(p);
        if (record.cancelled()) {
            emit worker->errorEraseSector(address, cancelledText());
            return;
        }
        emit worker->startEraseSector(address);
        if (!eraseSector(address)) {
            exchange.sendRaw("\r\n\r\n");
            pauseBeforeRetry(0);
            // A page refused twice is not erased: the job ends with the error, as for a
            // sector, rather than leave the damage for the write to run into.
            if (!eraseSector(address)) {
                emit worker->errorEraseSector(address,
                                              CdcUsbProcess::tr("Ошибка команды стирания"));
                return;
            }
        }
        emit worker->successEraseSector(address);
    }
    emit worker->finishErase(record.address, record.size);
}

void FlashProgrammer::erase(const FlashRecord &record)
{
    const QVector<Sector> table = sectorTable(record.layout);
    uint64_t erased = 0;
    for (const Sector &sector : table) {
        if (erased >= record.size)
            break;
        if (sector.start < record.address)
            continue;
        if (record.cancelled()) {
            emit worker->errorEraseSector(sector.start, cancelledText());
            return;
        }
        emit worker->startEraseSector(sector.start);
        bool ok = false;
        for (int attempt = 0; attempt < tries && !ok; ++attempt) {
            if (attempt > 0)
                pauseBeforeRetry(times.eraseRetryPauseMs);
            ok = eraseSector(sector.start);
        }
        if (!ok) {
            emit worker->errorEraseSector(sector.start,
                                          CdcUsbProcess::tr("Ошибка команды стирания"));
            return;
        }
        emit worker->successEraseSector(sector.start);
        erased += sector.size;
    }
    emit worker->finishErase(record.address, record.size);
}

void FlashProgrammer::write(const FlashRecord &record)
{
    auto writePage = [&](uint32_t address) {
        if (record.cancelled()) {
            emit worker->errorWriteFlashPage(address, cancelledText());
            return false;
        }
        emit worker->startWriteFlashPage(address);
        const QByteArray bytes = page(record, address);
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (attempt > 0) {
                exchange.sendRaw("\r\n\r\n");
                pauseBeforeRetry(times.pageRetryPauseMs);
            }
            if (writeFlashPage(address, bytes)) {
                emit worker->successWriteFlashPage(address);
                return true;
            }
        }
        emit worker->errorWriteFlashPage(address, CdcUsbProcess::tr("Ошибка команды записи"));
        return false;
    };

    // Pages are addressed in 32 bits: an area beyond the end of the address space would be
    // written from address 0 on instead of where the image belongs.
    if (wrapsAround(record)) {
        emit worker->errorWriteFlashPage(
            record.address,
            CdcUsbProcess::tr("Область прошивки выходит за пределы адресного пространства"));
        return;
    }
    if (record.size > 0) {
        // The first page goes last: until it is written the bootloader does not start an
        // incomplete image.
        const uint64_t end = uint64_t(record.address) + record.size;
        for (uint64_t p = uint64_t(record.address) + pageSize; p < end; p += pageSize) {
            if (!writePage(uint32_t(p)))
                return;
        }
        if (!writePage(record.address))
            return;
    }
    emit worker->finishWrite(record.address, record.size);
}

void FlashProgrammer::verify(const FlashRecord &record)
{
    if (wrapsAround(record)) {
        emit worker->errorVerifyFlashPage(
            record.address,
            CdcUsbProcess::tr("Область прошивки выходит за пределы адресного пространства"));
        return;
    }
    const uint64_t end = uint64_t(record.address) + record.size;
    for (uint64_t p = record.address; p < end; p += pageSize) {
        const uint32_t address = uint32_t(p);
        if (record.cancelled()) {
            emit worker->errorVerifyFlashPage(address, cancelledText());
            return;
        }
        emit worker->startVerifyFlashPage(address);
        const QByteArray bytes = page(record, address);
        bool ok = false;
        for (int attempt = 0; attempt < tries && !ok; ++attempt) {
            if (attempt > 0) {
                exchange.sendRaw("\r\n\r\n");
                pauseBeforeRetry(times.pageRetryPauseMs);
            }
            ok = verifyFlashPage(address, bytes);
        }
        if (!ok) {
            emit worker->errorVerifyFlashPage(address, CdcUsbProcess::tr("Ошибка верификации"));
            return;
        }
        emit worker->successVerifyFlashPage(address);
    }
    emit worker->finishVerify(record.address, record.size);
}

void FlashProgrammer::leave(const FlashRecord &record)
{
    if (record.cancelled()) {
        emit worker->errorExitBootloder(cancelledText());
        return;
    }
    emit worker->startExitBootloder();
    if (exitBoot())
        emit worker->successExitBootloder();
    else
        emit worker->errorExitBootloder(CdcUsbProcess::tr("Ошибка команды выхода из загрузчика"));
}

bool FlashProgrammer::setAddress(uint32_t address)
{
    return exchange.sendExpectOk(QStringLiteral("SET ADDR 0x") + QString::number(address, 16),
                                 times.addressWaitMs);
}

bool FlashProgrammer::eraseSector(uint32_t address)
{
    return setAddress(address) &&
        exchange.sendExpectOk(QStringLiteral("SET ERASEBLOCK"), times.eraseWaitMs);
}

bool FlashProgrammer::pageCommand(const char *command, uint32_t address, const QByteArray &bytes)
{
    if (!setAddress(address) ||
        !exchange.sendLine(QLatin1String(command) + QLatin1Char(' ') +
                           QString::fromLatin1(bytes.toHex())))
        return false;
    const QByteArray answer = exchange.waitAnswerLine(times.pageWaitMs);
    if (answer == "OK\r\n")
        return true;
    qCDebug(lcLink).noquote() << command << "0x" + QString::number(address, 16) << "answered"
                              << ConnectionDevice::decode(answer).trimmed();
    return false;
}

bool FlashProgrammer::writeFlashPage(uint32_t address, const QByteArray &bytes)
{
    return pageCommand("SET WRITEFLASH", address, bytes);
}

bool FlashProgrammer::verifyFlashPage(uint32_t address, const QByteArray &bytes)
{
    return pageCommand("SET VERIFYFLASH", address, bytes);
}

bool FlashProgrammer::exitBoot()
{
    return exchange.sendExpectOk(QStringLiteral("SET EXITBOOT"), times.exitWaitMs);
}

void FlashProgrammer::pauseBeforeRetry(int ms)
{
    // After a missed wait the next step first waits for the line to fall quiet, which is
    // longer than any pause, and drops what arrives meanwhile.
    if (exchange.isOutOfStep())
        return;
    if (ms > 0)
        QThread::msleep(ulong(ms));
    transport->discardInput();
}
