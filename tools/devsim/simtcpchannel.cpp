#include "tools/devsim/simtcpchannel.h"

#include "link/unqueuedwrite.h"

#include <QTcpSocket>

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
    const qint64 done =
        UnqueuedWrite::write(socket->bytesToWrite() == 0 ? int(socket->socketDescriptor()) : -1,
                             UnqueuedWrite::Kind::Socket, bytes);
    if (done == bytes.size())
        return;
    socket->write(bytes.constData() + done, bytes.size() - done);
    socket->flush();
}
