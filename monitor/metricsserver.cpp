#include "monitor/metricsserver.h"

#include "monitor/metricsexposition.h"

#include <QByteArray>
#include <QDebug>
#include <QHostAddress>
#include <QLoggingCategory>

#include <civetweb.h>

#include <csignal>
#include <cstring>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(metricsLog, "norda.metrics", QtWarningMsg)

MetricsServer *serverOf(const mg_connection *connection)
{
    return static_cast<MetricsServer *>(mg_get_user_data(mg_get_context(connection)));
}

} // namespace

bool MetricsServer::parseAddress(const QString &value, QString *address, quint16 *port,
                                 QString *error)
{
    const QString text = value.trimmed();
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QString() : text.left(colon);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        *error = QStringLiteral("\"%1\" is not ADDR:PORT or a port 1..65535").arg(value);
        return false;
    }
    QHostAddress parsed(QStringLiteral("127.0.0.1"));
    if (!host.isEmpty()) {
        // Only numeric IPv4 addresses: the server library listens on nothing else.
        if (!parsed.setAddress(host) || parsed.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("\"%1\" is not an IPv4 address").arg(host);
            return false;
        }
    }
    *address = parsed.toString();
    *port = quint16(number);
    return true;
}

MetricsServer::MetricsServer(QObject *parent)
    : QObject(parent)
{
}

MetricsServer::~MetricsServer()
{
    stop();
}

bool MetricsServer::start(const QString &address, quint16 port, QString *error)
{
    stop();
    static std::once_flag library;
    std::call_once(library, [] { mg_init_library(0); });
    const QByteArray listen = QStringLiteral("%1:%2").arg(address).arg(port).toLatin1();
    const QByteArray threads = QByteArray::number(maxConnections);
    const QByteArray timeout = QByteArray::number(requestTimeoutMs);
    const QByteArray headSize = QByteArray::number(maxRequestHeadBytes);
    // One connection waits in the queue at most and a few in the kernel's backlog; beyond
    // them the listener takes no more until a worker is free.
    const char *options[] = {"listening_ports",
                             listen.constData(),
                             "num_threads",
                             threads.constData(),
                             "connection_queue",
                             "1",
                             "listen_backlog",
                             threads.constData(),
                             "request_timeout_ms",
                             timeout.constData(),
                             "linger_timeout_ms",
                             "0",
                             "max_request_size",
                             headSize.constData(),
                             "enable_keep_alive",
                             "no",
                             "enable_directory_listing",
                             "no",
                             nullptr};
    mg_callbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    callbacks.init_connection = &MetricsServer::connectionOpened;
    callbacks.connection_close = &MetricsServer::connectionClosing;
    callbacks.log_message = &MetricsServer::logMessage;
    mg_init_data init;
    init.callbacks = &callbacks;
    init.user_data = this;
    init.configuration_options = options;
    char text[256] = {};
    unsigned code = 0;
    mg_error_data failure;
    failure.code = &code;
    failure.text = text;
    failure.text_buffer_size = sizeof text;
    // civetweb ignores SIGCHLD when it starts; the process's own handling of its children
    // (QProcess) is put back.
    struct sigaction children;
    sigaction(SIGCHLD, nullptr, &children);
    m_context = mg_start2(&init, &failure);
    sigaction(SIGCHLD, &children, nullptr);
    if (!m_context) {
        *error = QStringLiteral("cannot listen on %1: %2")
                     .arg(QString::fromLatin1(listen), QString::fromLocal8Bit(text));
        return false;
    }
    // Everything comes here; answer() tells the two paths from the rest.
    mg_set_request_handler(m_context, "/", &MetricsServer::handle, this);
    m_url = QStringLiteral("http://%1/").arg(QString::fromLatin1(listen));
    return true;
}

void MetricsServer::stop()
{
    if (!m_context)
        return;
    mg_stop(m_context);
    m_context = nullptr;
}

void MetricsServer::publish(const MetricsSnapshot::Pointer &snapshot)
{
    std::atomic_store(&m_snapshot, snapshot);
}

int MetricsServer::connectionOpened(const mg_connection *connection, void **data)
{
    *data = nullptr;
    MetricsServer *server = serverOf(connection);
    if (!server)
        return 0;
    const int active = ++server->m_active;
    int peak = server->m_peak.load();
    while (active > peak && !server->m_peak.compare_exchange_weak(peak, active)) { }
    return 0;
}

void MetricsServer::connectionClosing(const mg_connection *connection)
{
    if (MetricsServer *server = serverOf(connection))
        --server->m_active;
}

int MetricsServer::logMessage(const mg_connection *, const char *message)
{
    qCDebug(metricsLog).noquote() << "metrics server:" << message;
    return 1;
}

int MetricsServer::handle(mg_connection *connection, void *data)
{
    static_cast<MetricsServer *>(data)->answer(connection);
    return 1;
}

void MetricsServer::answer(mg_connection *connection)
{
    ++m_requests;
    // Closed after the answer, and whatever body the request has is never read (not even
    // to be discarded).
    mg_disable_keep_alive(connection);
    const mg_request_info *request = mg_get_request_info(connection);
    const bool head = std::strcmp(request->request_method, "HEAD") == 0;
    if (!head && std::strcmp(request->request_method, "GET") != 0) {
        // The body, if any, is left unread: the connection is closed after the answer.
        mg_printf(connection,
                  "HTTP/1.1 405 Method Not Allowed\r\nAllow: GET, HEAD\r\nContent-Type: "
                  "text/plain\r\nContent-Length: 19\r\nConnection: close\r\n\r\nmethod not "
                  "allowed");
        return;
    }
    const MetricsSnapshot::Pointer snapshot = std::atomic_load(&m_snapshot);
    int status = 200;
    QByteArray body;
    const char *type = MetricsExposition::contentType;
    const bool health = std::strcmp(request->local_uri, "/healthz") == 0;
    if (!health && std::strcmp(request->local_uri, "/metrics") != 0) {
        status = 404;
        body = "not found: /metrics and /healthz are served\n";
        type = "text/plain; charset=utf-8";
    } else if (health) {
        const MetricsExposition::Health health = MetricsExposition::health(snapshot.get());
        status = health.status;
        body = health.body;
        type = "text/plain; charset=utf-8";
    } else if (snapshot) {
        body = MetricsExposition::render(*snapshot);
    } else {
        status = 503;
        body = "starting: no poll tick yet\n";
        type = "text/plain; charset=utf-8";
    }
    mg_printf(connection,
              "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\nCache-Control: "
              "no-store\r\nConnection: close\r\n\r\n",
              status,
              status == 200       ? "OK"
                  : status == 404 ? "Not Found"
                                  : "Service Unavailable",
              type, int(body.size()));
    if (!head)
        mg_write(connection, body.constData(), size_t(body.size()));
}
