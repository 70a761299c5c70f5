#include "tools/devsim/simtcpchannel.h"

#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>

SimTcpChannel::SimTcpChannel(SimCommandDevice *device, QTcpSocket *socket, QObject *parent)
    : SimChannel(device, parent)
    , socket(socket)
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this,
            [this] { bytesArrived(this->socket->readAll()); });
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void SimTcpChannel::shutdown()
{
    dropPending();
    socket->abort();
    deleteLater();
}

void SimTcpChannel::sendBytes(const QByteArray &bytes)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    // Sent at once when the socket holds nothing unsent: QTcpSocket's own write switches its
    // write notifier on and off around every answer, and each switch wakes the simulator's
    // event loop once more. The rest, and any error, goes through QTcpSocket.
    qint64 done = 0;
    const int fd = socket->bytesToWrite() == 0 ? int(socket->socketDescriptor()) : -1;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            done += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    if (done == bytes.size())
        return;
    socket->write(bytes.constData() + done, bytes.size() - done);
    socket->flush();
}
