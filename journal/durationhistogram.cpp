#include "journal/durationhistogram.h"

constexpr std::array<double, 12> DurationHistogram::bounds;

void DurationHistogram::add(qint64 nanoseconds)
{
    nanoseconds = qMax<qint64>(0, nanoseconds);
    const double seconds = nanoseconds / 1e9;
    for (size_t i = 0; i < bounds.size(); ++i) {
        if (seconds <= bounds[i]) {
            ++m_buckets[i];
            break;
        }
    }
    ++m_count;
    m_sumNs += nanoseconds;
}

quint64 DurationHistogram::countWithin(size_t i) const
{
    quint64 within = 0;
    for (size_t k = 0; k <= i && k < m_buckets.size(); ++k)
        within += m_buckets[k];
    return within;
}
