#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the application's event loop on SIGINT and SIGTERM, so that the simulator removes its
// virtual port registry entries before it exits.
class SimSignalQuit : public QObject {
    Q_OBJECT

public:
    explicit SimSignalQuit(QObject *parent = nullptr);
    ~SimSignalQuit() override;

private:
    static void handler(int signal);
    static int fds[2];
    QSocketNotifier *notifier = nullptr;
};
