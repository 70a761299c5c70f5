#include "monitor/statushttpconnection.h"

#include "monitor/socketreadiness.h"

#include <QMetaObject>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Bytes taken from the socket per read.
constexpr int readChunk = 16 * 1024;

} // namespace

StatusHttpConnection::StatusHttpConnection(const QString &address, quint32 host, quint16 port,
                                           const QByteArray &request, SocketReadiness *readiness,
                                           QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_host(host)
    , m_port(port)
    , m_request(request)
    , m_readiness(readiness)
{
}

StatusHttpConnection::~StatusHttpConnection()
{
    close();
}

bool StatusHttpConnection::open()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0 && (errno == EMFILE || errno == ENFILE)) {
        emit outOfDescriptors();
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (m_fd < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(m_host);
    m_connecting = false;
    if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            close();
            return false;
        }
        m_connecting = true;
    }
    m_wantWrite = m_connecting;
    if (!m_readiness->add(
            m_fd, [this](bool readable, bool writable) { onReady(readable, writable); },
            m_wantWrite)) {
        close();
        return false;
    }
    return true;
}

void StatusHttpConnection::close()
{
    if (m_fd >= 0) {
        m_readiness->remove(m_fd);
        ::close(m_fd);
    }
    m_wantWrite = false;
    m_fd = -1;
    m_connecting = false;
}

bool StatusHttpConnection::start()
{
    if (m_busy)
        return false;
    m_busy = true;
    m_reader.reset();
    m_written = 0;
    m_reused = m_fd >= 0;
    if (!m_reused && !open()) {
        failLater(Error::Connection);
        return true;
    }
    if (!m_connecting)
        sendRequest();
    return true;
}

void StatusHttpConnection::failLater(Error error)
{
    // Not from within start(): the caller has not noted the request yet.
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            if (m_busy)
                end(error, false);
        },
        Qt::QueuedConnection);
}

void StatusHttpConnection::abort()
{
    m_busy = false;
    close();
}

bool StatusHttpConnection::closeIfIdle()
{
    if (m_busy || m_fd < 0)
        return false;
    close();
    return true;
}

QByteArray StatusHttpConnection::takeBody()
{
    QByteArray body = m_reader.body();
    m_reader.reset();
    return body;
}

void StatusHttpConnection::sendRequest()
{
    while (m_written < m_request.size()) {
        const ssize_t sent = ::send(m_fd, m_request.constData() + m_written,
                                    size_t(m_request.size() - m_written), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!m_wantWrite)
                    m_readiness->setWritable(m_fd, m_wantWrite = true);
                return;
            }
            end(Error::Connection, true);
            return;
        }
        m_written += sent;
    }
    if (m_wantWrite)
        m_readiness->setWritable(m_fd, m_wantWrite = false);
}

void StatusHttpConnection::onReady(bool readable, bool writable)
{
    if (writable && m_wantWrite) {
        onWritable();
        if (m_fd < 0 || m_wantWrite)
            return;
    }
    if (!readable)
        return;
    if (m_busy)
        onReadable();
    else
        onIdleReadable();
}

void StatusHttpConnection::onIdleReadable()
{
    // Nothing is expected on an idle connection but its end.
    char byte;
    const ssize_t received = ::recv(m_fd, &byte, 1, MSG_PEEK);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    close();
}

void StatusHttpConnection::onWritable()
{
    if (m_connecting) {
        m_connecting = false;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            end(Error::Connection, false);
            return;
        }
    }
    sendRequest();
}

void StatusHttpConnection::onReadable()
{
    char buffer[readChunk];
    for (;;) {
        const ssize_t received = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            end(Error::Connection, true);
            return;
        }
        const HttpResponseReader::State state =
            received == 0 ? m_reader.finish() : m_reader.feed(buffer, received);
        switch (state) {
        case HttpResponseReader::State::Incomplete:
            if (received == 0) // cannot happen: finish() decides
                end(Error::Connection, true);
            break;
        case HttpResponseReader::State::Complete:
            end(Error::None, false);
            return;
        case HttpResponseReader::State::TooLarge:
            end(Error::TooLarge, false);
            return;
        case HttpResponseReader::State::Failed:
            // A kept connection closed by the device before it answered: ask again.
            end(received == 0 ? Error::Connection : Error::Protocol, received == 0);
            return;
        }
        if (received < qint64(sizeof buffer))
            return;
    }
}

void StatusHttpConnection::end(Error error, bool retry)
{
    const bool again = retry && m_reused && !m_reader.started();
    if (error != Error::None || !m_reader.keepAlive() || m_reader.excess() > 0)
        close();
    if (again) {
        m_busy = false;
        start();
        return;
    }
    m_busy = false;
    emit finished(this, error);
}
