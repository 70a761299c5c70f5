#pragma once

#include "monitor/metricssnapshot.h"

#include <QObject>
#include <QString>

#include <atomic>

struct mg_connection;
struct mg_context;

// Serves /metrics (the Prometheus text format) and /healthz over HTTP from the latest
// published snapshot, on civetweb's threads of its own. The polling thread only publishes
// snapshots (a pointer stored); rendering and sending happen on the server's threads.
//
// Limits, so that a slow, flooding or huge scraper can neither stall polling nor grow
// memory: at most maxConnections connections are served at once (the listener stops
// accepting beyond them), a request head must fit in maxRequestHeadBytes and arrive
// within requestTimeoutMs, a request body is never read, and connections are not kept
// alive. Only GET and HEAD are answered.
//
// civetweb makes the process ignore SIGPIPE when a server starts.
class MetricsServer : public QObject {
    Q_OBJECT

public:
    static constexpr int maxConnections = 16;
    static constexpr int requestTimeoutMs = 5000;
    static constexpr int maxRequestHeadBytes = 8192;

    // The listening address as given by "--metrics" or "metrics=": "ADDR:PORT", or a port
    // alone ("PORT" or ":PORT") for 127.0.0.1. ADDR is an IPv4 address (0.0.0.0 for all).
    // False with a message when the value is not one of these.
    static bool parseAddress(const QString &value, QString *address, quint16 *port, QString *error);

    explicit MetricsServer(QObject *parent = nullptr);
    // Stops the server: its threads are joined.
    ~MetricsServer() override;

    // False with a message when the address cannot be listened on.
    bool start(const QString &address, quint16 port, QString *error);
    void stop();
    bool isRunning() const { return m_context != nullptr; }
    QString url() const { return m_url; }

    // Requests answered, and connections being served now and at most at once so far.
    qint64 requestsAnswered() const { return m_requests.load(); }
    int activeConnections() const { return m_active.load(); }
    int peakConnections() const { return m_peak.load(); }

public slots:
    // The snapshot served from now on; callable from any thread.
    void publish(const MetricsSnapshot::Pointer &snapshot);

private:
    static int handle(mg_connection *connection, void *data);
    static int connectionOpened(const mg_connection *connection, void **data);
    static void connectionClosing(const mg_connection *connection);
    static int logMessage(const mg_connection *connection, const char *message);
    void answer(mg_connection *connection);

    mg_context *m_context = nullptr;
    QString m_url;
    MetricsSnapshot::Pointer m_snapshot; // read and written with std::atomic_load/store
    std::atomic<qint64> m_requests {0};
    std::atomic<int> m_active {0};
    std::atomic<int> m_peak {0};
};
