#include "journal/eventlookupmemory.h"

#include <limits>

void EventLookupMemory::clear()
{
    m_entries.clear();
    m_deviceStored.clear();
}

quint64 EventLookupMemory::key(int deviceId, int code)
{
    // Qt hashes a 64-bit key by folding its halves together: device id and code side by
    // side would fold into code ^ (2 * device id), the same value for thousands of pairs,
    // and every lookup would walk their chain. Multiplying by an odd constant is one to
    // one, so keys stay distinct, and spreads the device id over the low half.
    return ((quint64(quint32(deviceId)) << 32) | quint32(code)) * 0x9E3779B97F4A7C15ull;
}

void EventLookupMemory::makeRoom()
{
    // What a device's stored-nothing mark stands for lives in the entries: both go.
    if (m_entries.size() >= m_capacity || m_deviceStored.size() >= m_capacity)
        clear();
}

EventLookupMemory::Entry &EventLookupMemory::entry(int deviceId, int code)
{
    makeRoom();
    return m_entries[key(deviceId, code)];
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
    const auto newest = m_entries.find(key(deviceId, code));
    if (newest == m_entries.end())
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
    for (Entry &newest : m_entries) {
        if (!newest.unseenKnown || newest.unseenOrder > order)
            continue;
        newest.unseenOrder = 0;
        newest.unseenTime = QDateTime();
    }
}

std::optional<bool> EventLookupMemory::deviceStored(int deviceId) const
{
    const auto it = m_deviceStored.constFind(deviceId);
    if (it == m_deviceStored.constEnd())
        return std::nullopt;
    return it.value();
}

void EventLookupMemory::setDeviceStored(int deviceId, bool stored)
{
    makeRoom();
    m_deviceStored.insert(deviceId, stored);
}
