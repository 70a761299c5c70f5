#include "tools/devsim/simsharedlistener.h"

#include "tools/devsim/simulator.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SimSharedListener::SimSharedListener(Simulator *simulator, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_server(new QTcpServer(this))
{
    // Connections come in bursts of thousands when a monitor starts.
    m_server->setMaxPendingConnections(4096);
    connect(m_server, &QTcpServer::newConnection, this, &SimSharedListener::acceptPending);
}

bool SimSharedListener::listen(quint16 port, QString *error)
{
    if (m_server->isListening())
        return true;
    // The socket is made here rather than by QTcpServer, whose queue of connections not yet
    // accepted holds 50: a monitor that connects to thousands of devices at once would
    // have most of its connections wait for the retransmission of their SYN, a second and
    // more.
    auto fail = [error, port](const QString &reason) {
        if (error)
            *error = QStringLiteral("cannot listen on 0.0.0.0:%1: %2").arg(port).arg(reason);
        return false;
    };
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return fail(reason);
    }
    if (!m_server->setSocketDescriptor(fd)) {
        ::close(fd);
        return fail(m_server->errorString());
    }
    return true;
}

quint16 SimSharedListener::port() const
{
    return m_server->serverPort();
}

void SimSharedListener::acceptPending()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QHostAddress local = socket->localAddress();
        if (!Simulator::isLoopback(local)) {
            const QHostAddress peer = socket->peerAddress();
            socket->abort();
            socket->deleteLater();
            emit foreignConnectionClosed(local, peer);
            continue;
        }
        SimDevice *device = m_simulator->deviceAt(local);
        if (!device) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        emit accepted(socket, device);
    }
}
