#pragma once

#include "monitor/metricssnapshot.h"

#include <QByteArray>

// The text that the metrics endpoint serves: the Prometheus text exposition format 0.0.4
// for /metrics, and the health answer for /healthz. Pure functions of a snapshot, safe on
// any thread.
namespace MetricsExposition {

extern const char contentType[];

QByteArray render(const MetricsSnapshot &snapshot);

struct Health {
    int status = 503; // 200 or 503
    QByteArray body; // one line
};
// 200 while at least one shard is polled ("polling") or none is held ("standby") and the
// journal can be written; 503 with the reason when the journal cannot be written, the
// polling thread has not taken a snapshot for too long, or there is none yet.
Health health(const MetricsSnapshot *snapshot,
              MetricsSnapshot::Clock::time_point now = MetricsSnapshot::Clock::now());

// A label value with backslash, double quote and line feed escaped.
QByteArray escapeLabelValue(const QString &value);
// The name a fault kind has in the `kind` label.
const char *faultKindName(int kind);

} // namespace MetricsExposition
