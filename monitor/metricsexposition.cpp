#include "monitor/metricsexposition.h"

#include "project/devicefault.h"

namespace {

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 15);
}

void histogram(QByteArray &out, const char *name, const char *help,
               const MetricsSnapshot::Histogram &h)
{
    family(out, name, "histogram", help);
    const QByteArray base(name);
    for (int i = 0; i < h.bounds.size() && i < h.within.size(); ++i)
        out += base + "_bucket{le=\"" + number(h.bounds.at(i)) + "\"} " +
            QByteArray::number(h.within.at(i)) + '\n';
    out += base + "_bucket{le=\"+Inf\"} " + QByteArray::number(h.count) + '\n';
    out += base + "_sum " + number(h.sum) + '\n';
    out += base + "_count " + QByteArray::number(h.count) + '\n';
}

void counter(QByteArray &out, const char *name, const char *help, quint64 value)
{
    family(out, name, "counter", help);
    out += name;
    out += ' ' + QByteArray::number(value) + '\n';
}

} // namespace

namespace MetricsExposition {

const char contentType[] = "text/plain; version=0.0.4; charset=utf-8";

const char *faultKindName(int kind)
{
    switch (kind) {
    case DeviceFault::Line:
        return "line";
    case DeviceFault::Amplifier:
        return "amplifier";
    case DeviceFault::Battery:
        return "battery";
    case DeviceFault::Mains:
        return "mains";
    case DeviceFault::Tamper:
        return "tamper";
    case DeviceFault::ExtensionUnit:
        return "extension_unit";
    case DeviceFault::Console:
        return "console";
    default:
        return "other";
    }
}

QByteArray escapeLabelValue(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray render(const MetricsSnapshot &s)
{
    QByteArray out;
    out.reserve(4096 + s.devices.size() * 160);
    family(out, "norda_device_up", "gauge",
           "Whether the device answered its status requests within the lost rule (1) or not "
           "(0).");
    QVector<QByteArray> ids;
    ids.reserve(s.devices.size());
    for (const MetricsSnapshot::Device &d : s.devices) {
        ids.append("id=\"" + QByteArray::number(d.id) + "\",serial=\"" +
                   escapeLabelValue(d.serial) + '"');
        out += "norda_device_up{" + ids.last() + ",type=\"" + escapeLabelValue(d.type) +
            "\",group=\"" + escapeLabelValue(d.group) + "\"} " + (d.up ? "1\n" : "0\n");
    }
    family(out, "norda_device_faults", "gauge",
           "Current faults of a connected device by kind; kinds without a fault are left out.");
    for (int i = 0; i < s.devices.size(); ++i) {
        const MetricsSnapshot::Device &d = s.devices.at(i);
        for (int kind = 0; kind < MetricsSnapshot::faultKinds; ++kind) {
            if (d.faults[size_t(kind)] > 0)
                out += "norda_device_faults{" + ids.at(i) + ",kind=\"" + faultKindName(kind) +
                    "\"} " + QByteArray::number(d.faults[size_t(kind)]) + '\n';
        }
    }
    counter(out, "norda_answers_total", "Status documents accepted.", s.answers);
    counter(out, "norda_answer_failures_total",
            "Status requests that ended without an accepted document (error, deadline, size, "
            "unusable answer).",
            s.answerFailures);
    histogram(out, "norda_answer_duration_seconds",
              "Time from a status request to its accepted answer.", s.answerDuration);
    counter(out, "norda_journal_writes_total",
            "Records (events and status documents) written to the journal.", s.journalWrites);
    histogram(out, "norda_journal_write_duration_seconds",
              "Time a write transaction of the journal took up to its commit.",
              s.journalWriteDuration);
    if (s.statusLogBytes >= 0) {
        family(out, "norda_status_log_bytes", "gauge",
               "Space the status journal takes (the SQLite file, or the table and its indexes "
               "on the server).");
        out += "norda_status_log_bytes " + QByteArray::number(s.statusLogBytes) + '\n';
    }
    family(out, "norda_shard_held", "gauge",
           "Whether this monitor polls the shard (1) or not (0).");
    for (auto it = s.shards.cbegin(); it != s.shards.cend(); ++it)
        out += "norda_shard_held{shard=\"" + QByteArray::number(it.key()) + "\"} " +
            (it.value() ? "1\n" : "0\n");
    return out;
}

Health health(const MetricsSnapshot *snapshot, MetricsSnapshot::Clock::time_point now)
{
    if (!snapshot)
        return {503, "starting: no poll tick yet\n"};
    if (!snapshot->journalReachable)
        return {503,
                "journal unreachable: " +
                    (snapshot->journalProblem.isEmpty() ? QByteArray("no reason given")
                                                        : snapshot->journalProblem.toUtf8())
                        .replace('\n', ' ') +
                    '\n'};
    const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(now - snapshot->takenAt);
    if (age > snapshot->staleAfter)
        return {503,
                "polling stalled: no poll tick for " +
                    QByteArray::number(qint64(age.count() / 1000)) + " s\n"};
    QByteArray held;
    for (auto it = snapshot->shards.cbegin(); it != snapshot->shards.cend(); ++it) {
        if (it.value())
            held += (held.isEmpty() ? "" : " ") + QByteArray::number(it.key());
    }
    if (held.isEmpty())
        return {200, "standby: no shard held, journal reachable\n"};
    return {200, "polling: shards " + held + ", journal reachable\n"};
}

} // namespace MetricsExposition
