#pragma once

#include "link/lineexchange.h"

#include <QByteArray>
#include <QVector>

#include <cstdint>

class CdcUsbProcess;
class ConnectionDevice;
struct FlashRecord;

// One bootloader job (erase, write, verify or leave the bootloader), run by the worker on
// its own thread without the queue lock. Every sector and page is reported through the
// worker's flashing signals.
class FlashJob {
public:
    struct Sector {
        uint32_t start;
        uint32_t size;
    };

    static constexpr uint32_t pageSize = 0x100;
    static constexpr uint32_t consolePageSize = 0x400;
    static constexpr int addressWaitMs = 1000;
    static constexpr int eraseWaitMs = 5000;
    static constexpr int pageWaitMs = 5000;
    static constexpr int exitWaitMs = 1000;
    static constexpr int tries = 3;
    static constexpr int eraseRetryPauseMs = 1000;
    static constexpr int pageRetryPauseMs = 1500;

    // `deviceType` decides how the area is erased: consoles (6, 137) in 1 KB pages, every
    // other device by its sector table.
    FlashJob(CdcUsbProcess *worker, ConnectionDevice *transport, int deviceType);

    void run(const FlashRecord &record);

    // Mixed table (layout other than 1) or uniform table (layout 1), 1 MB from 0x08000000.
    static QVector<Sector> sectorTable(int layout);
    // The 256 image bytes of the page at `address`; a last partial page is filled up with
    // 0xFF. Never reads beyond the image.
    static QByteArray page(const FlashRecord &record, uint32_t address);

private:
    void erase(const FlashRecord &record);
    void eraseConsole(const FlashRecord &record);
    void write(const FlashRecord &record);
    void verify(const FlashRecord &record);
    void leave();

    bool eraseSector(uint32_t address);
    bool writeFlashPage(uint32_t address, const QByteArray &bytes);
    bool verifyFlashPage(uint32_t address, const QByteArray &bytes);
    bool exitBoot();
    bool setAddress(uint32_t address);
    bool pageCommand(const char *command, uint32_t address, const QByteArray &bytes);
    // Pause before a retry, then forget whatever the device said in between.
    void pauseBeforeRetry(int ms);

    CdcUsbProcess *worker;
    ConnectionDevice *transport;
    LineExchange exchange;
    int deviceType;
};
