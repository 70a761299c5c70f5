#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal delivered by the event loop: the
// handler only writes a byte to a pipe, and the loop reads it, so nothing unsafe runs
// inside the signal handler. The console and norda-cli monitor end on it as on a normal
// quit, so that the journal is written and closed. One instance per process.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void interrupted(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
