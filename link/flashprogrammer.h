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
// worker's flashing signals, and every job ends in exactly one finish or error signal: also
// a job refused at once (an area that wraps around the address space) and a job cancelled
// through its record (the error then carries the description "Операция прервана").
class FlashProgrammer {
public:
    struct Sector {
        uint32_t start;
        uint32_t size;
    };

    static constexpr uint32_t pageSize = 0x100;
    static constexpr uint32_t consolePageSize = 0x400;
    static constexpr int tries = 3;

    // How long each step waits for its answer, and the pauses before a retry.
    struct Timing {
        int addressWaitMs = 1000;
        int eraseWaitMs = 5000;
        int pageWaitMs = 5000;
        int exitWaitMs = 1000;
        int eraseRetryPauseMs = 1000;
        int pageRetryPauseMs = 1500;
    };
    // The timing of jobs created from now on, for the whole process. The defaults are the
    // bootloader's; tests shorten them so that retries do not cost seconds. The bytes on the
    // wire do not change.
    static void setTiming(const Timing &timing);
    static Timing timing();

    // `deviceType` decides how the area is erased: consoles (6, 137) in 1 KB pages, every
    // other device by its sector table.
    FlashProgrammer(CdcUsbProcess *worker, ConnectionDevice *transport, int deviceType);

    void run(const FlashRecord &record);

    // Mixed table (layout other than 1) or uniform table (layout 1), 1 MB from 0x08000000.
    static QVector<Sector> sectorTable(int layout);
    // The 256 image bytes of the page at `address`; a last partial page is filled up with
    // 0xFF. Never reads beyond the image.
    static QByteArray page(const FlashRecord &record, uint32_t address);

private:
    void runJob(const FlashRecord &record);
    void erase(const FlashRecord &record);
    void eraseConsole(const FlashRecord &record);
    void write(const FlashRecord &record);
    void verify(const FlashRecord &record);
    void leave(const FlashRecord &record);

    bool eraseSector(uint32_t address);
    bool writeFlashPage(uint32_t address, const QByteArray &bytes);
    bool verifyFlashPage(uint32_t address, const QByteArray &bytes);
    bool exitBoot();
    bool setAddress(uint32_t address);
    bool pageCommand(const char *command, uint32_t address, const QByteArray &bytes);
    // Pause before a retry, then forget whatever the device said in between. After a step
    // that went unanswered the next step gets the line back in step instead (LineExchange):
    // every try of a page is then its address and its command, both answered in step.
    void pauseBeforeRetry(int ms);
    // The area of a write or verify passes the end of the 32-bit address space.
    static bool wrapsAround(const FlashRecord &record);

    CdcUsbProcess *worker;
    ConnectionDevice *transport;
    LineExchange exchange;
    int deviceType;
    Timing times;
};
