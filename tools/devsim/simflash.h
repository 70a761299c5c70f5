#pragma once

#include <QByteArray>

#include <cstdint>

// The emulated 1 MB program flash of a device's bootloader, from 0x08000000. Erasing sets
// a whole sector (or a 1 KB page of a console) to 0xFF; programming can only clear bits,
// so a page must be erased before it is written.
class SimFlash {
public:
    static constexpr uint32_t base = 0x08000000;
    static constexpr uint32_t size = 0x100000;
    static constexpr int pageSize = 256;
    static constexpr uint32_t consolePageSize = 0x400;

    SimFlash();

    // `layout` 1: eight 128 KB sectors; otherwise four of 16 KB, one of 64 KB and seven of
    // 128 KB. With `consolePages` any 1 KB-aligned page. False for an address that does not
    // start a sector (or page).
    bool eraseBlock(uint32_t address, int layout, bool consolePages);
    // One page of 256 bytes at a page boundary; false when a bit would have to be set.
    bool program(uint32_t address, const QByteArray &bytes);
    bool verify(uint32_t address, const QByteArray &bytes) const;
    QByteArray read(uint32_t address, int length) const;

    int erasedBlocks = 0;
    int programmedPages = 0;

private:
    void materialise();
    bool pageInRange(uint32_t address, int length) const;

    QByteArray memory; // empty until first erased or written: all 0xFF
};
