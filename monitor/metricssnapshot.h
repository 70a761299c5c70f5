#pragma once

#include <QMap>
#include <QString>
#include <QVector>

#include <array>
#include <chrono>
#include <memory>

// What the metrics endpoint shows, as values: taken on the polling thread at each tick and
// handed to the server's threads whole. A snapshot is never changed once handed over.
struct MetricsSnapshot {
    using Pointer = std::shared_ptr<const MetricsSnapshot>;
    using Clock = std::chrono::steady_clock;

    // The fault kinds of a device (DeviceFault::Kind 0..6).
    static constexpr int faultKinds = 7;

    struct Device {
        int id = -1; // the project's object id
        QString serial; // empty when the project has none
        QString type; // the type key
        QString group; // the chain of groups, "" at the top
        bool up = false;
        std::array<int, faultKinds> faults = {}; // current faults by kind (while up)
    };

    struct Histogram {
        QVector<double> bounds; // upper bounds in seconds
        QVector<quint64> within; // observations at most bounds[i], cumulative
        quint64 count = 0;
        double sum = 0; // seconds
    };

    QVector<Device> devices; // the polled devices, in project order
    quint64 answers = 0;
    quint64 answerFailures = 0;
    Histogram answerDuration;
    quint64 journalWrites = 0; // records written
    Histogram journalWriteDuration; // one observation per write transaction
    qint64 statusLogBytes = -1; // -1: not known
    QMap<int, bool> shards; // shard number: held
    bool journalReachable = true;
    QString journalProblem; // why not
    Clock::time_point takenAt = Clock::now();
    // The polling thread counts as stalled when no snapshot came for this long.
    std::chrono::milliseconds staleAfter {10000};
};
