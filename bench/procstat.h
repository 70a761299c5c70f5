#pragma once

// CPU time and resident memory of a process, read from /proc.

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

namespace {

struct Sample {
    double cpuSeconds = 0;
    qint64 rssKiB = 0;
};

inline Sample sample(qint64 pid)
{
    Sample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // utime and stime are fields 14 and 15 of the whole line.
        const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
        s.cpuSeconds = ticks / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return s;
}

} // namespace
