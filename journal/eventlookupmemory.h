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

    // Codes remembered at most (of all devices) before everything is forgotten: room for
    // some thirty codes of each of 30,000 devices, about 80 MB at the most.
    static constexpr int defaultCapacity = 1000000;
    void setCapacity(int keys) { m_capacity = keys; }

    void clear();
    // Counts the times everything was forgotten.
    quint64 generation() const { return m_generation; }
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

private:
    // A device's codes together: a status document asks some thirty codes of one device,
    // which then cost one look into the table of devices and a few into a small table.
    struct DeviceMemory {
        std::optional<bool> stored;
        QHash<int, Entry> codes;
    };

    void makeRoom();

    int m_capacity = defaultCapacity;
    quint64 m_generation = 0;
    int m_keys = 0;
    QHash<int, DeviceMemory> m_devices;
};
