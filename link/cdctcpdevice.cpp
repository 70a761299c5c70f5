#include "link/cdctcpdevice.h"

#include "link/unqueuedwrite.h"

#include "link/linklog.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

CdcTcpDevice::CdcTcpDevice(QObject *parent)
    : ConnectionDevice(parent)
    , socket(new QTcpSocket(this))
{
    qCDebug(lcLink) << "CdcTcpDevice";
    port = socket;
    connect(socket, &QTcpSocket::readyRead, this, &CdcTcpDevice::readyReadSlot);
    connect(socket, &QTcpSocket::connected, this, &CdcTcpDevice::socketConnected);
}

CdcTcpDevice::~CdcTcpDevice()
{
    qCDebug(lcLink) << "~CdcTcpDevice";
    delete socket;
    port = nullptr;
}

bool CdcTcpDevice::open(const QString &host, quint16 tcpPort)
{
    socket->abort();
    pending.clear();
    socket->connectToHost(host, tcpPort, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    opened = true;
    return true;
}

void CdcTcpDevice::close()
{
    socket->abort();
    pending.clear();
    opened = false;
}

bool CdcTcpDevice::isConnected() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

qint64 CdcTcpDevice::write(const QByteArray &bytes)
{
    switch (socket->state()) {
    case QAbstractSocket::ConnectedState: {
        const qint64 done =
            UnqueuedWrite::write(socket->bytesToWrite() == 0 ? int(socket->socketDescriptor()) : -1,
                                 UnqueuedWrite::Kind::Socket, bytes);
        if (done == bytes.size())
            return done;
        const qint64 written = socket->write(bytes.constData() + done, bytes.size() - done);
        socket->flush();
        return written < 0 ? (done > 0 ? done : written) : done + written;
    }
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        // Kept until the connection is up (a request may be queued as soon as the link is
        // opened); dropped if it never comes up.
        pending.append(bytes);
        return bytes.size();
    default:
        return -1;
    }
}

qint64 CdcTcpDevice::write(const QString &text)
{
    return write(encode(text));
}

void CdcTcpDevice::readyReadSlot()
{
    appendReceived(socket->readAll());
}

void CdcTcpDevice::socketConnected()
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    opened = true;
    if (!pending.isEmpty()) {
        socket->write(pending);
        pending.clear();
        socket->flush();
    }
}

void CdcTcpDevice::waitForData(int ms)
{
    const QAbstractSocket::SocketState state = socket->state();
    if (state != QAbstractSocket::ConnectedState && state != QAbstractSocket::ConnectingState &&
        state != QAbstractSocket::HostLookupState) {
        ConnectionDevice::waitForData(ms);
        return;
    }
    const QDeadlineTimer deadline(ms);
    if (!socket->waitForReadyRead(ms) && !deadline.hasExpired())
        ConnectionDevice::waitForData(int(deadline.remainingTime()));
}
