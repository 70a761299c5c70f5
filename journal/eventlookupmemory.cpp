#include "journal/eventlookupmemory.h"

#include <limits>

void EventLookupMemory::clear()
{
    m_devices.clear();
    m_keys = 0;
    ++m_generation;
}

void EventLookupMemory::makeRoom()
{
    // What a device's stored-nothing mark stands for lives in the entries: both go.
    if (m_keys >= m_capacity || m_devices.size() >= m_capacity)
        clear();
}

EventLookupMemory::Entry &EventLookupMemory::entry(int deviceId, int code)
{
    makeRoom();
    QHash<int, Entry> &codes = m_devices[deviceId].codes;
    auto found = codes.find(code);
    if (found == codes.end()) {
        found = codes.insert(code, Entry());
        ++m_keys;
    }
    return found.value();
}

void EventLookupMemory::remember(int deviceId, int code, qint64 order, const QDateTime &time,
                                 bool unseen)
{
    Entry &newest = entry(deviceId, code);
    newest.anyKnown = true;
    newest.anyOrder = order;
    newest.anyTime = time;
    if (unseen) {
        newest.unseenKnown = true;
        newest.unseenOrder = order;
        newest.unseenTime = time;
    }
}

void EventLookupMemory::renumber(int deviceId, int code, qint64 order, qint64 recordId)
{
    const auto device = m_devices.find(deviceId);
    if (device == m_devices.end())
        return;
    const auto newest = device->codes.find(code);
    if (newest == device->codes.end())
        return;
    if (newest->anyOrder == order)
        newest->anyOrder = recordId;
    if (newest->unseenOrder == order)
        newest->unseenOrder = recordId;
}

void EventLookupMemory::allSeen()
{
    seenThrough(std::numeric_limits<qint64>::max());
}

void EventLookupMemory::seenThrough(qint64 order)
{
    // The newest unacknowledged event of a code is acknowledged when it lies at or below
    // `order`, and so is every older one: none of that code is left. A newer one stays
    // the newest.
    for (DeviceMemory &device : m_devices) {
        for (Entry &newest : device.codes) {
            if (!newest.unseenKnown || newest.unseenOrder > order)
                continue;
            newest.unseenOrder = 0;
            newest.unseenTime = QDateTime();
        }
    }
}

std::optional<bool> EventLookupMemory::deviceStored(int deviceId) const
{
    const auto it = m_devices.constFind(deviceId);
    if (it == m_devices.constEnd())
        return std::nullopt;
    return it->stored;
}

void EventLookupMemory::setDeviceStored(int deviceId, bool stored)
{
    makeRoom();
    m_devices[deviceId].stored = stored;
}
