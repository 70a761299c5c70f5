#pragma once

#include <QtGlobal>

#include <array>

// Counts durations into fixed buckets, from a millisecond to five seconds, and keeps their
// sum: what a metrics scraper reads as a histogram. A value type; copying it is cheap.
class DurationHistogram {
public:
    // Upper bounds of the buckets in seconds; a duration above the last one counts only in
    // count() and sum().
    static constexpr std::array<double, 12> bounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   5};

    void add(qint64 nanoseconds);
    // Durations at most bounds[i] seconds long.
    quint64 countWithin(size_t i) const;
    quint64 count() const { return m_count; }
    double sumSeconds() const { return m_sumNs / 1e9; }

private:
    std::array<quint64, bounds.size()> m_buckets = {};
    quint64 m_count = 0;
    qint64 m_sumNs = 0;
};
