#pragma once

#include "journal/auditrecord.h"
#include "journal/eventrecord.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QUdpSocket>

class ProjectModel;

// Sends every event the journal records to a log collector as a syslog message over UDP
// (see SyslogMessage). The journal stays the record: sending never waits (a datagram
// that cannot go is dropped and counted), a collector that is down or a host name that
// does not resolve delays and loses nothing in the journal.
class SyslogForwarder : public QObject {
    Q_OBJECT

public:
    static constexpr quint16 defaultPort = 514;
    // Messages kept while a host name is being resolved; older ones are dropped beyond.
    static constexpr int maxWaiting = 1000;
    // A name that did not resolve is asked again after this long.
    static constexpr int lookupRetryMs = 30000;

    explicit SyslogForwarder(QObject *parent = nullptr);
    ~SyslogForwarder() override;

    // "HOST:PORT", "HOST" (port 514) or "[IPv6]:PORT". A dotted address must be four
    // decimal numbers. False with a reason for anything else; an empty text turns
    // forwarding off (true).
    static bool parseTarget(const QString &text, QString *host, quint16 *port,
                            QString *error = nullptr);
    bool setTarget(const QString &text, QString *error = nullptr);
    bool isActive() const { return !m_host.isEmpty(); }
    QString target() const;

    // Where the devices of the events are looked up (serial, type, address); the project
    // may go away at any time.
    void setProject(const ProjectModel *project);
    void setApplicationName(const QString &name) { m_app = name; }

    // Sends the message of one recorded event (DatabaseLog::eventInserted).
    void forward(const EventRecord &record);
    // Sends one record of the audit trail (AuditTrail::appended).
    void forwardAudit(const AuditRecord &record);

    // A host name is being resolved; what is sent meanwhile waits (resolved() ends it).
    bool isResolving() const { return m_lookupId >= 0; }

    quint64 sentCount() const { return m_sent; }
    quint64 droppedCount() const { return m_dropped; }

signals:
    void resolved();

private:
    void lookUp();
    void send(const QByteArray &datagram);

    QUdpSocket m_socket;
    QPointer<const ProjectModel> m_project;
    QString m_app;
    QString m_localHost;
    QString m_host;
    quint16 m_port = defaultPort;
    QHostAddress m_address;
    int m_lookupId = -1;
    qint64 m_lookupFailedAtMs = 0;
    bool m_lookupFailed = false;
    QQueue<QByteArray> m_waiting;
    quint64 m_sent = 0;
    quint64 m_dropped = 0;
};
