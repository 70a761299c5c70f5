#include "link/cdctcpdevice.h"

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
    socket->connectToHost(host, tcpPort, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    opened = true;
    return true;
}

void CdcTcpDevice::close()
{
    socket->abort();
    opened = false;
}

bool CdcTcpDevice::isConnected() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

qint64 CdcTcpDevice::write(const QByteArray &bytes)
{
    // A connection that failed already takes nothing; the link check closes the transport.
    if (socket->state() == QAbstractSocket::UnconnectedState)
        return -1;
    const qint64 written = socket->write(bytes);
    if (isConnected())
        socket->flush();
    return written;
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
