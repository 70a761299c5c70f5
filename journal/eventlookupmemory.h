#pragma once

#include <QDateTime>
#include <QHash>
#include <QtGlobal>

#include <optional>

// What the event journal remembers of its lookups, so that the repetition rules ask the
// file once per device and code: the newest event of each code (of any state and
// unacknowledged), as found or recorded since, and which devices the file held nothing
// of when first asked. Bounded: when full it forgets everything and is asked again.
class EventLookupMemory {
public:
    struct Entry {
        bool anyKnown = false;
        qint64 anyOrder = 0; // 0: none
        QDateTime anyTime;
        bool unseenKnown = false;
        qint64 unseenOrder = 0;
        QDateTime unseenTime;
    };

    // Keys remembered at most (a device's code each) before everything is forgotten: room
    // for 20 codes of each of 50,000 devices, some 80 MB at the most.
    static constexpr int defaultCapacity = 1000000;
    void setCapacity(int keys) { m_capacity = keys; }

    void clear();
    // The entry of a device's code; a new one knows nothing yet.
    Entry &entry(int deviceId, int code);
    // A record just queued is the newest of its code.
    void remember(int deviceId, int code, qint64 order, const QDateTime &time, bool unseen);
    // The record known by its queue order was written as `recordId`.
    void renumber(int deviceId, int code, qint64 order, qint64 recordId);
    // Every event was acknowledged.
    void allSeen();
    // Every event up to the record number (or queue order) `order` was acknowledged.
    void seenThrough(qint64 order);
    // Whether the file held any event of the device when first asked; empty when not asked.
    std::optional<bool> deviceStored(int deviceId) const;
    void setDeviceStored(int deviceId, bool stored);

    // The key of a device's code in the memory's hash.
    static quint64 key(int deviceId, int code);

private:
    void makeRoom();

    int m_capacity = defaultCapacity;

    QHash<quint64, Entry> m_entries;
    QHash<int, bool> m_deviceStored;
};
