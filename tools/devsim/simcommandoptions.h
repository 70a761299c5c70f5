#pragma once

#include <QCommandLineOption>

class QCommandLineParser;
class QTextStream;
class SimCommandServer;
class Simulator;

// The command-line options of norda-devsim's command side (TCP command port, pseudo-terminal
// USB ports, faults) and their start-up.
class SimCommandOptions {
public:
    SimCommandOptions();

    void addTo(QCommandLineParser &parser) const;

    // Starts the command side for every device of the simulator and prints one line per
    // endpoint ("tcp KEY:SERIAL ADDRESS:PORT", "usb KEY:SERIAL PATH VID:PID"), then "ready".
    // Returns 0, or the exit status after printing the reason to `err`.
    // Without --command-port the devices listen on port 23, or, when `freePortByDefault`
    // (the simulator also serves the status side), each on a free port, so that several
    // simulators on the same addresses never collide on the command port. With
    // `sharedListener` one wildcard listener serves the command port of every device (a
    // free port without --command-port when `freePortByDefault`).
    int start(const QCommandLineParser &parser, Simulator &simulator, SimCommandServer &server,
              QTextStream &out, QTextStream &err, bool freePortByDefault = false,
              bool sharedListener = false) const;

private:
    QCommandLineOption commandPort;
    QCommandLineOption usb;
    QCommandLineOption usbAll;
    QCommandLineOption registry;
    QCommandLineOption fault;
    QCommandLineOption flashLayout;
    QCommandLineOption requestLog;
    QCommandLineOption journal;
};
