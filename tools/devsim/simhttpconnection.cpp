#include "tools/devsim/simhttpconnection.h"

#include "tools/devsim/simdevice.h"
#include "tools/devsim/simstatusdocument.h"

#include <QTcpSocket>

namespace {

// Requests with longer headers are refused by closing the connection.
constexpr int maxHeaderBytes = 16 * 1024;
constexpr qint64 oversizedBytes = 2 * 1024 * 1024;
constexpr int slowIntervalMs = 200;
constexpr int endlessIntervalMs = 100;
constexpr int endlessChunk = 100;
constexpr int oversizedChunk = 64 * 1024;

} // namespace

SimHttpConnection::SimHttpConnection(QTcpSocket *socket, SimDevice *device, SimStatusServer *server)
    : QObject(server)
    , m_socket(socket)
    , m_device(device)
    , m_server(server)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &SimHttpConnection::readRequests);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_left != 0 && m_pending.isEmpty() && !m_trickle.isActive())
            trickle();
    });
    connect(&m_trickle, &QTimer::timeout, this, &SimHttpConnection::trickle);
    if (socket->bytesAvailable() > 0)
        readRequests();
}

void SimHttpConnection::readRequests()
{
    m_input += m_socket->readAll();
    // A client that keeps sending while nothing is answered is cut off.
    if (m_input.size() > 4 * maxHeaderBytes) {
        m_socket->abort();
        return;
    }
    while (!m_busy) {
        const int end = m_input.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_input.size() > maxHeaderBytes)
                m_socket->abort();
            return;
        }
        const QByteArray head = m_input.left(end);
        m_input.remove(0, end + 4);
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
        const QString method = QString::fromLatin1(request.value(0));
        const QString path = QString::fromLatin1(request.value(1));
        const QByteArray version = request.value(2);
        m_closeAfter = version != "HTTP/1.1";
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed().toLower();
            if (line.startsWith("connection:")) {
                const QByteArray value = line.mid(11).trimmed();
                m_closeAfter = value == "close" || (m_closeAfter && value != "keep-alive");
            }
        }
        m_server->countRequest(m_device, path);
        answer(method, path);
    }
}

void SimHttpConnection::answer(const QString &method, const QString &path)
{
    using Behaviour = SimStatusServer::Behaviour;
    if (method != QLatin1String("GET") ||
        (path != QLatin1String("/status") && !path.startsWith(QLatin1String("/status?")))) {
        send(404, "Not Found", "not found\n", "text/plain");
        return;
    }
    switch (m_server->behaviour(m_device)) {
    case Behaviour::Normal:
        send(200, "OK", SimStatusDocument::body(*m_device));
        break;
    case Behaviour::Silent:
        m_busy = true; // never answers, and so never reads the next request either
        break;
    case Behaviour::NotFound:
        send(404, "Not Found", "not found\n", "text/plain");
        break;
    case Behaviour::Empty:
        send(200, "OK", QByteArray());
        break;
    case Behaviour::NotJson:
        send(200, "OK", "<html><body>busy</body></html>\n", "text/html");
        break;
    case Behaviour::NotObject:
        send(200, "OK", "[" + SimStatusDocument::body(*m_device) + "]");
        break;
    case Behaviour::Oversized:
        m_busy = true;
        sendHeader(200, "OK", oversizedBytes);
        m_left = oversizedBytes;
        m_pending.clear();
        trickle();
        break;
    case Behaviour::Slow:
        m_busy = true;
        m_pending = SimStatusDocument::body(*m_device);
        sendHeader(200, "OK", m_pending.size());
        m_left = m_pending.size();
        m_trickle.start(slowIntervalMs);
        break;
    case Behaviour::Endless:
        m_busy = true;
        m_closeAfter = true;
        sendHeader(200, "OK", -1);
        m_left = -1;
        m_pending.clear();
        m_trickle.start(endlessIntervalMs);
        break;
    }
}

void SimHttpConnection::sendHeader(int status, const QByteArray &reason, qint64 length)
{
    QByteArray header = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    header += "Content-Type: application/json\r\n";
    if (length >= 0)
        header += "Content-Length: " + QByteArray::number(length) + "\r\n";
    if (m_closeAfter)
        header += "Connection: close\r\n";
    header += "\r\n";
    m_socket->write(header);
}

void SimHttpConnection::send(int status, const QByteArray &reason, const QByteArray &body,
                             const QByteArray &contentType)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (m_closeAfter)
        response += "Connection: close\r\n";
    response += "\r\n";
    response += body;
    m_socket->write(response);
    finishResponse();
}

void SimHttpConnection::trickle()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        m_trickle.stop();
        return;
    }
    if (!m_pending.isEmpty()) {
        // Slow: one byte of the document per tick.
        m_socket->write(m_pending.left(1));
        m_pending.remove(0, 1);
        if (m_pending.isEmpty()) {
            m_trickle.stop();
            m_left = 0;
            finishResponse();
        }
        return;
    }
    if (m_left < 0) {
        m_socket->write(QByteArray(endlessChunk, ' '));
        return;
    }
    // Oversized: as fast as the client reads, a chunk at a time.
    if (m_left > 0 && m_socket->bytesToWrite() < oversizedChunk) {
        const qint64 n = qMin<qint64>(m_left, oversizedChunk);
        m_socket->write(QByteArray(int(n), ' '));
        m_left -= n;
        if (m_left == 0)
            finishResponse();
    }
}

void SimHttpConnection::finishResponse()
{
    m_busy = false;
    if (m_closeAfter) {
        m_socket->disconnectFromHost();
        return;
    }
    if (!m_input.isEmpty())
        QMetaObject::invokeMethod(this, &SimHttpConnection::readRequests, Qt::QueuedConnection);
}
