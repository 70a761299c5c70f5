#include "tools/cli/servicenotifier.h"

#include <systemd/sd-daemon.h>

#include <sys/stat.h>

ServiceNotifier::ServiceNotifier(QObject *parent)
    : QObject(parent)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        m_watchdog.setInterval(int(qBound<uint64_t>(1, usec / 2000, 3600 * 1000)));
    connect(&m_watchdog, &QTimer::timeout, this, [] { send("WATCHDOG=1"); });
}

void ServiceNotifier::ready(const QString &status)
{
    send("READY=1\nSTATUS=" + status.toUtf8());
    if (m_watchdog.interval() > 0) {
        send("WATCHDOG=1");
        m_watchdog.start();
    }
}

void ServiceNotifier::status(const QString &status)
{
    send("STATUS=" + status.toUtf8());
}

void ServiceNotifier::stopping()
{
    m_watchdog.stop();
    send("STOPPING=1");
}

bool ServiceNotifier::isJournal(int fd)
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const int colon = stream.indexOf(':');
    struct stat info { };
    if (colon < 0 || fstat(fd, &info) != 0)
        return false;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && device == qulonglong(info.st_dev) &&
        inode == qulonglong(info.st_ino);
}

void ServiceNotifier::send(const QByteArray &state)
{
    sd_notify(0, state.constData());
}
