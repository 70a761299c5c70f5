#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class SimDevice;
class Simulator;

// One listening socket on the wildcard IPv4 address for all simulated devices of a port,
// instead of one per device address: ten thousand devices need ten thousand connections,
// not as many listening sockets besides. A connection belongs to the device whose address
// it arrived on (its local address). The wildcard also takes connections from the network:
// one that arrived on an address outside 127.0.0.0/8 is closed at once and reported by
// foreignConnectionClosed(); one to a loopback address of no device is closed silently.
class SimSharedListener : public QObject {
    Q_OBJECT

public:
    SimSharedListener(Simulator *simulator, QObject *parent = nullptr);

    // Port 0 picks a free port. False, with the reason, when it cannot listen.
    bool listen(quint16 port, QString *error);
    quint16 port() const;

signals:
    // A connection to `device`; the receiver takes the socket.
    void accepted(QTcpSocket *socket, SimDevice *device);
    void foreignConnectionClosed(const QHostAddress &local, const QHostAddress &peer);

private:
    void acceptPending();

    Simulator *m_simulator;
    QTcpServer *m_server;
};
