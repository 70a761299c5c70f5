#pragma once

#include "monitor/httpresponsereader.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <netinet/in.h>

class SocketReadiness;

// The connection to one device's status server: one GET of "/status" at a time, kept
// open between requests when the device allows it (HTTP/1.1 keep-alive).
//
// It works on the socket itself rather than through QTcpSocket, watched by the poller's
// SocketReadiness: thousands of idle connections cost the event loop nothing, and a
// request costs a few system calls (send, one or two reads) and no object. A kept
// connection that the device closes while idle is closed on our side at once. A request
// on a kept connection that the device closed just before it arrived (nothing of the
// answer came) is sent once more on a new connection, as HTTP clients do.
class StatusHttpConnection : public QObject {
    Q_OBJECT

public:
    enum class Error {
        None,
        Connection, // refused, reset, or closed before a complete answer
        Protocol, // not an HTTP response, or broken framing
        TooLarge, // body above the bound
    };

    // `host` is the IPv4 address (most significant byte first) that `address`, the
    // project's text, names; `request` the bytes sent for each request.
    StatusHttpConnection(const QString &address, quint32 host, quint16 port,
                         const QByteArray &request, SocketReadiness *readiness,
                         QObject *parent = nullptr);
    ~StatusHttpConnection() override;

    void setMaxBody(qint64 bytes) { m_reader.setMaxBody(bytes); }
    // Sends the request; false when one is on its way already. The answer, or the
    // failure, comes with finished(); a failure to start comes with it too, later.
    bool start();
    // Gives up the request on its way (if any) and closes the connection; finished() is
    // not emitted for it.
    void abort();
    // Closes a kept connection that carries no request (to free its descriptor).
    bool closeIfIdle();
    bool isBusy() const { return m_busy; }
    bool isOpen() const { return m_fd >= 0; }
    const QString &address() const { return m_address; }

    int statusCode() const { return m_reader.statusCode(); }
    // The body of the latest answer; moved out by takeBody().
    QByteArray takeBody();

signals:
    void finished(StatusHttpConnection *connection, StatusHttpConnection::Error error);
    // The process has no file descriptor left for a new connection; a receiver may close
    // idle connections (synchronously), after which the connection tries once more.
    void outOfDescriptors();

private:
    bool open();
    void close();
    void sendRequest();
    void onReady(bool readable, bool writable);
    void onWritable();
    void onReadable();
    // Readable while no request is on its way: the device closed the connection (or
    // sent what nobody asked for).
    void onIdleReadable();
    // Ends the request; with `retry` a failure on a reused connection is sent again.
    void end(Error error, bool retry);
    void failLater(Error error);

    QString m_address;
    quint32 m_host;
    quint16 m_port;
    QByteArray m_request;
    int m_fd = -1;
    SocketReadiness *m_readiness;
    bool m_wantWrite = false;
    HttpResponseReader m_reader;
    qint64 m_written = 0;
    bool m_busy = false;
    bool m_connecting = false;
    bool m_reused = false; // the request went out on a kept connection
};
