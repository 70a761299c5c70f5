#include "tools/devsim/simflash.h"

namespace {

struct Sector {
    uint32_t start;
    uint32_t size;
};

bool findSector(uint32_t address, int layout, Sector *found)
{
    uint32_t start = SimFlash::base;
    int index = 0;
    while (start < SimFlash::base + SimFlash::size) {
        uint32_t length = 0x20000;
        if (layout != 1)
            length = index < 4 ? 0x4000 : (index == 4 ? 0x10000 : 0x20000);
        if (start == address) {
            *found = {start, length};
            return true;
        }
        start += length;
        ++index;
    }
    return false;
}

} // namespace

SimFlash::SimFlash() = default;

void SimFlash::materialise()
{
    // A thousand simulated devices must not cost a megabyte each before any of them is
    // flashed: the memory exists from the first erase or write on.
    if (memory.isEmpty())
        memory = QByteArray(int(size), char(0xFF));
}

bool SimFlash::pageInRange(uint32_t address, int length) const
{
    return address >= base && uint64_t(address) + uint64_t(length) <= uint64_t(base) + size;
}

bool SimFlash::eraseBlock(uint32_t address, int layout, bool consolePages)
{
    Sector sector {0, 0};
    if (consolePages) {
        if ((address - base) % consolePageSize != 0 || !pageInRange(address, consolePageSize))
            return false;
        sector = {address, consolePageSize};
    } else if (!findSector(address, layout, &sector)) {
        return false;
    }
    materialise();
    memory.replace(int(sector.start - base), int(sector.size),
                   QByteArray(int(sector.size), char(0xFF)));
    ++erasedBlocks;
    return true;
}

bool SimFlash::program(uint32_t address, const QByteArray &bytes)
{
    if (bytes.size() != pageSize || (address - base) % pageSize != 0 ||
        !pageInRange(address, pageSize))
        return false;
    materialise();
    const int offset = int(address - base);
    for (int i = 0; i < pageSize; ++i) {
        const uchar now = uchar(memory.at(offset + i));
        const uchar wanted = uchar(bytes.at(i));
        if ((now & wanted) != wanted)
            return false;
    }
    memory.replace(offset, pageSize, bytes);
    ++programmedPages;
    return true;
}

bool SimFlash::verify(uint32_t address, const QByteArray &bytes) const
{
    if (bytes.size() != pageSize || !pageInRange(address, pageSize))
        return false;
    return read(address, pageSize) == bytes;
}

QByteArray SimFlash::read(uint32_t address, int length) const
{
    if (length < 0 || !pageInRange(address, length))
        return QByteArray();
    if (memory.isEmpty())
        return QByteArray(length, char(0xFF));
    return memory.mid(int(address - base), length);
}
