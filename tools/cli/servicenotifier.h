#pragma once

#include <QObject>
#include <QTimer>

// The monitor as a system service: tells the service manager through sd_notify that it is
// ready, that its event loop still turns (the watchdog, from a timer at half the interval
// the manager asks for: it says nothing of the journal, so an outage of the database does
// not get the monitor restarted and its buffer lost), what it is doing and that it stops.
// Outside a service (no NOTIFY_SOCKET) every call does nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    // READY=1 with a status line; starts the watchdog timer when one is asked for.
    void ready(const QString &status);
    void status(const QString &status);
    void stopping();
    int watchdogIntervalMs() const { return m_watchdog.interval(); }

    // True when `fd` writes to the journal (JOURNAL_STREAM names its device and inode):
    // lines written there may then start with "<N>", their syslog severity.
    static bool isJournal(int fd);

private:
    static void send(const QByteArray &state);

    QTimer m_watchdog;
};
