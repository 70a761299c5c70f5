#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class SimDevice;
class Simulator;

// The HTTP side of the simulator: every simulated device answers "GET /status" on its
// own loopback address and the port given, with the document built from its live state
// or with the misbehaviour injected for it.
class SimStatusServer : public QObject {
    Q_OBJECT

public:
    // How a device answers status requests.
    enum class Behaviour {
        Normal, // 200 with the status document
        Silent, // reads requests and never answers
        NotFound, // 404
        Empty, // 200 with an empty body
        NotJson, // 200 with an HTML page
        NotObject, // 200 with a JSON array
        Oversized, // 200 with a 2 MiB body
        Slow, // the document one byte every 200 ms
        Endless, // a body that never ends, 100 bytes every 100 ms
    };

    SimStatusServer(Simulator *simulator, quint16 port, QObject *parent = nullptr);
    ~SimStatusServer() override;

    // Listens on every device's address, or with `shared` on the wildcard address for all
    // of them (SimSharedListener). False, with the reason, when an address cannot be bound
    // (or the port is 0).
    bool start(QString *error = nullptr, bool shared = false);
    quint16 port() const { return m_port; }

    void setBehaviour(SimDevice *device, Behaviour behaviour);
    Behaviour behaviour(const SimDevice *device) const;
    // "normal", "silent", "404", "empty", "not-json", "not-object", "oversized", "slow",
    // "endless"; false for another name.
    static bool behaviourFromName(const QString &name, Behaviour *behaviour);

    // Complete requests a device has received (any path), and connections it accepted.
    int requestCount(const SimDevice *device) const { return m_requests.value(device); }
    int connectionCount(const SimDevice *device) const { return m_connections.value(device); }
    int totalRequests() const { return m_totalRequests; }

signals:
    void requestReceived(SimDevice *device, const QString &path);
    // A connection that arrived on the shared listener from outside 127.0.0.0/8 was closed.
    void foreignConnectionClosed(const QHostAddress &local, const QHostAddress &peer);

private:
    friend class SimHttpConnection;
    void countRequest(SimDevice *device, const QString &path);
    void accept(QTcpSocket *socket, SimDevice *device);

    Simulator *m_simulator;
    quint16 m_port;
    QList<QTcpServer *> m_servers;
    QHash<const SimDevice *, Behaviour> m_behaviours;
    QHash<const SimDevice *, int> m_requests;
    QHash<const SimDevice *, int> m_connections;
    int m_totalRequests = 0;
};
