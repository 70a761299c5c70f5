#pragma once

#include "tools/devsim/simstatusserver.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;
class SimDevice;

// One HTTP/1.1 connection to a simulated device: reads requests one after another
// (keep-alive) and answers each as the device's behaviour says.
class SimHttpConnection : public QObject {
    Q_OBJECT

public:
    // Takes ownership of the socket; deletes itself when the connection ends.
    SimHttpConnection(QTcpSocket *socket, SimDevice *device, SimStatusServer *server);

private:
    void readRequests();
    void answer(const QString &method, const QString &path);
    void send(int status, const QByteArray &reason, const QByteArray &body,
              const QByteArray &contentType = "application/json");
    void sendHeader(int status, const QByteArray &reason, qint64 length);
    void trickle();
    void finishResponse();

    QTcpSocket *m_socket;
    SimDevice *m_device;
    SimStatusServer *m_server;
    QByteArray m_input;
    bool m_closeAfter = false;
    bool m_busy = false; // a response is still being sent, or never will be (silent)
    // A response sent piece by piece (slow, endless, oversized).
    QTimer m_trickle;
    QByteArray m_pending;
    qint64 m_left = 0; // bytes still to send; -1 without end
};
