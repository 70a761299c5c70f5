#pragma once

#include <QtGlobal>

class QSettings;

// TCP ports at which the console reaches devices: the command port of the device link and
// the port of the HTTP status document. Both are fixed on real devices (23 and 8080); the
// settings keys [network] commandport and statusport change them for devices behind port
// forwarding and for the device simulator.
class NetworkPorts {
public:
    static constexpr quint16 defaultCommandPort = 23;
    static constexpr quint16 defaultStatusPort = 8080;

    quint16 commandPort = defaultCommandPort;
    quint16 statusPort = defaultStatusPort;

    // Reads group "network", keys "commandport" and "statusport"; a missing key or a value
    // that is not a port number 1..65535 gives the default.
    static NetworkPorts fromSettings(QSettings &settings);
};
